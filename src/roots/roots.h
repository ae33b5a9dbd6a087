#pragma once

#include <complex>
#include <vector>

#include "model/quorv.h"
#include "roots/interrupt.h"

namespace quorv {

// What a roots call could say about the completeness of its result.
struct roots_report {
    enum class completeness {
        confirmed,    // as many roots as the count says (or none can exist)
        unbounded,    // the root bound is not finite: no count was possible
        uncounted,    // the count did not resolve within the work budget
        incomplete,   // counted, but not all of them located within the budget
    };
    completeness state = completeness::confirmed;
    // Roots with Re >= r counted and found, each with its multiplicity.
    long counted = 0;
    long found = 0;
    // The discretization degree the estimate asked for and the one used.
    int degree_needed = 0;
    int degree_used = 0;
};

// Every characteristic root lambda of sys with Re lambda >= r, refined by
// Newton's method: first those of the pencil's candidates, in candidate
// order, not sorted, not de-duplicated; then those the completion located,
// in the order found. A root of multiplicity m appears at least m times.
// check is polled between the stages, between the configurations of the
// degree estimate, between the candidates of the refinement and at every
// evaluation of the count and the completion; when it asks to stop,
// interrupted is thrown and nothing of the call remains. Allocation
// failures name the stage that did not fit.
std::vector<std::complex<double>> roots(const quorv& sys, double r, const interrupt_check& check = {});
std::vector<std::complex<double>> roots(const quorv& sys, double r, roots_report& report,
                                        const interrupt_check& check = {});

}  // namespace quorv
