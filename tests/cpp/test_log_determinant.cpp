#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>

#include <gtest/gtest.h>

#include "roots/count/argument_count.h"
#include "roots/count/log_determinant.h"

namespace {

using cplx = std::complex<double>;

// A chain of n units coupled to their neighbours, one delayed coupling
// reaching two places up: bands (1, 2) of the union pattern. With `closed`
// the chain becomes a ring, whose corners fill the natural band.
// `coupling` well above 1 makes the off-diagonal entries the pivots.
quorv::quorv chain(int n, bool closed, double coupling = 0.3) {
    Eigen::MatrixXd a0 = -Eigen::MatrixXd::Identity(n, n), a1 = Eigen::MatrixXd::Zero(n, n);
    for (int i = 0; i + 1 < n; ++i) a0(i, i + 1) = a0(i + 1, i) = coupling + 0.01 * i;
    for (int i = 0; i + 2 < n; ++i) a1(i, i + 2) = 0.2 - 0.003 * i;
    if (closed) a0(0, n - 1) = a0(n - 1, 0) = 0.3;
    return quorv::quorv({a0, -0.8 * Eigen::MatrixXd::Identity(n, n), a1}, {0.0, 1.0, 2.0});
}

// Phase of det Delta and tr(Delta^{-1} Delta') computed densely by Eigen,
// independently of the code under test.
void expect_matches_dense_truth(const quorv::quorv& sys, cplx lambda) {
    const Eigen::Index n = sys.n();
    Eigen::MatrixXcd Delta = lambda * Eigen::MatrixXcd::Identity(n, n), dDelta = Eigen::MatrixXcd::Identity(n, n);
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const cplx e = std::exp(-lambda * sys.hk(k));
        Delta -= e * sys.Ak(k).cast<cplx>();
        dDelta += sys.hk(k) * e * sys.Ak(k).cast<cplx>();
    }
    const Eigen::FullPivLU<Eigen::MatrixXcd> truth(Delta);
    quorv::work_budget budget{10};
    quorv::log_determinant f(sys, budget);
    quorv::log_det_sample s;
    ASSERT_TRUE(f.evaluate(lambda, s));
    EXPECT_NEAR(std::remainder(s.phase - std::arg(truth.determinant()), 2 * std::numbers::pi), 0.0, 1e-9);
    const cplx g = truth.solve(dDelta).trace();
    EXPECT_NEAR(std::abs(s.g - g), 0.0, 1e-9 * std::abs(g));
}

}  // namespace

// A pattern with no band at all: every unit coupled to every other.
quorv::quorv all_to_all(int n) {
    return quorv::quorv({Eigen::MatrixXd::Constant(n, n, 0.01) - Eigen::MatrixXd::Identity(n, n)}, {0.5});
}

TEST(LogDeterminant, BandReorderedAndDenseFactorisationsAgreeWithTheDeterminant) {
    const quorv::quorv banded = chain(60, false), ring = chain(60, true), full = all_to_all(60);
    const quorv::quorv pivoting = chain(60, false, 5.0), pivoting_ring = chain(60, true, 5.0);
    quorv::work_budget budget{1};
    ASSERT_TRUE(quorv::log_determinant(banded, budget).banded());
    ASSERT_TRUE(quorv::log_determinant(ring, budget).banded());
    ASSERT_FALSE(quorv::log_determinant(full, budget).banded());
    for (const cplx lambda : {cplx(0.3, 0.2), cplx(-1.2, 7.5), cplx(2.0, -0.4)})
        for (const quorv::quorv* sys : {&banded, &ring, &full, &pivoting, &pivoting_ring})
            expect_matches_dense_truth(*sys, lambda);
}

TEST(LogDeterminant, TheBandingOrderGathersARingNearTheDiagonal) {
    const quorv::band natural = quorv::union_band(chain(60, false));
    EXPECT_EQ(natural.lower, 1);
    EXPECT_EQ(natural.upper, 2);
    const quorv::quorv ring = chain(60, true);
    EXPECT_EQ(quorv::union_band(ring).lower, 59);
    std::vector<Eigen::Index> order = quorv::banding_order(ring);
    const quorv::band gathered = quorv::union_band(ring, order);
    EXPECT_LE(std::max(gathered.lower, gathered.upper), 4);
    std::sort(order.begin(), order.end());
    for (Eigen::Index i = 0; i < 60; ++i) ASSERT_EQ(order[std::size_t(i)], i);
}

namespace {

// `blocks` copies of A_0 = S (-I + N) S^{-1} with N the nilpotent 3x3 Jordan
// part, and A_1 = I/2 at delay 1: every root of lambda = -1 + e^{-lambda}/2
// is a defective root of multiplicity 3 per block, the real one at
// -0.3149230578454061. One block factors densely, ten in band storage.
quorv::quorv defective_triple(int blocks) {
    Eigen::Matrix3d S, N = Eigen::Matrix3d::Zero();
    S << 3, 1, 0, 0, 3, 1, 1, 0, 3;
    N(0, 1) = N(1, 2) = 1;
    const Eigen::Matrix3d a = S * (N - Eigen::Matrix3d::Identity()) * S.inverse();
    const int n = 3 * blocks;
    Eigen::MatrixXd a0 = Eigen::MatrixXd::Zero(n, n);
    for (int b = 0; b < blocks; ++b) a0.block<3, 3>(3 * b, 3 * b) = a;
    return quorv::quorv({a0, 0.5 * Eigen::MatrixXd::Identity(n, n)}, {0.0, 1.0});
}

}  // namespace

// At distance d from the triple root det Delta is about d^3, below its own
// rounding at d = 1e-6: such an evaluation is refused rather than let a
// phase made of rounding count zeros that are not there.
TEST(LogDeterminant, EvaluationsBelowTheirRoundingAreRefused) {
    const double root = -0.3149230578454061;
    for (const int blocks : {1, 10}) {
        const quorv::quorv sys = defective_triple(blocks);
        quorv::work_budget budget{100000};
        quorv::log_determinant f(sys, budget);
        EXPECT_EQ(f.banded(), blocks > 1);
        quorv::log_det_sample s;
        EXPECT_FALSE(f.evaluate(cplx(root + 1e-6, 1e-6), s));
        EXPECT_TRUE(f.evaluate(cplx(root + 0.1, 0), s));
        EXPECT_NE(quorv::count_in_circle(f, cplx(root + 1.7e-6, 1e-7), 1.3e-7), std::optional<long>(1))
            << "a small circle beside the triple root holds no zero";
        EXPECT_EQ(quorv::count_in_circle(f, cplx(root, 0), 1e-2), std::optional<long>(3 * blocks));
    }
}
