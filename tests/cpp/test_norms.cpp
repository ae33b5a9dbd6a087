#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "roots/support/damped_norm.h"
#include "roots/support/spectral_norm.h"

// Q D R with Q the reflection I - 2vv^T/v^Tv (v integer) and R a
// permutation: the norm is the largest |D_ii|, at any scale of the entries,
// even where squaring them would overflow or vanish.
TEST(SpectralNorm, IsTheLargestModulusOfAnOrthogonallyHiddenDiagonal) {
    const Eigen::Vector3d v(1, 2, 2);
    const Eigen::Matrix3d Q = Eigen::Matrix3d::Identity() - 2 * v * v.transpose() / v.squaredNorm();
    Eigen::Matrix3d R;
    R << 0, 1, 0, 0, 0, 1, 1, 0, 0;
    const Eigen::Matrix3d a = Q * Eigen::Vector3d(-5, 3, 0.25).asDiagonal() * R;
    for (const double scale : {1.0, 1e300, 1e-300})
        EXPECT_NEAR(quorv::spectral_norm(scale * a), 5 * scale, 1e-14 * 5 * scale) << scale;
    EXPECT_EQ(quorv::spectral_norm(Eigen::MatrixXd::Zero(3, 3)), 0);
    EXPECT_EQ(quorv::spectral_norm(Eigen::MatrixXd(0, 0)), 0);
}

// e^{-r h} |A|, through the logarithm where the factor alone over- or
// underflows: e^{800} 1e-300 = e^{800 - 300 ln 10}.
TEST(DampedNorm, IsTheNormTimesTheDelayFactorWhereverItIsADouble) {
    EXPECT_DOUBLE_EQ(quorv::damped(2.0, 1.0, 0.5), 2 * std::exp(-0.5));
    EXPECT_EQ(quorv::damped(3.0, -1e308, 0.0), 3.0);
    EXPECT_EQ(quorv::damped(0.0, -1e308, 1.0), 0.0);
    const double expected = std::exp(800 - 300 * std::log(10.0));
    EXPECT_NEAR(quorv::damped(1e-300, -800, 1.0), expected, 1e-12 * expected);
    EXPECT_EQ(quorv::damped(1.0, -800, 1.0), std::numeric_limits<double>::infinity());
}
