#include "roots/analysis/sparse_spectrum.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "roots/complete/krylov_location.h"
#include "roots/complete/sparse_location.h"
#include "roots/count/sparse_count.h"
#include "roots/count/sparse_determinant.h"
#include "roots/count/sparse_root_bound.h"
#include "roots/support/sparse_time_unit.h"
#include "roots/support/validate_sparse.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

// Evaluations for one spectrum, count and location together.
constexpr long spectrum_evaluations = 2 * count_evaluations;
// The abscissa's strip is narrowed to this share of max(1, |line|).
constexpr double sparse_strip_share = 1e-2;
constexpr long crowded = 8;
constexpr double sparse_narrowest_strip = 1e-9;
// The rightmost roots the first Krylov search waits for, and the strip
// right of the rightmost found, relative to its size: narrow, so that a
// crowded chain (a ring's modes) puts few roots in it.
constexpr int rightmost_wanted = 6;
constexpr double sparse_gap_share = 1e-6;
// The abscissa's strip reaches at most this share of max(1, |root|) left of
// the rightmost root found, halfway to the next one found: far enough for
// its count's path to pass clear of that root, near enough that the delayed
// terms' factors e^{-r h_k}, which set the region's height and how fast the
// phase turns along its left side, grow by a few percent only.
constexpr double widest_gap_share = 0.02;
// Disks that end further left of the axis than this (own time unit) leave
// the count there at 0 without taking it, as for the dense model: the
// count's path examines zeros within 1e-4 of its line.
constexpr double sparse_axis_margin = 1e-4;

// Roots found separately above and below the axis are made exact
// conjugates; a simple root whose disk holds its own conjugate is real,
// since the zeros of a real system come in conjugate pairs.
void mirror(std::vector<root_cluster>& roots) {
    for (root_cluster& c : roots) {
        if (c.multiplicity == 1 && std::abs(c.z.imag()) <= c.radius) c.z.imag(0);
        if (c.z.imag() >= 0) continue;
        for (const root_cluster& d : roots)
            if (d.z.imag() > 0 && std::abs(std::conj(d.z) - c.z) <= c.radius + d.radius) {
                c.z = std::conj(d.z);
                break;
            }
    }
}

spectrum_result as_spectrum(std::vector<root_cluster> roots, long count, bool complete, double unit) {
    for (root_cluster& c : roots) c.z /= unit, c.radius /= unit;
    mirror(roots);
    std::sort(roots.begin(), roots.end(), [](const root_cluster& a, const root_cluster& b) {
        return a.z.real() != b.z.real() ? a.z.real() > b.z.real() : a.z.imag() < b.z.imag();
    });
    spectrum_result s;
    const Eigen::Index m = Eigen::Index(roots.size());
    s.roots.resize(m), s.multiplicities.resize(m), s.radii.resize(m);
    long located = 0;
    for (Eigen::Index i = 0; i < m; ++i) {
        s.roots[i] = roots[std::size_t(i)].z;
        s.multiplicities[i] = roots[std::size_t(i)].multiplicity;
        s.radii[i] = roots[std::size_t(i)].radius;
        located += roots[std::size_t(i)].multiplicity;
    }
    s.count = count;
    s.complete = complete && located == count;
    return s;
}

// The located roots that lie on or right of the line: those meeting a disk
// the line's decision placed left of it are its zeros, counted by the path
// (which runs a little left of the line) but not roots right of the line.
std::vector<root_cluster> on_or_right(std::vector<root_cluster> located, const region_count& counted) {
    std::erase_if(located, [&](const root_cluster& c) {
        return std::any_of(counted.near_line.begin(), counted.near_line.end(),
                           [&](const root_cluster& d) { return d.left_of_line && d.meets(c); });
    });
    return located;
}

// The count right of `line` (own units), with the disks found before;
// the errors of count_roots, led by `caller`, when it holds none.
region_count counted_at(const sparse_quorv& own, double line, double unit, determinant_samples& f,
                        const char* caller, const std::vector<root_cluster>& known = {}) {
    const region_count counted = count_in_own_unit(own, line, f, known);
    counted_or_throw(counted, line / unit, caller);
    return counted;
}

// Whether the count at the axis, taken exactly as is_stable takes it (in
// the user's units), finds roots.
bool axis_holds_roots(const sparse_quorv& sys, const interrupt_check& check) {
    work_budget budget{count_evaluations, check};
    return counted_or_throw(count_region(sys, 0.0, budget), 0.0, "spectral_abscissa") > 0;
}

}  // namespace

namespace {

spectrum_result spectrum_led_by(const sparse_quorv& sys, double r, const interrupt_check& check, const char* caller) {
    const own_sparse_time_unit own = in_own_time_unit(sys);
    work_budget budget{spectrum_evaluations, check};
    sparse_determinant f(own.sys, budget);
    const region_count counted = counted_at(own.sys, r * own.unit, own.unit, f, caller);
    krylov_locator krylov(own.sys, f);
    krylov.adopt(counted.near_line, counted.region);
    const located_roots located = krylov.locate(counted.region, counted.count);
    return as_spectrum(on_or_right(located.roots, counted), counted.on_or_right(), located.complete, own.unit);
}

}  // namespace

spectrum_result spectrum(const sparse_quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("spectrum: r is NaN");
    if (sys.n() == 0 || r > root_bound(sys, r)) return {};
    return spectrum_led_by(sys, r, check, "spectrum");
}

spectrum_result spectrum_for_roots(const sparse_quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("roots: r is NaN");
    if (sys.n() == 0) return {};
    const double bound = root_bound(sys, r);
    if (!std::isfinite(bound))
        throw std::runtime_error("the roots right of r can neither be bounded nor counted: the "
                                 "damping factors overflow; a larger r is needed");
    if (r > bound) return {};
    return spectrum_led_by(sys, r, check, "roots");
}

namespace {

// The line of the strip that the abscissa counts: just left of the rightmost
// root found, and when the search found others, further left, halfway to
// the next one, within widest_gap_share. A count's path that grazes a root
// samples densely beside it, and where rounding keeps det Delta untrusted
// some way around it (large entries), cannot pass it at all and has to be
// taken again further left; one that runs clear of every root does not.
double strip_line(const std::vector<root_cluster>& disks, const root_cluster& first) {
    const double scale = root_scale(first.z);
    const double line = first.z.real() - std::max(sparse_gap_share * scale, 2 * first.radius);
    double next = -HUGE_VAL;
    for (const root_cluster& c : disks)
        if (c.z.real() + c.radius < line) next = std::max(next, c.z.real() + c.radius);
    if (next == -HUGE_VAL) return line;
    const double widest = first.z.real() - widest_gap_share * std::max(1.0, std::abs(first.z.real()));
    return std::min(line, std::max(widest, 0.5 * (first.z.real() + next)));
}

// The abscissa by counts alone, for a model whose Krylov search found no
// root: counts at lines moving left from the axis find the first that holds
// roots, bisection on the count narrows the strip, and the strip's roots are
// located. Its sign follows the count at Re = 0.
double abscissa_by_counts(const own_sparse_time_unit& own, sparse_determinant& f) {
    const double unit = own.unit;
    const auto count_at = [&](double line) {
        return counted_at(own.sys, line, unit, f, "spectral_abscissa");
    };
    region_count at_line = count_at(0.0);
    // Unstable as is_stable decides it: a root whose disk cannot be
    // tightened clear of the axis counts as on it.
    const bool unstable = at_line.on_or_right() > 0;
    double line = 0, empty = root_box(own.sys, 0.0).x1;
    for (double step = 1; at_line.count == 0; step *= 2) {
        empty = line;
        line -= step;
        if (!std::isfinite(root_bound(own.sys, line))) {
            std::ostringstream message;
            message << "spectral_abscissa: no characteristic root lies right of Re = " << empty / unit
                    << ", and further left the bound sum_k e^{-r h_k} |A_k| on the roots overflows";
            throw std::invalid_argument(message.str());
        }
        at_line = count_at(line);
    }
    // Narrowed further while the strip holds many roots: locating them costs
    // more than a few counts more (a ring's modes crowd one chain of roots).
    const auto wide = [&] {
        const double width = (empty - line) / std::max(1.0, std::abs(line));
        return width > sparse_strip_share || (at_line.count > crowded && width > sparse_narrowest_strip);
    };
    while (wide()) {
        const double middle = 0.5 * (line + empty);
        const region_count at_middle = count_at(middle);
        if (at_middle.count > 0) line = middle, at_line = at_middle;
        else empty = middle;
    }
    const located_roots located = locate_roots(f, at_line.region, at_line.count);
    long found = 0;
    double rightmost = -std::numeric_limits<double>::infinity();
    for (const root_cluster& c : located.roots) found += c.multiplicity, rightmost = std::max(rightmost, c.z.real());
    if (!located.complete || found < at_line.count) {
        std::ostringstream message;
        message << "spectral_abscissa: counted " << at_line.count << " roots with Re >= " << at_line.left / unit
                << " but located only " << found << " of them within the work budget";
        throw std::runtime_error(message.str());
    }
    return unstable ? std::max(0.0, rightmost / unit) : rightmost / unit;
}

// The abscissa from the Krylov search's rightmost roots, empty when the
// search finds none.
std::optional<double> abscissa_by_krylov(const sparse_quorv& sys, const own_sparse_time_unit& own,
                                         sparse_determinant& f, const interrupt_check& check) {
    const double unit = own.unit;
    // The first search's shift: the right side of the box that holds every
    // root right of the axis, or the axis when that box lies left of it
    // (roots left of the axis are bounded by a larger box).
    const double right = root_box(own.sys, 0.0).x1;
    if (!std::isfinite(right)) return std::nullopt;
    krylov_locator krylov(own.sys, f);
    krylov.rightmost(std::max(0.0, right), rightmost_wanted);
    if (krylov.disks().empty()) return std::nullopt;
    const root_cluster first = *std::max_element(
        krylov.disks().begin(), krylov.disks().end(),
        [](const root_cluster& a, const root_cluster& b) { return a.z.real() < b.z.real(); });
    // The strip right of a line just left of the rightmost root found holds
    // that root and whatever the search missed right of it; its count and
    // location (from the disks found, by more shifts and bisection where
    // they fall short) decide.
    const double line = strip_line(krylov.disks(), first);
    const region_count strip = counted_at(own.sys, line, unit, f, "spectral_abscissa", krylov.disks());
    const located_roots located = krylov.locate(strip.region, strip.count);
    long found = 0;
    double rightmost = -HUGE_VAL, rightmost_radius = 0, reach = -HUGE_VAL, clear = -HUGE_VAL;
    for (const root_cluster& c : located.roots) {
        found += c.multiplicity;
        if (c.z.real() > rightmost) rightmost = c.z.real(), rightmost_radius = c.radius;
        reach = std::max(reach, c.z.real() + c.radius);
        clear = std::max(clear, c.z.real() - c.radius);
    }
    if (!located.complete || found < strip.count) {
        std::ostringstream message;
        message << "spectral_abscissa: counted " << strip.count << " roots with Re >= " << strip.left / unit
                << " but located only " << found << " of them within the work budget";
        throw std::runtime_error(message.str());
    }
    // Stable exactly when the count at the axis, taken as is_stable takes
    // it, is 0. A disk wholly right of the axis makes that count positive;
    // disks that all end well left of it leave it at 0 (every root right of
    // the strip's line is in them). Only a disk near the axis needs the count
    // itself. A root on the axis, or within the count's margin left of it,
    // makes the abscissa 0; without one, a root located at -0.0 is still left
    // of the axis.
    const bool unstable = clear > 0 || (reach >= -sparse_axis_margin && axis_holds_roots(sys, check));
    if (unstable && std::abs(rightmost) <= rightmost_radius) return 0.0;
    return unstable ? std::max(0.0, rightmost / unit)
                    : std::min(rightmost / unit, -std::numeric_limits<double>::denorm_min());
}

}  // namespace

std::optional<double> krylov_spectral_abscissa(const sparse_quorv& sys, const interrupt_check& check) {
    validate(sys);
    if (sys.n() == 0) throw std::invalid_argument("spectral_abscissa: a system of order 0 has no roots");
    const own_sparse_time_unit own = in_own_time_unit(sys);
    work_budget budget{spectrum_evaluations, check};
    sparse_determinant f(own.sys, budget);
    return abscissa_by_krylov(sys, own, f, check);
}

double spectral_abscissa(const sparse_quorv& sys, const interrupt_check& check) {
    validate(sys);
    if (sys.n() == 0) throw std::invalid_argument("spectral_abscissa: a system of order 0 has no roots");
    const own_sparse_time_unit own = in_own_time_unit(sys);
    work_budget budget{spectrum_evaluations, check};
    sparse_determinant f(own.sys, budget);
    if (const auto found = abscissa_by_krylov(sys, own, f, check)) return *found;
    return abscissa_by_counts(own, f);
}

}  // namespace quorv
