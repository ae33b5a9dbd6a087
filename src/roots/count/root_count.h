#pragma once

#include "model/quorv.h"
#include "roots/count/argument_count.h"
#include "roots/support/work_budget.h"

namespace quorv {

// The count of the roots with Re >= r and the rectangle that holds them.
// The left side of the rectangle lies a little left of r, at `left`, so that
// roots on the line Re = r are inside rather than on the path; roots in the
// strip left <= Re < r are counted with them.
struct region_count {
    enum class outcome {
        counted,     // count holds every root in `region`
        unbounded,   // the root bound is not finite: nothing to count on
        unresolved,  // the winding could not be resolved within the budget
    };
    outcome state = outcome::unresolved;
    long count = 0;
    double left = 0;
    rectangle region{};
};

// Evaluations a count may spend: some ten times what the windings of the
// benchmark systems need.
constexpr long count_evaluations = 200000;

region_count count_region(const quorv& sys, double r, work_budget& budget);

// The number of roots with Re >= r, with multiplicity. Throws
// std::invalid_argument for a NaN r, which leaves no line to count from,
// std::overflow_error when the root bound is not finite and
// std::runtime_error when the count does not resolve within the work budget.
// check is polled at every evaluation of the characteristic matrix.
long count_roots(const quorv& sys, double r, const interrupt_check& check = {});

// The count a region_count holds; the errors of count_roots, their message
// led by `caller`, when it holds none.
long counted_or_throw(const region_count& counted, double r, const char* caller);

// Whether no root lies on or right of the imaginary axis, from the count
// alone. A root within the count's margin left of the axis (1e-9 in the
// system's own time unit), or a multiple root whose disk meets the axis,
// counts as on it: the system is then not stable. An order-0
// system has no roots and is stable. Errors as count_roots.
bool is_stable(const quorv& sys, const interrupt_check& check = {});

}  // namespace quorv
