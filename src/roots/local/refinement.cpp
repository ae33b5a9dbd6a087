#include "roots/local/refinement.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "roots/local/residual.h"

namespace quorv {

namespace {

constexpr double newton_tolerance = 1e-10;

// Steps of inverse iteration for the start vector. Each multiplies the
// share of the nearly annihilated direction by sigma_2 / sigma_min, which at
// a candidate of the pencil is already large; Newton's method corrects the
// rest, together with lambda.
constexpr int inverse_steps = 2;

// A fixed start for inverse iteration with unit entries whose phases step by
// the golden angle: orthogonal to no structured null vector (a ring's
// Fourier modes are orthogonal to the vector of ones), and the same in every
// call, so that results are reproducible.
Eigen::VectorXcd spread_phases(Eigen::Index n) {
    Eigen::VectorXcd v(n);
    const double golden_angle = 2.399963229728653;
    for (Eigen::Index i = 0; i < n; ++i) v[i] = std::polar(1.0, golden_angle * double(i));
    return v / std::sqrt(double(std::max<Eigen::Index>(n, 1)));
}

}  // namespace

refinement::refinement(const quorv& sys)
    : sys(sys), solver(static_cast<int>(sys.n() + 1)), x(sys.n() + 1), Delta(sys.n(), sys.n()),
      lu(sys.n()), seed(spread_phases(sys.n())), iterate(sys.n()), residual(characteristic_residual(sys)) {}

// v <- Delta^{-1} v, normalised, from the fixed seed. At an exact root the
// LU has a zero pivot u_jj and the solve is not finite; the null vector is
// then read off the factors: x_j = 1, x_i = 0 below j, U_{<j} x = -U_{<j,j}
// above, which U x = 0 and so Delta x = P^T L U x = 0 satisfy.
void refinement::start_vector(Eigen::Ref<Eigen::VectorXcd> v) {
    lu.compute(Delta);
    v = seed;
    for (int step = 0; step < inverse_steps; ++step) {
        iterate = lu.solve(v);
        v = iterate;
        const double norm = v.norm();
        if (!(norm > 0) || !std::isfinite(norm)) break;
        v /= norm;
    }
    if (v.allFinite() && v.norm() > 0) return;
    const auto& f = lu.matrixLU();
    Eigen::Index j = 0;
    while (j + 1 < f.rows() && f(j, j) != 0.0) ++j;
    v.setZero();
    v[j] = 1;
    if (j > 0)
        v.head(j) = f.topLeftCorner(j, j).triangularView<Eigen::Upper>().solve(-f.col(j).head(j));
    v.normalize();
}

std::optional<refinement::result> refinement::from(std::complex<double> start) {
    const Eigen::Index n = sys.n();
    characteristic_matrix(sys, start, Delta);
    if (!Delta.allFinite()) return std::nullopt;
    x[0] = start;
    start_vector(x.tail(n));
    const double r = solver.solve(x, residual, newton_tolerance, steps);
    return result{x[0], r};
}

}  // namespace quorv
