#include <complex>
#include <vector>

#include <gtest/gtest.h>

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
