#include "roots/analysis/spectral_abscissa.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "roots/analysis/krylov_route.h"
#include "roots/analysis/sparse_spectrum.h"
#include "roots/complete/completion.h"
#include "roots/count/log_determinant.h"
#include "roots/complete/multiple_root.h"
#include "roots/local/rightmost_sketch.h"
#include "roots/count/root_bound.h"
#include "roots/count/root_count.h"
#include "roots/support/diagonal_blocks.h"
#include "roots/support/time_unit.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

// Everything below works in the system's own time unit, where the delays are
// at most 1 and the matrices' norms sum to about 1 or more: the degree, the
// steps and the gaps then mean the same at every time scale.

// The first line lies this share of the rightmost root's modulus left of
// it, so that the strip right of the line holds that root and only the
// roots within 1e-3 of its scale from its real part.
constexpr double gap_share = 1e-3;
// When the count there finds nothing (the approximation was no root), or
// when the search starts from the right (below), the line moves left in
// steps that start at an eighth and double, each
// shortened until the bound R(r), and with it the region to count, grows by
// at most a factor of `growth`; the strip between the last empty line and
// the first one holding roots is then halved by counts to a width of an
// eighth of max(1, |line|), since locating the roots of a wide strip costs
// more than a few counts.
constexpr double first_step = 0.125;
constexpr double growth = 16;
constexpr double strip_share = 0.125;
// A strip that still holds more roots than this is halved on, down to a
// width of narrowest_strip relative: a wide search from the right (below)
// may end on a strip across many roots of a chain; but only while the last
// count cost less than locating the roots its disks leave unknown would,
// at locate_cost evaluations each. A count whose path runs along a chain
// (a large gain's runs almost parallel to the line near its rightmost root)
// encloses again the dozens of roots it passes near, some 3000 evaluations,
// and leaves few unknown: following the chain from its disks is cheaper.
// A count clear of the roots costs some 800 and leaves all unknown, and a
// hundred roots found from one cost some 150 evaluations each.
constexpr long strip_roots = 8;
constexpr long locate_cost = 32;
constexpr double narrowest_strip = 1e-6;
// Beyond this many roots expected right of the sketch's first line, the
// search starts from the right instead, at the line right of which the
// bound R leaves no root (a large gain's sketch reaches roots far from the
// rightmost, and the region right of them holds thousands).
constexpr double few_roots = 64;
// Evaluations of the characteristic matrix the locating may spend.
constexpr long locate_evaluations = 400000;
// Disks that end further left of the axis than this (in the system's own
// time unit) are decided left of it by any count there; the count's path
// examines zeros within 1e-4 of its line.
constexpr double axis_margin = 1e-4;

// The first line to count: gap_share of the rightmost approximation's
// modulus left of it, or a first step left of the axis without one.
double first_line(const std::vector<cplx>& approximations) {
    double line = -first_step;
    bool found = false;
    for (const cplx& z : approximations) {
        const double left_of_z = z.real() - gap_share * std::abs(z);
        if (!found || left_of_z > line) line = left_of_z, found = true;
    }
    return line;
}

// The count right of a line; none right of a line beyond the bound R(r) on
// the roots there, where the count's rectangle would be empty.
// `spent` receives the evaluations the count cost.
region_count count_at(const quorv& own, double line, double unit, const interrupt_check& check, long& spent) {
    spent = 0;
    if (line > root_bound(own, line)) return {region_count::outcome::counted, 0, line, {}};
    work_budget budget{count_evaluations, check};
    region_count counted = count_region(own, line, budget);
    counted_or_throw(counted, line / unit, "spectral_abscissa");
    spent = count_evaluations - budget.evaluations_left;
    return counted;
}

// The roots right of a strip's line that none of its count's disks holds.
long unknown_roots(const region_count& counted) {
    long known = 0;
    for (const root_cluster& c : counted.near_line)
        if (!c.left_of_line) known += c.multiplicity;
    return std::max(0L, counted.on_or_right() - known);
}

// The next line left of r: `step` left, halved until R grows by at most a
// factor of `growth`; the bound only grows leftwards, as e^{-r h} with the
// longest delay, so the count's region stays a few times the last one.
double next_line(const quorv& own, double r, double& step) {
    const double limit = growth * root_bound(own, r);
    while (step > 1e-3 * std::max(1.0, std::abs(r)) && !(root_bound(own, r - step) <= limit)) step /= 2;
    return r - step;
}

[[noreturn]] void no_roots(double r) {
    std::ostringstream message;
    message << "spectral_abscissa: no characteristic root lies right of Re = " << r
            << ", and further left the bound sum_k e^{-r h_k} |A_k| on the roots overflows";
    throw std::invalid_argument(message.str());
}

// The count at the first line left of `line` (itself included) that holds
// roots, at most strip_share max(1, |line|) left of the last line found empty.
region_count strip_with_roots(const quorv& own, double line, double unit, const interrupt_check& check) {
    long spent = 0;
    region_count counted = count_at(own, line, unit, check, spent);
    double empty = line, step = first_step;
    for (; counted.on_or_right() == 0; step *= 2) {
        empty = line;
        line = next_line(own, line, step);
        if (!std::isfinite(root_bound(own, line))) no_roots(empty / unit);
        counted = count_at(own, line, unit, check, spent);
    }
    const auto wide = [&] {
        const double width = (empty - line) / std::max(1.0, std::abs(line));
        return width > strip_share || (counted.on_or_right() > strip_roots && width > narrowest_strip &&
                                       spent < locate_cost * unknown_roots(counted));
    };
    while (wide()) {
        const double middle = 0.5 * (line + empty);
        const region_count at_middle = count_at(own, middle, unit, check, spent);
        if (at_middle.on_or_right() > 0) line = middle, counted = at_middle;
        else empty = middle;
    }
    return counted;
}

// The roots in the counted strip, with their disks: the count's disks near
// its line, the approximations there grouped into distinct roots, and the
// roots the count says are missing located by the completion.
std::vector<root_cluster> strip_located(const quorv& own, const region_count& strip, const std::vector<cplx>& approximations,
                         double unit, const interrupt_check& check) {
    work_budget budget{locate_evaluations, check};
    log_determinant f(own, budget);
    std::vector<cplx> inside;
    std::copy_if(approximations.begin(), approximations.end(), std::back_inserter(inside),
                 [&](cplx z) {
                     return z.real() >= strip.left &&
                            std::none_of(strip.near_line.begin(), strip.near_line.end(),
                                         [&](const root_cluster& c) { return std::abs(z - c.z) <= c.radius; });
                 });
    std::vector<root_cluster> known = cluster_roots(f, inside).clusters;
    for (root_cluster& c : known)
        for (const root_cluster& d : strip.near_line)
            if (c.certified() && c.meets(d)) c.multiplicity = 0, c.radius = 0;
    known.insert(known.end(), strip.near_line.begin(), strip.near_line.end());
    complete_roots(f, strip.region, strip.count, strip.left, known);
    long located = 0;
    std::vector<root_cluster> in_strip;
    for (const root_cluster& c : known)
        if (strip.region.contains(c.z) && c.multiplicity > 0) {
            located += c.multiplicity;
            in_strip.push_back(c);
        }
    if (located < strip.count) {
        std::ostringstream message;
        message << "spectral_abscissa: counted " << strip.count << " roots with Re >= " << strip.left / unit
                << " but located only " << located << " of them within the work budget";
        throw std::runtime_error(message.str());
    }
    return in_strip;
}

// Whether the count at the axis, taken exactly as is_stable takes it (in
// the user's units), finds roots.
bool axis_holds_roots(const quorv& sys, const interrupt_check& check) {
    work_budget budget{count_evaluations, check};
    return counted_or_throw(count_region(sys, 0.0, budget), 0.0, "spectral_abscissa") > 0;
}

}  // namespace

double spectral_abscissa(const quorv& sys, const interrupt_check& check) {
    validate(sys);
    if (sys.n() == 0) throw std::invalid_argument("spectral_abscissa: a system of order 0 has no roots");
    // The roots are the union of the diagonal blocks' roots.
    if (const std::vector<quorv> blocks = diagonal_blocks(sys); !blocks.empty()) {
        double rightmost = -std::numeric_limits<double>::infinity();
        for (const quorv& block : blocks) rightmost = std::max(rightmost, spectral_abscissa(block, check));
        return rightmost;
    }
    if (krylov_route_preferred(sys))
        if (const auto found = krylov_spectral_abscissa(sparse_copy(sys), check)) return *found;
    const own_time_unit own = in_own_time_unit(sys);
    const std::vector<cplx> approximations = rightmost_sketch(own.sys, check);
    double line = first_line(approximations);
    if (expected_roots(own.sys, line) > few_roots) line = rootless_line(own.sys, line);
    const region_count strip = strip_with_roots(own.sys, line, own.unit, check);
    const std::vector<root_cluster> located = strip_located(own.sys, strip, approximations, own.unit, check);
    root_cluster rightmost_disk{-std::numeric_limits<double>::infinity()};
    double reach = -std::numeric_limits<double>::infinity();
    for (const root_cluster& c : located) {
        if (c.z.real() > rightmost_disk.z.real()) rightmost_disk = c;
        reach = std::max(reach, c.z.real() + c.radius);
    }
    const double rightmost = rightmost_disk.z.real();
    // Every root right of the strip's line is located. A disk wholly right
    // of the axis makes the count at the axis positive, whatever disks that
    // count uses; disks that all end well left of it leave that count at
    // zero. Only a disk near the axis needs the count itself, the one rule
    // by which is_stable decides.
    const bool unstable = rightmost - rightmost_disk.radius > 0 ||
                          (reach >= -axis_margin && axis_holds_roots(sys, check));
    // The sign follows the count at the axis, as is_stable does: a root on
    // the axis, or within the count's margin left of it, makes the abscissa
    // 0 rather than a rounding error's worth below it; without one, a root
    // located at -0.0 is still left of it.
    if (unstable && std::abs(rightmost) <= rightmost_disk.radius) return 0.0;  // its disk meets the axis
    return unstable ? std::max(0.0, rightmost / own.unit)
                    : std::min(rightmost / own.unit, -std::numeric_limits<double>::denorm_min());
}

}  // namespace quorv
