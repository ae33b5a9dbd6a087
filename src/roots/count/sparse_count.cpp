#include "roots/count/sparse_count.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "roots/count/argument_count.h"
#include "roots/count/left_side_term.h"
#include "roots/count/line_walk.h"
#include "roots/count/root_bound.h"
#include "roots/count/sparse_determinant.h"
#include "roots/count/sparse_enclosure.h"
#include "roots/count/sparse_root_bound.h"
#include "roots/support/sparse_time_unit.h"
#include "roots/support/validate_sparse.h"

namespace quorv {

namespace {

// The first offset: no more than 1e-3 of the longest delay's inverse, so
// that moving the path left raises the damping factors e^{-r h_k} by at
// most e^{1e-3}. It binds only where the time unit had to follow the
// entries' size rather than the delays (entries near the ends of the
// double range), which leaves delays far longer than 1; there the root
// bound could overflow left of a line where it is finite.
double first_offset(const sparse_quorv& sys, double r) {
    const double h = largest_delay(sys);
    return h > 0 ? std::min(line_offset(r), 1e-3 / h) : line_offset(r);
}

// The mean of the eigenvalues of the undelayed terms, trace / n: the centre
// of the cloud that the principal roots of n similar modes form (the
// delayed terms of couplings between units have no trace).
double undelayed_mean(const sparse_quorv& sys) {
    double trace = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) == 0) trace += sys.A[k].diagonal().sum();
    return trace / double(sys.n());
}

// (lambda - c)^n with c that mean, divided out where c lies left of the
// path by at least a tenth of its height: nearer, the n-fold pole would
// turn the phase faster than the roots it stands for.
known_factor factor_for(const sparse_quorv& sys, double mean, const rectangle& region) {
    if (!(mean <= region.x0 - 0.1 * region.y1)) return {};
    return {mean, long(sys.n())};
}

}  // namespace

// The dense model's walk (line_walk.h) on the sparse model's bounds.
region_count count_in_own_unit(const sparse_quorv& sys, double r, determinant_samples& f,
                               const std::vector<root_cluster>& known) {
    const double bound = root_bound(sys, r);
    if (std::isfinite(bound)) r = std::max(r, -2 * bound - 1);
    sparse_encloser enclose(f);
    const double mean = undelayed_mean(sys);
    return count_right_of_line(f, enclose, r, first_offset(sys, r), [&](double left, double offset) -> path_region {
        const rectangle box = root_box(sys, left);
        if (!std::isfinite(root_bound(sys, left)) || !std::isfinite(box.x1) || !std::isfinite(box.y1))
            return {path_region::kind::unbounded};
        // No root right of the path: nothing to walk around.
        if (box.x1 < left) return {path_region::kind::empty, box};
        const rectangle region = with_margin(box, 10 * offset);
        known_factor factor = factor_for(sys, mean, region);
        factor.left_side = left_side_term(sys, region.x0, region.y1, f.budget()).value_or(entire_function{});
        return {path_region::kind::region, region, factor};
    }, known);
}

region_count count_region(const sparse_quorv& sys, double r, work_budget& budget) {
    const own_sparse_time_unit own = in_own_time_unit(sys);
    sparse_determinant f(own.sys, budget);
    region_count counted = count_in_own_unit(own.sys, r * own.unit, f);
    counted.left /= own.unit;
    for (root_cluster& c : counted.near_line) c.z /= own.unit, c.radius /= own.unit;
    counted.region = {counted.region.x0 / own.unit, counted.region.x1 / own.unit, counted.region.y0 / own.unit,
                      counted.region.y1 / own.unit};
    return counted;
}

long count_roots(const sparse_quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("count_roots: r is NaN");
    if (sys.n() == 0 || r > root_bound(sys, r)) return 0;
    work_budget budget{count_evaluations, check};
    return counted_or_throw(count_region(sys, r, budget), r, "count_roots");
}

bool is_stable(const sparse_quorv& sys, const interrupt_check& check) {
    validate(sys);
    if (sys.n() == 0) return true;
    work_budget budget{count_evaluations, check};
    return counted_or_throw(count_region(sys, 0.0, budget), 0.0, "is_stable") == 0;
}

}  // namespace quorv
