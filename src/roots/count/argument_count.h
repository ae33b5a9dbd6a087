#pragma once

#include <cmath>
#include <complex>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "roots/count/log_determinant.h"
#include "roots/count/determinant_samples.h"

namespace quorv {

// The closed rectangle [x0, x1] x [y0, y1] of the complex plane.
struct rectangle {
    double x0, x1, y0, y1;

    bool contains(std::complex<double> z) const {
        return z.real() >= x0 && z.real() <= x1 && z.imag() >= y0 && z.imag() <= y1;
    }

    // Whether the disk |lambda - z| <= radius lies strictly inside.
    bool holds_disk(std::complex<double> z, double radius) const {
        return z.real() - radius > x0 && z.real() + radius < x1 && z.imag() - radius > y0 && z.imag() + radius < y1;
    }
};

// The number of zeros of det Delta, with multiplicity, inside a closed path,
// by the argument principle: arg det Delta is followed along the path in
// steps short enough that each change is resolved without ambiguity. Empty
// when a zero lies too close to the path to be resolved, or when the work
// budget runs out.
std::optional<long> count_in_rectangle(determinant_samples& f, const rectangle& rect);
struct path_probe_pass {
    std::complex<double> at;
    double reach;
};
// Where a count's path came closest to a zero of det Delta: the point and
// 1/|g| there, which is about the distance to the zero (m zeros at distance
// d make |g| about m/d); reach 0 where the path met a zero it could not
// pass.
// `passes` collects, for every run of samples with reach below `near`, the
// one closest to a zero: where the path passed near zeros that may lie on
// either side of it.
struct path_probe {
    std::complex<double> at;
    double reach = HUGE_VAL;
    double near = 0;
    std::vector<path_probe_pass> passes;
    bool in_pass = false;
};

// The value and derivative of an entire function of lambda.
using entire_function = std::function<std::pair<std::complex<double>, std::complex<double>>(std::complex<double>)>;

// A factor (lambda - pole)^order with a real pole, divided out of det Delta
// along a count's path. det Delta is about lambda^n times a function near 1
// far from the roots, and a chain of n roots beside the path turns its phase
// by about n pi along each side: the quotient by (lambda - c)^n, c the mean
// of the roots' cloud, turns only where single roots come close, so the walk
// takes steps set by them rather than by n. A pole left of the path adds no
// winding, and the quotient has the same zeros inside it.
struct known_factor {
    double pole = 0;
    long order = 0;
    // The value and derivative of an entire function phi whose exponential
    // is divided out along the path's left side only (none when empty): a
    // zero-free factor leaves the zeros alone, and the phase det Delta turns
    // along that side is the quotient's plus Im(phi(end) - phi(start)),
    // known exactly. Retarded roots of many modes, each far from the path,
    // turn the phase there smoothly but fast; phi takes that part off (see
    // left_side_term.h).
    entire_function left_side{};
};

// The same for a rectangle symmetric about the real axis (y0 = -y1): det
// Delta takes conjugate values at conjugate points, so the upper half of the
// path carries half the winding. `left_side`, when given, learns where the
// left side came closest to a zero. `factor` is divided out when its pole
// lies left of the rectangle; its left_side term along the left side.
std::optional<long> count_in_symmetric_rectangle(determinant_samples& f, const rectangle& rect,
                                                 path_probe* left_side = nullptr, known_factor factor = {});
std::optional<long> count_in_circle(determinant_samples& f, std::complex<double> centre, double radius);

}  // namespace quorv
