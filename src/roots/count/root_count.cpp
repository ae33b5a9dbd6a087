#include "roots/count/root_count.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "roots/count/enclosure.h"
#include "roots/count/line_walk.h"
#include "roots/count/root_bound.h"
#include "roots/support/diagonal_blocks.h"
#include "roots/support/time_unit.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

// Evaluations a count may spend per root expected in its region: the path
// passes each root near the line in some ten steps.
constexpr double evaluations_per_root = 64;
// Beyond this many roots expected right of the axis, is_stable first looks
// for the rightmost ones from the right.
constexpr double many_roots = 1000;
constexpr double most_evaluations = 5e7;
constexpr double bound_growth = 16;

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
    r = nearest_equivalent_line(sys, r);
    log_determinant f(sys, budget);
    encloser enclose(f);
    return count_right_of_line(f, enclose, r, line_offset(r), [&](double left, double offset) -> path_region {
        if (!std::isfinite(root_bound(sys, left))) return {path_region::kind::unbounded};
        // Every root with Re >= left lies in the root box; the margin keeps
        // the other three sides away from them.
        return {path_region::kind::region, with_margin(root_box(sys, left), 10 * offset)};
    });
}

// Whether a count right of a line at or right of the axis finds roots: the
// lines step left from the one right of which the bound leaves none, each
// step short enough that the region to count grows at most sixteenfold, so
// that a system with thousands of roots right of the axis (a large gain)
// shows one of its rightmost for the cost of a few small counts.
bool roots_right_of_axis_from_right(const quorv& sys, const interrupt_check& check) {
    double line = rootless_line(sys, 0.0), step = 0.25;
    while (line > 0) {
        const double limit = bound_growth * root_bound(sys, line);
        while (step > 1e-3 * std::max(1.0, line) && !(root_bound(sys, line - step) <= limit)) step /= 2;
        line = std::max(0.0, line - step);
        step *= 2;
        work_budget budget{evaluations_for(sys, line, count_evaluations, evaluations_per_root), check};
        const region_count counted = count_region(sys, line, budget);
        if (counted.state != region_count::outcome::counted) return false;
        if (counted.on_or_right() > 0) return true;
    }
    return false;
}

}  // namespace

region_count count_region(const quorv& sys, double r, work_budget& budget) {
    const own_time_unit own = in_own_time_unit(sys);
    region_count counted = count_in_own_unit(own.sys, r * own.unit, budget);
    counted.left /= own.unit;
    for (root_cluster& c : counted.near_line) c.z /= own.unit, c.radius /= own.unit;
    counted.region = {counted.region.x0 / own.unit, counted.region.x1 / own.unit,
                      counted.region.y0 / own.unit, counted.region.y1 / own.unit};
    return counted;
}

double expected_roots(const quorv& sys, double r) {
    double chains = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) > 0) chains += sys.hk(k) * std::exp(-r * sys.hk(k)) * sys.Ak(k).stableNorm() / std::numbers::pi;
    return double(sys.n()) * (1 + chains);
}

double rootless_line(const quorv& sys, double from) {
    const double start = std::max(from, 0.0);
    double lo = from, hi = start + root_bound(sys, start) + 1;
    if (!std::isfinite(hi)) return from;
    // Tight: the searches from the right start here, and a line a few
    // tenths right of the rightmost root (a gain of 1e300 puts it near 684)
    // costs a count across a hundred roots of its chain.
    while (hi - lo > 1e-12 * std::max(1.0, std::abs(hi))) {
        const double middle = 0.5 * (lo + hi);
        (root_bound(sys, middle) < middle ? hi : lo) = middle;
    }
    return hi;
}

long evaluations_for(const quorv& sys, double r, long least, double per_root) {
    const double wanted = per_root * expected_roots(sys, r);
    // Beyond some 5e7 evaluations (a minute) no call can list its roots:
    // such a region keeps the least budget, so that its count fails as
    // fast as it always did rather than after minutes.
    return wanted > least && wanted <= most_evaluations ? long(wanted) : least;
}

long region_count::on_or_right() const {
    long sum = count;
    for (const root_cluster& c : near_line)
        if (c.left_of_line && c.z.real() - c.radius >= left) sum -= c.multiplicity;
    return sum;
}

long counted_or_throw(const region_count& counted, double r, const char* caller) {
    std::ostringstream message;
    message << caller << ": ";
    switch (counted.state) {
        case region_count::outcome::counted: return counted.on_or_right();
        case region_count::outcome::unbounded:
            message << "the root bound sum_k e^{-r h_k} |A_k| is not finite for r = " << r
                    << ", so the roots right of r cannot be counted";
            throw std::overflow_error(message.str());
        case region_count::outcome::undecided:
            message << "the count of roots with Re >= " << r
                    << " did not resolve: zeros near the line could not all be enclosed and decided against it";
            throw std::runtime_error(message.str());
        case region_count::outcome::unresolved: break;
    }
    message << "the count of roots with Re >= " << r << " did not resolve within its work budget";
    throw std::runtime_error(message.str());
}

long count_roots(const quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("count_roots: r is NaN");
    if (sys.n() == 0 || r > root_bound(sys, r)) return 0;
    // det Delta is the product of the diagonal blocks' determinants.
    if (const std::vector<quorv> blocks = diagonal_blocks(sys); !blocks.empty()) {
        long total = 0;
        for (const quorv& block : blocks) total += count_roots(block, r, check);
        return total;
    }
    work_budget budget{evaluations_for(sys, r, count_evaluations, evaluations_per_root), check};
    return counted_or_throw(count_region(sys, r, budget), r, "count_roots");
}

bool is_stable(const quorv& sys, const interrupt_check& check) {
    validate(sys);
    if (sys.n() == 0) return true;
    if (const std::vector<quorv> blocks = diagonal_blocks(sys); !blocks.empty())
        return std::all_of(blocks.begin(), blocks.end(), [&](const quorv& block) { return is_stable(block, check); });
    if (expected_roots(sys, 0.0) > many_roots && roots_right_of_axis_from_right(sys, check)) return false;
    work_budget budget{evaluations_for(sys, 0.0, count_evaluations, evaluations_per_root), check};
    return counted_or_throw(count_region(sys, 0.0, budget), 0.0, "is_stable") == 0;
}

}  // namespace quorv
