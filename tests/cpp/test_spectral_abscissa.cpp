#include <stdexcept>

#include <gtest/gtest.h>

#include "roots/root_count.h"
#include "roots/spectral_abscissa.h"

namespace {

quorv::quorv delayed(double b) { return quorv::quorv({Eigen::MatrixXd::Constant(1, 1, b)}, {1.0}); }

}  // namespace

// x' = -x(t - 1): the rightmost pair is W_0(-1) = -0.3181315052 +- 1.3372357014 i.
TEST(SpectralAbscissa, RightmostPairOfTheDelayedEquation) {
    EXPECT_NEAR(quorv::spectral_abscissa(delayed(-1.0)), -0.3181315052, 1e-9);
    EXPECT_TRUE(quorv::is_stable(delayed(-1.0)));
    // -2 > -pi/2: the pair has crossed the axis.
    EXPECT_FALSE(quorv::is_stable(delayed(-2.0)));
}

TEST(SpectralAbscissa, OrderZeroHasNone) {
    EXPECT_THROW(quorv::spectral_abscissa(quorv::quorv({Eigen::MatrixXd(0, 0)}, {1.0})), std::invalid_argument);
}
