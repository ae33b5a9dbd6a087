#pragma once

#include <array>
#include <span>
#include <vector>

namespace quorv {

// Slope F(theta) and offset G(theta) of the degree a discretization needs to
// reach an eigenvalue estimate in direction theta = |arg mu|: degree N reaches
// mu when F(theta)*N + G(theta) >= |mu|. Sampled at theta_i = i*pi/64,
// i = 0..32, that is from 0 to pi/2.
extern const std::array<double, 33> degree_slope;
extern const std::array<double, 33> degree_offset;

// Natural cubic spline through samples y_0..y_{K-1} (K >= 3) at the knots
// x0 + i*h. Piece i is a[i] + b[i]*t + c[i]*t^2 + d[i]*t^3, t = x - x_i;
// beyond the last knot the last piece is extrapolated, and left of the first
// knot the first.
class cubic_spline {
public:
    double x0;
    double h;
    std::vector<double> a, b, c, d;

    cubic_spline(double x0, double h, std::span<const double> samples);

    double operator()(double x) const;
};

// Thomas algorithm without pivoting for the tridiagonal system with the given
// sub-, main and super-diagonal (lengths m-1, m, m-1). The solution replaces
// rhs; diag is overwritten by the elimination.
void solve_tridiagonal(const std::vector<double>& sub, std::vector<double>& diag,
                       const std::vector<double>& super, std::vector<double>& rhs);

}  // namespace quorv
