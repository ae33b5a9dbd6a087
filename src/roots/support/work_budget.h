#pragma once

#include "roots/support/interrupt.h"

namespace quorv {

// The number of characteristic-matrix factorisations one call may still
// spend on counting and completing. Every loop that evaluates the
// determinant draws from it, so a call always ends; a loop that finds it
// empty gives up and reports that it could not finish. Every evaluation
// also polls the caller's check, so a count or a completion stops on request;
// the budgets of one call hold copies of one check, which share its state.
struct work_budget {
    long evaluations_left;
    interrupt_check check{};

    bool spend(long evaluations = 1) {
        check.poll();
        const bool enough = evaluations_left > 0;
        evaluations_left -= evaluations;
        return enough;
    }
    bool exhausted() const { return evaluations_left <= 0; }
};

}  // namespace quorv
