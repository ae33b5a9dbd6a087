#pragma once

#include <complex>
#include <optional>

#include "roots/log_determinant.h"

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
std::optional<long> count_in_rectangle(log_determinant& f, const rectangle& rect);
// The same for a rectangle symmetric about the real axis (y0 = -y1): det
// Delta takes conjugate values at conjugate points, so the upper half of the
// path carries half the winding.
std::optional<long> count_in_symmetric_rectangle(log_determinant& f, const rectangle& rect);
std::optional<long> count_in_circle(log_determinant& f, std::complex<double> centre, double radius);

}  // namespace quorv
