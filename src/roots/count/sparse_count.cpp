#include "roots/count/sparse_count.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "roots/count/argument_count.h"
#include "roots/count/root_bound.h"
#include "roots/count/sparse_determinant.h"
#include "roots/count/sparse_root_bound.h"
#include "roots/support/sparse_time_unit.h"
#include "roots/support/validate_sparse.h"

namespace quorv {

namespace {

// The path runs this far left of the line, relative to the line alone, as
// for the dense model; a count that cannot pass (a root too close to the
// path, or an evaluation refused near a multiple root) tries again with the
// path sixteen times further left, at most this many times.
double line_offset(double r) { return 1e-9 * std::max(1.0, std::abs(r)); }
constexpr int contour_moves = 3;

}  // namespace

region_count count_in_own_unit(const sparse_quorv& sys, double r, determinant_samples& f) {
    work_budget& budget = f.budget();
    region_count result;
    const double bound = root_bound(sys, r);
    if (std::isfinite(bound)) r = std::max(r, -2 * bound - 1);
    double offset = line_offset(r);
    for (int attempt = 0; attempt <= contour_moves; ++attempt, offset *= 16) {
        const double left = r - offset;
        const rectangle box = root_box(sys, left);
        if (!std::isfinite(root_bound(sys, left)) || !std::isfinite(box.x1) || !std::isfinite(box.y1)) {
            result.state = region_count::outcome::unbounded;
            return result;
        }
        // No root right of the line: nothing to walk around.
        if (box.x1 < left) return {region_count::outcome::counted, 0, left, box};
        const rectangle region = with_margin(box, 10 * offset);
        if (const auto count = count_in_symmetric_rectangle(f, region))
            return {region_count::outcome::counted, *count, left, region};
        if (budget.exhausted()) break;
    }
    return result;
}

region_count count_region(const sparse_quorv& sys, double r, work_budget& budget) {
    const own_sparse_time_unit own = in_own_time_unit(sys);
    sparse_determinant f(own.sys, budget);
    region_count counted = count_in_own_unit(own.sys, r * own.unit, f);
    counted.left /= own.unit;
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
