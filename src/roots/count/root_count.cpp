#include "roots/count/root_count.h"

#include <algorithm>
#include <optional>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "roots/complete/enclosure.h"
#include "roots/count/root_bound.h"
#include "roots/support/time_unit.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

constexpr int contour_moves = 3;

// How far left of r the path runs, in the system's own time unit. A root on
// the line Re = r must not lie on the path, where its phase cannot be
// followed; 1e-9 relative keeps it clear of the path while a well-conditioned
// root's real part is known to some 1e-15 relative. The margin is relative
// to the line alone, not to the size of the whole system, so that a stiff
// mode far left does not widen the margin of a slow mode near the line.
double line_offset(double r) { return 1e-9 * std::max(1.0, std::abs(r)); }

// Where the path's left side passes this close (relative) to zeros, they are
// examined: a multiple root whose disk crosses the line is on the line.
constexpr double near_line = 1e-4;

// The leftmost point of a multiple root's disk that crosses the line Re =
// left near `at`: its zeros are scattered by rounding on both sides of the
// line, so the line must pass left of all of them.
std::optional<double> multiple_root_crossing(log_determinant& f, std::complex<double> at, double left) {
    encloser enclose(f);
    for (const root_cluster& c : enclose.around(at, 0, 0.25 * root_scale(at)))
        if (c.multiplicity > 1 && c.z.real() - c.radius < left && c.z.real() + c.radius >= left)
            return c.z.real() - c.radius;
    return std::nullopt;
}

// No root with Re >= r lies beyond the bound R(r), so none has Re < -R(r):
// a line further left than that (r = -inf for an undelayed system) holds
// the same roots as the line at -2 R(r) - 1, which keeps the path finite and
// its offset small.
double nearest_equivalent_line(const quorv& sys, double r) {
    const double bound = root_bound(sys, r);
    return std::isfinite(bound) ? std::max(r, -2 * bound - 1) : r;
}

// The count on sys in its own time unit, so that the line's offset and the
// path's step limits are relative to the system's time scale.
region_count count_in_own_unit(const quorv& sys, double r, work_budget& budget) {
    region_count result;
    r = nearest_equivalent_line(sys, r);
    double offset = line_offset(r);
    log_determinant f(sys, budget);
    for (int attempt = 0, moves = 0; attempt <= contour_moves;) {
        const double left = r - offset;
        const double bound = root_bound(sys, left);
        if (!std::isfinite(bound)) {
            result.state = region_count::outcome::unbounded;
            return result;
        }
        // Every root with Re >= left lies in the root box; the margin keeps
        // the other three sides away from them.
        const rectangle region = with_margin(root_box(sys, left), 10 * offset);
        path_probe closest;
        const auto count = count_in_symmetric_rectangle(f, region, &closest);
        if (closest.reach < near_line * root_scale(closest.at) && moves < contour_moves) {
            if (const auto crossing = multiple_root_crossing(f, closest.at, left)) {
                r = *crossing;
                offset = line_offset(r);
                ++moves;
                continue;
            }
        }
        if (count) return {region_count::outcome::counted, *count, left, region};
        if (budget.exhausted()) break;
        ++attempt;
        offset *= 16;
    }
    return result;
}

}  // namespace

region_count count_region(const quorv& sys, double r, work_budget& budget) {
    const own_time_unit own = in_own_time_unit(sys);
    region_count counted = count_in_own_unit(own.sys, r * own.unit, budget);
    counted.left /= own.unit;
    counted.region = {counted.region.x0 / own.unit, counted.region.x1 / own.unit,
                      counted.region.y0 / own.unit, counted.region.y1 / own.unit};
    return counted;
}

long counted_or_throw(const region_count& counted, double r, const char* caller) {
    std::ostringstream message;
    message << caller << ": ";
    switch (counted.state) {
        case region_count::outcome::counted: return counted.count;
        case region_count::outcome::unbounded:
            message << "the root bound sum_k e^{-r h_k} |A_k| is not finite for r = " << r
                    << ", so the roots right of r cannot be counted";
            throw std::overflow_error(message.str());
        case region_count::outcome::unresolved: break;
    }
    message << "the count of roots with Re >= " << r << " did not resolve within "
            << count_evaluations << " evaluations of the characteristic matrix";
    throw std::runtime_error(message.str());
}

long count_roots(const quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("count_roots: r is NaN");
    if (sys.n() == 0 || r > root_bound(sys, r)) return 0;
    work_budget budget{count_evaluations, check};
    return counted_or_throw(count_region(sys, r, budget), r, "count_roots");
}

bool is_stable(const quorv& sys, const interrupt_check& check) {
    validate(sys);
    if (sys.n() == 0) return true;
    work_budget budget{count_evaluations, check};
    return counted_or_throw(count_region(sys, 0.0, budget), 0.0, "is_stable") == 0;
}

}  // namespace quorv
