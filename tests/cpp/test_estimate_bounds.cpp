#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>

#include <Eigen/Eigenvalues>
#include <gtest/gtest.h>

#include "roots/estimate/estimate_bounds.h"
#include "roots/estimate/size_estimate.h"

namespace {

using cplx = std::complex<double>;
using std::numbers::pi;

// Dense, non-normal (a large upper triangle), stiff (a wide diagonal) and
// skew (a large anti-symmetric part) complex matrices of order 1 to 7.
Eigen::MatrixXcd test_matrix(std::mt19937& gen, int kind) {
    std::normal_distribution<double> normal;
    const int n = 1 + static_cast<int>(gen() % 7);
    Eigen::MatrixXcd M = Eigen::MatrixXcd::NullaryExpr(n, n, [&] { return cplx(normal(gen), normal(gen)); });
    if (kind == 1) M.triangularView<Eigen::StrictlyUpper>() *= 30.0;
    if (kind == 2) for (int i = 0; i < n; ++i) M(i, i) *= std::pow(10.0, i);
    if (kind == 3) M += 20.0 * (M - M.transpose()).eval();
    return M;
}

// Every computed eigenvalue lies within each enclosure, and the Cholesky
// tests of the numerical range agree with its extent computed directly.
TEST(EstimateBounds, EncloseEveryComputedEigenvalue) {
    std::mt19937 gen(5);
    for (int trial = 0; trial < 400; ++trial) {
        const Eigen::MatrixXcd M = test_matrix(gen, trial % 4);
        const Eigen::VectorXcd mu = Eigen::ComplexEigenSolver<Eigen::MatrixXcd>(M, false).eigenvalues();
        quorv::numerical_range range(M.rows());
        const quorv::gershgorin_discs discs(M);
        const double re_bound = discs.real_bound();
        double rightmost = -1e300, highest = 0;
        for (const cplx z : mu) {
            EXPECT_LE(z.real(), re_bound);
            EXPECT_LE(std::abs(z), discs.modulus_in_strip(z.real(), z.real() + 1));
            rightmost = std::max(rightmost, z.real());
            highest = std::max(highest, std::abs(z.imag()));
        }
        const double beyond = M.cwiseAbs().rowwise().sum().maxCoeff() + 1;
        EXPECT_EQ(discs.modulus_in_strip(beyond, beyond + 1),
                  -std::numeric_limits<double>::infinity()) << "no disc reaches the strip";
        EXPECT_FALSE(range.left_of(M, rightmost));
        EXPECT_FALSE(range.lower_than(M, highest));
        const Eigen::MatrixXcd H = (M + M.adjoint()) / 2, K = cplx(0, -0.5) * (M - M.adjoint());
        const double omega = Eigen::SelfAdjointEigenSolver<Eigen::MatrixXcd>(H).eigenvalues().maxCoeff();
        const double height = Eigen::SelfAdjointEigenSolver<Eigen::MatrixXcd>(K).eigenvalues().cwiseAbs().maxCoeff();
        const double margin = 1e-6 * (1 + M.norm());
        EXPECT_TRUE(range.left_of(M, omega + margin));
        EXPECT_FALSE(range.left_of(M, omega - margin));
        EXPECT_TRUE(range.lower_than(M, height + margin));
        EXPECT_FALSE(range.lower_than(M, height - margin));
    }
}

// Within the radius no estimate of the strip asks for more than the degree,
// sampled densely. For the whole plane the radius is the least
// F(theta) N + G(theta) over [0, pi], within the bound's rounding of the
// curves.
TEST(EstimateBounds, DegreeRadiusIsSoundAndNearlySharp) {
    const quorv::cubic_spline F(0.0, pi / 64, quorv::degree_slope), G(0.0, pi / 64, quorv::degree_offset);
    const quorv::degree_bound bound(F, G);
    const double inf = std::numeric_limits<double>::infinity();
    const struct { double lo, hi; } strips[] = {{-inf, inf}, {0, 2}, {0, 40}, {-3, inf}, {5, inf}};
    for (const int degree : {5, 12, 60, 100})
        for (const auto strip : strips) {
            const double radius = bound.largest_radius(degree, strip.lo, strip.hi);
            for (int k = 0; k <= 4000 && radius >= 0; ++k) {
                const cplx mu = std::polar(std::min(radius, 1e6), pi * k / 4000);
                if (mu.real() >= strip.lo && mu.real() <= strip.hi)
                    EXPECT_LE(quorv::required_degree(mu, F, G), degree) << mu;
            }
        }
    for (const int degree : {12, 30, 100}) {
        double least = inf;
        for (int k = 0; k <= 4000; ++k) least = std::min(least, F(pi * k / 4000) * degree + G(pi * k / 4000));
        const double radius = bound.largest_radius(degree, -inf, inf);
        EXPECT_LE(radius, least);
        EXPECT_GT(radius, 0.98 * least);
    }
    EXPECT_LT(bound.largest_radius(5, -1, 1), 0) << "near arg pi even |mu| = 0 asks for 7";
}

}  // namespace
