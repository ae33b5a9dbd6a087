#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace quorv {

// Thrown by interrupt_check::poll when the caller asked the computation to
// stop. It carries no message of its own: the caller knows why it asked.
class interrupted : public std::exception {
public:
    const char* what() const noexcept override { return "the computation was interrupted"; }
};

// The caller's way to stop a long computation. The computation polls it
// between steps of bounded length (a sampled eigenvalue problem, a Newton
// refinement), so a stop takes effect within one such step. The callable
// answers whether to stop; it is called on the computing thread and should
// be cheap, since it may be asked many thousand times per second. Copies
// share one callable, so that state it keeps (when it last asked the
// caller) is the call's rather than each copy's: every work budget holds a
// copy. A default-constructed check never stops.
class interrupt_check {
public:
    interrupt_check() = default;
    explicit interrupt_check(std::function<bool()> stop_requested)
        : stop_requested(std::make_shared<const std::function<bool()>>(std::move(stop_requested))) {}

    void poll() const {
        if (can_stop() && (*stop_requested)()) throw interrupted();
    }

    // Whether poll can ever throw: false for a default-constructed check.
    bool can_stop() const { return stop_requested && *stop_requested; }

private:
    std::shared_ptr<const std::function<bool()>> stop_requested;
};

}  // namespace quorv
