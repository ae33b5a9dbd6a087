#include "roots/support/abandonable.h"

namespace quorv {

abandoned_work& abandoned_work::running() {
    // Constructed on first use, after the libraries the work calls, so
    // destroyed (at exit) before them.
    static abandoned_work work;
    return work;
}

void abandoned_work::started() {
    const std::lock_guard<std::mutex> lock(guard);
    ++count;
}

void abandoned_work::finished() {
    const std::lock_guard<std::mutex> lock(guard);
    if (--count == 0) idle.notify_all();
}

abandoned_work::~abandoned_work() {
    std::unique_lock<std::mutex> lock(guard);
    idle.wait(lock, [this] { return count == 0; });
}

}  // namespace quorv
