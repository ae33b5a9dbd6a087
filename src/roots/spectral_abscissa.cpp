#include "roots/spectral_abscissa.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "roots/root_bound.h"
#include "roots/root_count.h"
#include "roots/spectrum.h"
#include "roots/validate.h"

namespace quorv {

namespace {

constexpr double growth = 16;
// The bisection stops when the line lies within this share of max(1, |r|) of
// the rightmost root: the roots right of it are then few, and computing them
// costs less than further counts (on the scalar equation, one count costs
// about a fifth of the roots).
constexpr double gap_share = 1;

long count_right_of(const quorv& sys, double r) {
    if (r > root_bound(sys, r)) return 0;
    work_budget budget{count_evaluations};
    return counted_or_throw(count_region(sys, r, budget), r, "spectral_abscissa");
}

// The next line left of r: `step` left, halved until R grows by at most a
// factor of `growth`; the bound only grows leftwards, as e^{-r h} with the
// longest delay, so the count's region stays a few times the last one.
double next_line(const quorv& sys, double r, double& step) {
    const double limit = growth * std::max(1.0, root_bound(sys, r));
    while (step > 1e-3 * std::max(1.0, std::abs(r)) && !(root_bound(sys, r - step) <= limit)) step /= 2;
    return r - step;
}

[[noreturn]] void no_roots(double r) {
    std::ostringstream message;
    message << "spectral_abscissa: no characteristic root lies right of Re = " << r
            << ", and further left the bound sum_k e^{-r h_k} |A_k| on the roots overflows";
    throw std::invalid_argument(message.str());
}

}  // namespace

double spectral_abscissa(const quorv& sys) {
    validate(sys);
    if (sys.n() == 0) throw std::invalid_argument("spectral_abscissa: a system of order 0 has no roots");
    // No root lies right of R(0): a root with Re >= 0 has modulus at most R(0).
    double empty = root_bound(sys, 0.0);
    double line = empty;
    double step = std::max(1.0, empty) / 2;
    while (count_right_of(sys, line) == 0) {
        empty = line;
        line = next_line(sys, line, step);
        if (!std::isfinite(root_bound(sys, line))) no_roots(empty);
        step *= 2;
    }
    while (empty - line > gap_share * std::max(1.0, std::abs(line))) {
        const double middle = 0.5 * (line + empty);
        (count_right_of(sys, middle) > 0 ? line : empty) = middle;
    }
    const spectrum_result right = spectrum(sys, line);
    if (!right.complete || right.roots.size() == 0) {
        std::ostringstream message;
        message << "spectral_abscissa: counted " << right.count << " roots with Re >= " << line
                << " but could not locate them all within the work budget";
        throw std::runtime_error(message.str());
    }
    return right.roots[0].real();
}

}  // namespace quorv
