#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "roots/count/root_count.h"
#include "roots/analysis/spectral_abscissa.h"
#include "roots/analysis/spectrum.h"

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

// The same scalar equation in a unit a million times longer: x' = -1e-6 x(t - 1e6)
// has its rightmost pair at 1e-6 W_0(-1).
TEST(SpectralAbscissa, SlowTimeScale) {
    const quorv::quorv slow({Eigen::MatrixXd::Constant(1, 1, -1e-6)}, {1e6});
    EXPECT_NEAR(quorv::spectral_abscissa(slow) / 1e-6, -0.3181315052, 1e-9);
}

// A check that asks to stop at its k-th poll ends spectrum and
// spectral_abscissa wherever that poll falls; the copies of the check that
// the work budgets hold are one check.
TEST(SpectralAbscissa, StopsAtThePollThatAsksToStop) {
    const quorv::quorv sys({Eigen::MatrixXd::Constant(1, 1, -1.0), Eigen::MatrixXd::Constant(1, 1, 0.5)},
                           {0.0, 1.0});
    int polls = 0;
    const auto counted = quorv::interrupt_check([&] { return ++polls < 0; });
    EXPECT_EQ(quorv::spectral_abscissa(sys, counted), quorv::spectral_abscissa(sys));
    const int abscissa_polls = polls;
    polls = 0;
    EXPECT_EQ(quorv::spectrum(sys, -3.0, counted).roots, quorv::spectrum(sys, -3.0).roots);
    const int spectrum_polls = polls;
    ASSERT_GT(abscissa_polls, 20);
    ASSERT_GT(spectrum_polls, 20);
    // The counter lives in the check itself: only when every copy shares it
    // does the last poll of the call reach abscissa_polls.
    for (const int k : {1, abscissa_polls / 2, abscissa_polls}) {
        const auto stop_at_k = quorv::interrupt_check([n = 0, k]() mutable { return ++n == k; });
        EXPECT_THROW(quorv::spectral_abscissa(sys, stop_at_k), quorv::interrupted) << k;
    }
    const auto stop_midway = quorv::interrupt_check([n = 0, k = spectrum_polls / 2]() mutable { return ++n == k; });
    EXPECT_THROW(quorv::spectrum(sys, -3.0, stop_midway), quorv::interrupted);
}
