#include <gtest/gtest.h>

#include "roots/analysis/spectrum.h"

namespace {

quorv::quorv scalar(double a, double b) {
    return quorv::quorv({Eigen::MatrixXd::Constant(1, 1, a), Eigen::MatrixXd::Constant(1, 1, b)}, {0.0, 1.0});
}

}  // namespace

// lambda = 1 - e^{-lambda} has the double root 0 and, right of -3, the pairs
// 1 + W_{+-1}(-1/e) = -2.0888430 +- 7.4614892 i and 1 + W_{+-2}(-1/e).
TEST(Spectrum, DoubleRootFirstThenTheExactConjugatePair) {
    const quorv::spectrum_result s = quorv::spectrum(scalar(1.0, -1.0), -3.0);
    ASSERT_EQ(s.roots.size(), 5);
    EXPECT_NEAR(std::abs(s.roots[0]), 0.0, 1e-7);
    EXPECT_EQ(s.multiplicities[0], 2);
    EXPECT_NEAR(s.roots[1].real(), -2.0888430, 1e-6);
    EXPECT_NEAR(s.roots[1].imag(), -7.4614892, 1e-6);
    EXPECT_EQ(s.roots[2], std::conj(s.roots[1]));
    EXPECT_EQ(s.count, 6);
    EXPECT_TRUE(s.complete);
    EXPECT_NE(quorv::describe(s).find("count 6, complete"), std::string::npos);
}

TEST(Spectrum, UndelayedSystemUsesNoPencil) {
    const quorv::spectrum_result s = quorv::spectrum(quorv::quorv({Eigen::MatrixXd::Constant(1, 1, -3.0)}, {0.0}), -5.0);
    ASSERT_EQ(s.roots.size(), 1);
    EXPECT_EQ(s.roots[0], -3.0);
    EXPECT_EQ(s.degree, 0);
}
