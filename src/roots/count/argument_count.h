#pragma once

#include <cmath>
#include <complex>
#include <optional>
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

// The same for a rectangle symmetric about the real axis (y0 = -y1): det
// Delta takes conjugate values at conjugate points, so the upper half of the
// path carries half the winding. `left_side`, when given, learns where the
// left side came closest to a zero.
std::optional<long> count_in_symmetric_rectangle(determinant_samples& f, const rectangle& rect,
                                                 path_probe* left_side = nullptr);
std::optional<long> count_in_circle(determinant_samples& f, std::complex<double> centre, double radius);

}  // namespace quorv
