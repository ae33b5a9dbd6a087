#pragma once

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#include "roots/support/interrupt.h"

namespace quorv {

// The work that run_abandonable left running, counted so that the process
// does not end under it: at exit the libraries an abandoned LAPACK call is
// still using are torn down, and the call would fault. The count's owner,
// a static of the core, waits in its destructor until the count is 0.
class abandoned_work {
public:
    static abandoned_work& running();
    void started();
    void finished();
    ~abandoned_work();

private:
    abandoned_work() = default;
    std::mutex guard;
    std::condition_variable idle;
    long count = 0;
};

// How often the calling thread asks the check while the work runs elsewhere.
// The check itself decides how often it asks its caller (the Python binding
// throttles to one look at the signals per 20 ms), so a short slice costs
// little and keeps the answer to a stop prompt.
constexpr std::chrono::milliseconds abandon_poll_slice{5};

// Runs work(), a single long step that cannot poll by itself (one LAPACK
// call), so that check can still stop the computation. With a check that
// can stop, work runs on a thread of its own and the calling thread waits
// for it in short slices, polling check between them; when check throws
// interrupted, the calling thread leaves with it at once and the work is
// abandoned: it runs to its end on its own thread and then frees what it
// holds. So work must own everything it touches: capture by value (moved
// in), never by reference to the caller's frame. Its result or exception
// reaches the caller when it ends first. With a check that never stops there
// is nothing to wait for: work runs on the calling thread, without the cost
// of a thread.
template <typename Work>
std::invoke_result_t<Work&> run_abandonable(Work work, const interrupt_check& check) {
    using result = std::invoke_result_t<Work&>;
    if (!check.can_stop()) return work();
    // The task owns work and its captures; the thread shares the task; the
    // shared state between task and future lives until both are gone. None
    // of them refers to this frame, which an interrupt leaves.
    auto task = std::make_shared<std::packaged_task<result()>>(std::move(work));
    std::future<result> done = task->get_future();
    abandoned_work& running = abandoned_work::running();
    running.started();
    try {
        std::thread([task, &running] {
            (*task)();
            running.finished();
        }).detach();
    } catch (const std::system_error&) {
        running.finished();
        // No thread to be had (a process at its limit of threads or of
        // address space): the work runs here, without a way to stop it.
        (*task)();
    }
    while (done.wait_for(abandon_poll_slice) != std::future_status::ready) check.poll();
    return done.get();
}

}  // namespace quorv
