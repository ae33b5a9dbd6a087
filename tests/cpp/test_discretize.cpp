#include <algorithm>
#include <complex>
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include "roots/pencil/discretize.h"

namespace {

using Eigen::MatrixXd;

MatrixXd scalar_matrix(double a) { return MatrixXd::Constant(1, 1, a); }

}  // namespace

// Delays 0 and h_max sit at x = 1 and x = -1, where T_j is 1 and (-1)^j.
TEST(Discretize, ScalarPencilOfDegreeTwo) {
    const double a0 = 0.3, a1 = -1.7;
    const auto [M1, M2] = quorv::discretize(quorv::quorv({scalar_matrix(a0), scalar_matrix(a1)}, {0.0, 1.0}), 2);
    MatrixXd M1_expected(3, 3), M2_expected(3, 3);
    M1_expected << a0 + a1, a0 - a1, a0 + a1, 0, 1, 0, 0, 0, 1;
    M2_expected << 1, 1, 1, 0.5, 0, -0.25, 0, 0.125, 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_DOUBLE_EQ(M1(i, j), M1_expected(i, j)) << "M1(" << i << ", " << j << ")";
            EXPECT_DOUBLE_EQ(M2(i, j), M2_expected(i, j)) << "M2(" << i << ", " << j << ")";
        }
}

// N = 1: M1 = [[R0, R1], [0, I]], M2 = s [[4/h_max I, 4/h_max I], [2 I, 0]],
// with R1 = x_0 A_0 + x_1 A_1 since T_1(x) = x.
TEST(Discretize, DegreeOneBlocksForTwoStates) {
    const MatrixXd A0 = MatrixXd::Random(2, 2), A1 = MatrixXd::Random(2, 2);
    const auto [M1, M2] = quorv::discretize(quorv::quorv({A0, A1}, {0.5, 2.0}), 1);
    const MatrixXd I = MatrixXd::Identity(2, 2), O = MatrixXd::Zero(2, 2);
    MatrixXd M1_expected(4, 4), M2_expected(4, 4);
    M1_expected << A0 + A1, 0.5 * A0 - A1, O, I;
    M2_expected << I, I, I, O;  // h_max = 2, s = 0.5
    EXPECT_TRUE(M1.isApprox(M1_expected, 1e-14)) << M1;
    EXPECT_TRUE(M2.isApprox(M2_expected, 1e-14)) << M2;
}

TEST(Discretize, EigenvaluesApproximateTheRealRootOfAScalarSystem) {
    // lambda = -1 + 0.5 e^{-lambda}: the root is W(e/2) - 1.
    const double root = -0.314923057845406054;
    const auto [M1, M2] = quorv::discretize(quorv::quorv({scalar_matrix(-1.0), scalar_matrix(0.5)}, {0.0, 1.0}), 20);
    Eigen::GeneralizedEigenSolver<MatrixXd> ges(M1, M2);
    double nearest = 1.0;
    for (Eigen::Index i = 0; i < ges.alphas().size(); ++i)
        nearest = std::min(nearest, std::abs(ges.alphas()[i] / ges.betas()[i] - root));
    EXPECT_LT(nearest, 1e-10) << "no pencil eigenvalue near the characteristic root";
}

TEST(Discretize, DelaysBeyondTheMatricesOnlyWidenTheInterval) {
    // h_max = 4 comes from the unpaired delay: h_0 = 1 maps to x = 0.5, s = 1.
    const auto [M1, M2] = quorv::discretize(quorv::quorv({scalar_matrix(3.0)}, {1.0, 4.0}), 2);
    EXPECT_DOUBLE_EQ(M1(0, 0), 3.0);
    EXPECT_DOUBLE_EQ(M1(0, 1), 1.5);
    EXPECT_DOUBLE_EQ(M1(0, 2), -1.5) << "T_2(0.5) = -0.5";
    EXPECT_DOUBLE_EQ(M2(1, 0), 2.0);
    EXPECT_DOUBLE_EQ(M2(2, 1), 0.5);
}

// D = 100000, so D*D exceeds 2^31 - 1. The matrix has no columns: the order
// must be refused before the model's matrices are read or anything allocated.
TEST(Discretize, OrderWhoseSquareOverflowsIsRefused) {
    const quorv::quorv sys({MatrixXd(50000, 0)}, {1.0});
    EXPECT_THROW(quorv::discretize(sys, 1), std::bad_alloc);
}

TEST(Discretize, DegreeBelowOneIsRefused) {
    const quorv::quorv sys({scalar_matrix(-1.0)}, {1.0});
    for (int N : {0, -1, -100}) EXPECT_THROW(quorv::discretize(sys, N), std::invalid_argument) << "N = " << N;
}
