#include "roots/estimate/degree_curves.h"

#include <cmath>
#include <cstdint>

namespace quorv {

// Measured slope and offset of the reach of a degree-N discretization along
// the ray of angle theta_i = i*pi/64, from the positive real axis (i = 0) to
// the positive imaginary axis (i = 32).
const std::array<double, 33> degree_slope = {
    0.9124, 0.9123, 0.9136, 0.9165, 0.9195, 0.9234, 0.9285, 0.9345, 0.9416,
    0.9501, 0.9592, 0.9698, 0.9818, 0.9947, 1.0090, 1.0249, 1.0427, 1.0620,
    1.0833, 1.1069, 1.1331, 1.1614, 1.1936, 1.2289, 1.2685, 1.3132, 1.3642,
    1.4231, 1.4913, 1.5731, 1.6783, 1.7867, 1.8183};

const std::array<double, 33> degree_offset = {
    -0.2462, -0.2266, -0.2053, -0.2302, -0.2326, -0.2335, -0.2362, -0.2421, -0.2463,
    -0.2604, -0.2656, -0.2749, -0.2919, -0.3030, -0.3140, -0.3265, -0.3491, -0.3664,
    -0.3892, -0.4204, -0.4548, -0.4855, -0.5339, -0.5872, -0.6491, -0.7354, -0.8478,
    -0.9930, -1.1800, -1.4448, -1.9414, -2.7149, -3.0292};

// The unknowns are c_1 .. c_{K-2}, half the second derivative at the inner
// knots; c_0 = c_{K-1} = 0 makes the spline natural. Continuity of the first
// derivative at inner knot j+1 gives h*c_j + 4h*c_{j+1} + h*c_{j+2} =
// 3*(y_j - 2*y_{j+1} + y_{j+2})/h, a diagonally dominant system.
cubic_spline::cubic_spline(double x0, double h, std::span<const double> samples)
    : x0(x0), h(h), a(samples.size() - 1), b(samples.size() - 1), c(samples.size() - 1),
      d(samples.size() - 1) {
    const std::span<const double> y = samples;
    const std::size_t pieces = y.size() - 1;
    const std::size_t m = y.size() - 2;

    std::vector<double> sub(m - 1, h), diag(m, 4 * h), super(m - 1, h), rhs(m);
    for (std::size_t j = 0; j < m; ++j) rhs[j] = (y[j] - (y[j + 1] + y[j + 1]) + y[j + 2]) * 3 / h;
    solve_tridiagonal(sub, diag, super, rhs);

    c[0] = 0;
    for (std::size_t j = 0; j < m; ++j) c[j + 1] = rhs[j];

    // Each piece matches y_i and y_{i+1}; its cubic term carries the change
    // of curvature to the next knot, where c_{K-1} = 0 ends the last piece.
    for (std::size_t i = 0; i < pieces; ++i) {
        a[i] = y[i];
        const double c_next = i + 1 < pieces ? c[i + 1] : 0.0;
        d[i] = (c_next - c[i]) / (h * 3);
        b[i] = (y[i + 1] - y[i]) / h - ((c[i] + c[i] + c_next) / 3) * h;
    }
}

// The piece is found from the grid position alone; past the last knot the
// last piece is continued, so the curve is extrapolated, not held constant.
// Left of the first knot the first piece is continued in the same way; the
// grid position is never converted while negative, which would wrap it to a
// piece far past the end. A NaN argument takes the last piece and gives NaN.
double cubic_spline::operator()(double x) const {
    const double t0 = x - x0;
    const double u = std::floor(t0 / h);
    const std::size_t last = a.size() - 1;
    const std::size_t i = u < 0                            ? 0
                          : u < static_cast<double>(last) ? static_cast<std::uint32_t>(u)
                                                           : last;
    const double t = t0 - static_cast<double>(i) * h;
    return c[i] * std::pow(t, 2.0) + (b[i] * t + a[i]) + d[i] * std::pow(t, 3.0);
}

// Gaussian elimination down the band, then back substitution; no pivoting,
// which is safe for the diagonally dominant spline system.
void solve_tridiagonal(const std::vector<double>& sub, std::vector<double>& diag,
                       const std::vector<double>& super, std::vector<double>& rhs) {
    const std::size_t m = diag.size();
    for (std::size_t j = 1; j < m; ++j) {
        const double w = sub[j - 1] / diag[j - 1];
        diag[j] = diag[j] - w * super[j - 1];
        rhs[j] = rhs[j] - w * rhs[j - 1];
    }
    rhs[m - 1] = rhs[m - 1] / diag[m - 1];
    for (std::size_t j = m - 1; j-- > 0;) rhs[j] = (rhs[j] - super[j] * rhs[j + 1]) / diag[j];
}

}  // namespace quorv
