#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "roots/root_bound.h"

TEST(RootBound, SumsTheDampedFrobeniusNorms) {
    const quorv::quorv sys({Eigen::MatrixXd::Identity(2, 2), 3 * Eigen::MatrixXd::Ones(2, 2)}, {0.0, 2.0});
    EXPECT_DOUBLE_EQ(quorv::root_bound(sys, -0.5), std::sqrt(2.0) + std::exp(1.0) * 6.0);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(quorv::root_bound(sys, -1e300), inf);
    EXPECT_EQ(quorv::root_bound(sys, -inf), inf);
    EXPECT_DOUBLE_EQ(quorv::root_bound(sys, inf), std::sqrt(2.0)) << "the undelayed term keeps its norm";
}
