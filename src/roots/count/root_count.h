#pragma once

#include "model/quorv.h"
#include <vector>

#include "roots/count/argument_count.h"
#include "roots/count/root_cluster.h"
#include "roots/support/work_budget.h"

namespace quorv {

// The count of the roots with Re >= r and the rectangle that holds them.
// The left side of the rectangle lies a little left of r, at `left`, so that
// roots on the line Re = r are inside rather than on the path. Where the
// path passed close to zeros, they are enclosed in certified disks and each
// disk decided against the line (see line_side.h): `near_line` holds those
// disks, conjugate pairs both, and the path runs left of every one that
// reaches across it. `count` is every zero in the region; the roots on or
// right of the line are those less the disks decided left of it.
struct region_count {
    enum class outcome {
        counted,     // count holds every root in `region`
        unbounded,   // the root bound is not finite: nothing to count on
        unresolved,  // the winding could not be resolved within the budget
        undecided,   // zeros the path took in near the line could not all be decided against it
    };
    outcome state = outcome::unresolved;
    long count = 0;
    double left = 0;
    rectangle region{};
    std::vector<root_cluster> near_line;

    // The zeros in the region that the line's decision placed on or right
    // of it.
    long on_or_right() const;
};

// Evaluations a count may spend: some ten times what the windings of the
// benchmark systems need, and more for a region that holds many roots.
constexpr long count_evaluations = 200000;

// About how many roots lie in the region counted right of r: per state, one
// and, for each delayed term, h_k e^{-r h_k} |A_k|_F / pi on its chains (the
// term balances lambda up to that modulus, with neighbours about
// 2 pi / h_k apart, above and below the axis). Undelayed terms, however
// stiff, add no chains. Infinite when a damped norm overflows.
double expected_roots(const quorv& sys, double r);

// A line right of which no root lies, R(line) < line, found from `from` by
// bisection (R only decreases rightwards); `from` itself when R is not
// finite there.
double rootless_line(const quorv& sys, double from);

// The evaluations a count right of r may spend, `least`, or `per_root`
// times the roots expected there when that is more: the work grows with the
// number of roots rather than against a fixed budget, up to what a call can
// spend in about a minute; a region beyond that keeps `least`.
long evaluations_for(const quorv& sys, double r, long least, double per_root);

region_count count_region(const quorv& sys, double r, work_budget& budget);

// The number of roots with Re >= r, with multiplicity. Throws
// std::invalid_argument for a NaN r, which leaves no line to count from,
// std::overflow_error when the root bound is not finite and
// std::runtime_error when the count does not resolve within the work budget.
// check is polled at every evaluation of the characteristic matrix.
long count_roots(const quorv& sys, double r, const interrupt_check& check = {});

// The roots on or right of the line a region_count holds; the errors of count_roots, their message
// led by `caller`, when it holds none.
long counted_or_throw(const region_count& counted, double r, const char* caller);

// Whether no root lies on or right of the imaginary axis, decided as
// count_roots(sys, 0) decides it: a root whose disk cannot be tightened clear
// of the axis counts as on it, and the system is then not stable. An
// order-0 system has no roots and is stable. Errors as count_roots.
bool is_stable(const quorv& sys, const interrupt_check& check = {});

}  // namespace quorv
