#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "roots/count/root_bound.h"

TEST(RootBound, SumsTheDampedFrobeniusNorms) {
    const quorv::quorv sys({Eigen::MatrixXd::Identity(2, 2), 3 * Eigen::MatrixXd::Ones(2, 2)}, {0.0, 2.0});
    EXPECT_DOUBLE_EQ(quorv::root_bound(sys, -0.5), std::sqrt(2.0) + std::exp(1.0) * 6.0);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(quorv::root_bound(sys, -1e300), inf);
    EXPECT_EQ(quorv::root_bound(sys, -inf), inf);
    EXPECT_DOUBLE_EQ(quorv::root_bound(sys, inf), std::sqrt(2.0)) << "the undelayed term keeps its norm";
}

namespace {

using cplx = std::complex<double>;

// W_k(z) by Halley's iteration on w e^w = z. Branch 0 starts from the series
// at the branch point -1/e near it and from log(1 + z) inside the unit disc;
// otherwise from the asymptote log z + 2 pi i k - log(log z + 2 pi i k).
cplx lambert_w(cplx z, int k) {
    const cplx L = std::log(z) + cplx(0, 2 * std::numbers::pi * k);
    const cplx p = std::sqrt(2.0 * (std::exp(1.0) * z + 1.0));
    cplx w = L - std::log(L);
    if (k == 0 && std::abs(p) < 1) w = -1.0 + p - p * p / 3.0;
    else if (k == 0 && std::abs(z) < 1) w = std::log(1.0 + z);
    for (int it = 0; it < 100; ++it) {
        const cplx e = std::exp(w), f = w * e - z;
        const cplx step = f / (e * (w + 1.0) - (w + 2.0) * f / (2.0 * w + 2.0));
        w -= step;
        if (std::abs(step) <= 1e-15 * std::abs(w)) break;
    }
    return w;
}

// The roots with Re >= r of the scalar lambda = a + b e^{-lambda h}, a possibly
// complex: a + W_k(b h e^{-a h}) / h, each kept only when it satisfies the
// equation (a start that does not converge adds nothing).
std::vector<cplx> scalar_roots(cplx a, double b, double h, double r) {
    std::vector<cplx> roots;
    for (int k = -60; k <= 60; ++k) {
        const cplx lambda = a + lambert_w(b * h * std::exp(-a * h), k) / h;
        const bool root = std::abs(lambda - a - b * std::exp(-lambda * h)) < 1e-8 * std::max(1.0, std::abs(lambda));
        if (root && lambda.real() >= r) roots.push_back(lambda);
    }
    return roots;
}

// A_k = S diag(d_k) S^{-1}, delays {0, h}: the roots are those of the scalar
// modes lambda = d_0i + d_1i e^{-lambda h}.
struct modal {
    quorv::quorv sys;
    std::vector<cplx> roots;
};

modal modal_system(const Eigen::MatrixXd& S, const Eigen::VectorXd& d0, const Eigen::VectorXd& d1, double h, double r) {
    const Eigen::MatrixXd Si = S.inverse();
    modal m{quorv::quorv({S * d0.asDiagonal() * Si, S * d1.asDiagonal() * Si}, {0.0, h}), {}};
    for (Eigen::Index i = 0; i < d0.size(); ++i)
        for (const cplx z : scalar_roots(d0[i], d1[i], h, r)) m.roots.push_back(z);
    return m;
}

void expect_box_holds(const quorv::quorv& sys, const std::vector<cplx>& roots, double r) {
    ASSERT_FALSE(roots.empty());
    const quorv::rectangle box = quorv::root_box(sys, r);
    EXPECT_EQ(box.x0, r);
    EXPECT_EQ(box.y0, -box.y1);
    for (const cplx z : roots) {
        EXPECT_LE(z.real(), box.x1 * (1 + 1e-12)) << z;
        EXPECT_LE(std::abs(z.imag()), box.y1 * (1 + 1e-12)) << z;
        EXPECT_LE(std::abs(z), quorv::root_bound(sys, r) * (1 + 1e-12)) << z;
    }
}

}  // namespace

TEST(RootBox, HoldsForScalarModes) {
    for (const auto& [a, b, h, r] : std::vector<std::array<double, 4>>{
             {-1, 0.5, 1, -3}, {2, -3, 1, -2}, {0, -1, 1, -4}, {-1.13, -1.94, 10, -0.3}, {0.5, 4, 0.1, -20}}) {
        const quorv::quorv sys({Eigen::MatrixXd::Constant(1, 1, a), Eigen::MatrixXd::Constant(1, 1, b)}, {0.0, h});
        expect_box_holds(sys, scalar_roots(a, b, h, r), r);
    }
}

TEST(RootBox, HoldsForStiffAndNonNormalModes) {
    Eigen::MatrixXd S(3, 3);
    S << 1, 1e3, 0, 0, 1, 1e3, 0, 0, 1;  // condition number about 1e12
    const Eigen::Vector3d stiff(-100, -1, 0.5), slow(0.8, -0.9, -0.3);
    for (const auto& S_used : {Eigen::MatrixXd(Eigen::MatrixXd::Identity(3, 3)), S}) {
        const modal m = modal_system(S_used, stiff, slow, 1.0, -2.0);
        expect_box_holds(m.sys, m.roots, -2.0);
    }
}

// A rotation at rate w plus a delayed damping: the modes are lambda = +-iw +
// b e^{-lambda h}; the box's height is w + e^{-r h}|b|, not the Frobenius sum.
TEST(RootBox, HoldsForSkewSystems) {
    const double w = 30, b = -0.7, h = 0.5, r = -1;
    Eigen::Matrix2d rotation;
    rotation << 0, w, -w, 0;
    const quorv::quorv sys({rotation, b * Eigen::Matrix2d::Identity()}, {0.0, h});
    std::vector<cplx> roots = scalar_roots(cplx(0, w), b, h, r);
    for (const cplx z : scalar_roots(cplx(0, -w), b, h, r)) roots.push_back(z);
    expect_box_holds(sys, roots, r);
    const quorv::rectangle box = quorv::root_box(sys, r);
    EXPECT_NEAR(box.x1, std::exp(-r * h) * 0.7, 1e-9);
    EXPECT_NEAR(box.y1, w + std::exp(-r * h) * 0.7, 1e-9);
}

// u_t = u_xx + 1.5 u - u(t - 1) on (0, pi) by second differences on N points:
// modes 1.5 - 4 sin^2(j h/2)/h^2 - e^{-lambda}. The box reaches Re 1.5 + e,
// while the modulus bound grows like N^2 sqrt(N).
TEST(RootBox, IsTightForADiscretizedDiffusion) {
    const int N = 50;
    const double dx = std::numbers::pi / (N + 1), r = -1;
    Eigen::MatrixXd L = Eigen::MatrixXd::Zero(N, N);
    Eigen::VectorXd d0(N);
    for (int i = 0; i < N; ++i) {
        L(i, i) = -2 / (dx * dx) + 1.5;
        if (i + 1 < N) L(i, i + 1) = L(i + 1, i) = 1 / (dx * dx);
        d0[i] = 1.5 - 4 * std::pow(std::sin((i + 1) * dx / 2), 2) / (dx * dx);
    }
    const quorv::quorv sys({L, -Eigen::MatrixXd::Identity(N, N)}, {0.0, 1.0});
    // A mode's roots have |lambda - a| = e^{-Re lambda} <= e^{-r}: none right
    // of r when a < r - e^{-r}.
    std::vector<cplx> roots;
    for (int i = 0; i < N; ++i)
        if (d0[i] >= r - std::exp(-r))
            for (const cplx z : scalar_roots(d0[i], -1.0, 1.0, r)) roots.push_back(z);
    expect_box_holds(sys, roots, r);
    const quorv::rectangle box = quorv::root_box(sys, r);
    EXPECT_LT(box.x1, 1.5 + std::exp(1.0) + 1e-9);
    EXPECT_LT(box.y1, std::exp(1.0) + 1e-9);
    EXPECT_GT(quorv::root_bound(sys, r), 1e3);
}

// Entries at 1e300 and 1e-170: squares would overflow or underflow, the
// scaled norms do neither. Undelayed, the roots are the eigenvalues.
TEST(RootBox, ExtremeEntriesNeitherOverflowNorUnderflow) {
    Eigen::Matrix2d a;
    a << 1, 2, -3, 4;
    for (const double scale : {1e300, 1e-170}) {
        const quorv::quorv sys({scale * a}, {0.0});
        const Eigen::Vector2cd eig = scale * a.eigenvalues();
        expect_box_holds(sys, {eig[0], eig[1]}, -1e301);
        const quorv::rectangle box = quorv::root_box(sys, -1e301);
        EXPECT_TRUE(std::isfinite(box.x1) && std::isfinite(box.y1));
        EXPECT_GT(box.y1, 0.0);
        EXPECT_GT(quorv::root_bound(sys, 0), 0.0);
        EXPECT_TRUE(std::isfinite(quorv::root_bound(sys, 0)));
    }
}
