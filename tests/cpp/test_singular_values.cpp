#include <complex>

#include <gtest/gtest.h>

#include "roots/support/singular_values.h"

namespace {

using cplx = std::complex<double>;

void expect_singular_values(Eigen::MatrixXcd a, const Eigen::VectorXd& expected) {
    const Eigen::VectorXd got = quorv::singular_values(a);
    ASSERT_EQ(got.size(), expected.size());
    for (Eigen::Index i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-13 * expected[0]) << i;
}

}  // namespace

// Q D R with Q a reflection I - 2vv^T/v^Tv (v integer), D diagonal with
// complex entries, R a permutation: the singular values are the moduli of
// D's entries, largest first.
TEST(SingularValues, AreTheModuliOfAUnitarilyHiddenDiagonal) {
    const Eigen::Vector3d v(1, 2, 2);
    const Eigen::Matrix3d Q = Eigen::Matrix3d::Identity() - 2 * v * v.transpose() / v.squaredNorm();
    Eigen::Matrix3cd D = Eigen::Matrix3cd::Zero();
    D.diagonal() << cplx(0, -2), cplx(3, 4), cplx(0.25, 0);
    Eigen::Matrix3d R;
    R << 0, 1, 0, 0, 0, 1, 1, 0, 0;
    expect_singular_values(Q.cast<cplx>() * D * R.cast<cplx>(), Eigen::Vector3d(5, 2, 0.25));
    expect_singular_values(Eigen::Matrix3cd::Zero(), Eigen::Vector3d::Zero());
}

// Orthogonal rows of lengths 6 and 2: a wide matrix has as many singular
// values as rows, its transpose the same.
TEST(SingularValues, OfRectangularMatrices) {
    Eigen::MatrixXcd a(2, 4);
    a << 3, 3, 3, 3, cplx(0, 1), cplx(0, -1), cplx(0, 1), cplx(0, -1);
    expect_singular_values(a, Eigen::Vector2d(6, 2));
    expect_singular_values(a.transpose(), Eigen::Vector2d(6, 2));
}

// The same hidden diagonal: the smallest value is 0.25, and its vectors
// satisfy A v = sigma u with unit length.
TEST(SingularValues, SmallestTripletSatisfiesItsDefinition) {
    const Eigen::Vector3d v(1, 2, 2);
    const Eigen::Matrix3d Q = Eigen::Matrix3d::Identity() - 2 * v * v.transpose() / v.squaredNorm();
    Eigen::Matrix3cd D = Eigen::Matrix3cd::Zero();
    D.diagonal() << cplx(0, -2), cplx(3, 4), cplx(0.25, 0);
    const Eigen::MatrixXcd a = Q.cast<cplx>() * D;
    Eigen::MatrixXcd work = a;
    const quorv::singular_triplet t = quorv::smallest_singular_triplet(work);
    EXPECT_NEAR(t.sigma, 0.25, 1e-15);
    EXPECT_NEAR(t.u.norm(), 1, 1e-14);
    EXPECT_NEAR(t.v.norm(), 1, 1e-14);
    EXPECT_LT((a * t.v - t.sigma * t.u).norm(), 1e-14);
}
