#include <complex>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "roots/support/out_of_memory.h"
#include "roots/roots.h"

namespace {

using Eigen::MatrixXd;

bool near_any(std::complex<double> z, const std::vector<std::complex<double>>& list) {
    for (const auto& w : list)
        if (std::abs(z - w) < 1e-12) return true;
    return false;
}

// Every returned root is an expected one, and each expected one is returned.
void expect_roots(const std::vector<std::complex<double>>& found,
                  const std::vector<std::complex<double>>& expected) {
    for (const auto& lambda : found) EXPECT_TRUE(near_any(lambda, expected)) << "unexpected " << lambda;
    for (const auto& e : expected) EXPECT_TRUE(near_any(e, found)) << "missing " << e;
}

}  // namespace

// The whole road through the pencil and the refinement, on a system of order 2
// similar to diag(-1, -2) + diag(0.5, 0.5) e^{-lambda}: the modes are
// lambda = a + 0.5 e^{-lambda}. Right of -0.5 only the real root of the first,
// W(e/2) - 1, lies; the second mode's real root is W(e^2/2) - 2 < -0.8, and
// every complex root of either lies left of -1.
TEST(Roots, SimilarToTwoScalarModes) {
    MatrixXd S(2, 2);
    S << 1.0, 2.0, -1.0, 0.5;
    const MatrixXd D0 = Eigen::Vector2d(-1.0, -2.0).asDiagonal();
    const MatrixXd D1 = Eigen::Vector2d(0.5, 0.5).asDiagonal();
    const quorv::quorv sys({S * D0 * S.inverse(), S * D1 * S.inverse()}, {0.0, 1.0});
    expect_roots(quorv::roots(sys, -0.5), {-0.314923057845406054});
}

// All delays zero: the eigenvalues of the summed matrices, -1 and -2.
TEST(Roots, UndelayedSystemHasTheEigenvaluesOfTheSum) {
    MatrixXd A0(2, 2), A1(2, 2);
    A0 << 0.0, 1.0, -1.0, -1.0;
    A1 << 0.0, 0.0, -1.0, -2.0;
    expect_roots(quorv::roots(quorv::quorv({A0, A1}, {0.0, 0.0}), -5.0), {-1.0, -2.0});
}

// A check that asks to stop at its k-th poll ends the call, wherever that
// poll falls (the estimate, between stages, the refinement); one that never
// asks leaves the result as it is without a check.
TEST(Roots, StopsAtTheFirstPollThatAsksToStop) {
    const quorv::quorv sys({MatrixXd::Constant(1, 1, -1.0), MatrixXd::Constant(1, 1, 0.5)}, {0.0, 1.0});
    int polls = 0;
    const auto counted = quorv::interrupt_check([&] { return ++polls < 0; });
    const auto unchecked = quorv::roots(sys, -3.0);
    EXPECT_EQ(quorv::roots(sys, -3.0, counted), unchecked);
    const int total = polls;
    ASSERT_GT(total, 20) << "the estimate and the refinement both poll";
    for (const int k : {1, 2, total / 2, total}) {
        polls = 0;
        const auto stop_at_k = quorv::interrupt_check([&] { return ++polls == k; });
        EXPECT_THROW(quorv::roots(sys, -3.0, stop_at_k), quorv::interrupted) << k;
        EXPECT_EQ(polls, k);
    }
}

TEST(Roots, AllocationFailuresNameTheirStage) {
    try {
        quorv::naming_allocation_failure("the pencil", []() -> int { throw std::bad_alloc(); });
        FAIL();
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "not enough memory for the pencil");
    }
    try {
        quorv::naming_allocation_failure("the pencil", []() -> int { throw quorv::out_of_memory("named"); });
        FAIL();
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "named");
    }
}

// x' = 0 written as a zero matrix of order n, undelayed or delayed: det
// Delta = lambda^n, one root 0 of multiplicity n, listed n times at exactly
// 0 whatever the order: Delta(0) is exactly singular, where the contour
// moments' mean carries rounding.
TEST(Roots, AZeroMatrixHasItsRootsAtExactlyZero) {
    for (const double delay : {0.0, 1.0})
        for (const Eigen::Index n : {1, 2, 3, 5}) {
            const quorv::quorv sys({MatrixXd::Zero(n, n)}, {delay});
            const std::vector<std::complex<double>> found = quorv::roots(sys, -1.0);
            EXPECT_EQ(found, std::vector<std::complex<double>>(std::size_t(n), 0.0)) << "n = " << n << ", h = " << delay;
        }
}
