#include <cmath>
#include <complex>
#include <tuple>
#include <vector>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "roots/analysis/delay_margin.h"
#include "roots/count/root_count.h"
#include "roots/crossing/crossing_matrix.h"
#include "roots/crossing/crossing_search.h"
#include "roots/support/balance.h"

namespace {

using Eigen::MatrixXd;

// x' = a x + b x(t - tau0), the delayed term growing.
quorv::quorv scalar_system(double a, double b, double tau0) {
    return quorv::quorv({MatrixXd::Constant(1, 1, a), MatrixXd::Constant(1, 1, b)}, {0.0, tau0});
}

// x'' = -kp x(t - tau) - kd x'(t - tau) as a first-order system.
quorv::quorv pd_loop(double kp, double kd) {
    MatrixXd A0(2, 2), A1(2, 2);
    A0 << 0, 1, 0, 0;
    A1 << 0, 0, -kp, -kd;
    return quorv::quorv({A0, A1}, {0.0, 0.0});
}

double margin(const quorv::quorv& sys, std::vector<long long> terms) {
    const quorv::margin_result result = quorv::delay_margin(sys, terms);
    EXPECT_TRUE(result.certified);
    return result.margin;
}

}  // namespace

// b < -|a|: the pair crosses at w = sqrt(b^2 - a^2) when w (tau0 + d) = arccos(-a/b).
TEST(DelayMargin, ScalarClosedForm) {
    for (const auto& [a, b, tau0] :
         {std::tuple{0.0, -1.0, 0.0}, {-1.0, -2.0, 0.3}, {0.5, -3.0, 0.1}, {-0.2, -50.0, 0.0}}) {
        const double w = std::sqrt(b * b - a * a);
        EXPECT_NEAR(margin(scalar_system(a, b, tau0), {1}), std::acos(-a / b) / w - tau0, 1e-9 * std::acos(-a / b) / w)
            << a << " " << b << " " << tau0;
    }
}

TEST(DelayMargin, DelayIndependentStabilityIsInfinite) {
    EXPECT_EQ(margin(scalar_system(-2.0, 1.5, 0.5), {1}), std::numeric_limits<double>::infinity());
    EXPECT_EQ(margin(scalar_system(-2.0, -1.0, 0.0), {1}), std::numeric_limits<double>::infinity());
}

TEST(DelayMargin, PdLoop) {
    const double kp = 1, kd = 1.5;
    const double w = std::sqrt(0.5 * (kd * kd + std::sqrt(kd * kd * kd * kd + 4 * kp * kp)));
    EXPECT_NEAR(margin(pd_loop(kp, kd), {1}), std::atan2(kd * w, kp) / w, 1e-9);
}

TEST(DelayMargin, ClassicTwoByTwo) {
    MatrixXd A0(2, 2), A1(2, 2);
    A0 << -2, 0, 0, -0.9;
    A1 << -1, 0, -1, -1;
    EXPECT_NEAR(margin(quorv::quorv({A0, A1}, {0.0, 0.0}), {1}), 6.17258, 1e-5);
}

// x'' + 2 zeta x' + x = -c x(t - tau): the pair crossing at the higher
// frequency w+ destabilises at tau = 0.342, the one at w- restabilises at
// 3.385, so the loop is stable at 0 and at 4 but not in between: bisection
// on the verdict between those two stable points would miss the loss.
TEST(DelayMargin, StabilitySwitch) {
    const double zeta = 0.05, c = 0.3;
    MatrixXd A0(2, 2), A1(2, 2);
    A0 << 0, 1, -1, -2 * zeta;
    A1 << 0, 0, -c, 0;
    const quorv::quorv loop({A0, A1}, {0.0, 0.0});
    // (1 - w^2)^2 + 4 zeta^2 w^2 = c^2, and e^{-jw tau} = (w^2 - 1 - 2j zeta w) / c on the axis.
    const double half = 1 - 2 * zeta * zeta, w = std::sqrt(half + std::sqrt(half * half - 1 + c * c));
    const double tau = -std::arg(std::complex<double>(w * w - 1, -2 * zeta * w)) / w;
    EXPECT_NEAR(margin(loop, {1}), tau, 1e-9 * tau);
    EXPECT_TRUE(quorv::is_stable(quorv::quorv({A0, A1}, {0.0, 4.0})));
    EXPECT_FALSE(quorv::is_stable(quorv::quorv({A0, A1}, {0.0, 2.0})));
}

TEST(DelayMargin, UnstableAsGivenIsZero) { EXPECT_EQ(margin(scalar_system(0.5, -0.2, 1.0), {1}), 0.0); }

TEST(DelayMargin, BadTerms) {
    const quorv::quorv sys = scalar_system(0.0, -1.0, 0.0);
    EXPECT_THROW(quorv::delay_margin(sys, {}), std::invalid_argument);
    EXPECT_THROW(quorv::delay_margin(sys, {2}), std::invalid_argument);
    EXPECT_THROW(quorv::delay_margin(sys, {-1}), std::invalid_argument);
    EXPECT_THROW(quorv::delay_margin(sys, {1, 1}), std::invalid_argument);
}

// States in units 2^40 apart, S A_k S^-1 with S = diag(1, 2^40): the search
// on the balanced system finds the crossing of the PD loop as before.
TEST(DelayMargin, CrossingsOfABadlyScaledSystem) {
    const quorv::quorv loop = pd_loop(1.0, 1.5);
    const Eigen::Vector2d s(1.0, std::ldexp(1.0, 40));
    quorv::quorv scaled = loop;
    for (MatrixXd& a : scaled.A) a = s.asDiagonal() * a * s.cwiseInverse().asDiagonal();
    for (const quorv::quorv& sys : {loop, quorv::balanced(scaled).sys}) {
        quorv::work_budget budget{100000};
        quorv::crossing_matrix Delta(sys, {1});
        quorv::crossing_search search(Delta, budget);
        const auto first = search.next();
        ASSERT_EQ(first.state, quorv::crossing_search::outcome::crossing);
        EXPECT_NEAR(first.at.delta, margin(loop, {1}), 1e-12);
    }
}

// The search and the counts poll the caller's check; a stop at any poll ends
// the call.
TEST(DelayMargin, StopsAtThePollThatAsksToStop) {
    const quorv::quorv loop = pd_loop(1.0, 1.5);
    int polls = 0;
    EXPECT_EQ(quorv::delay_margin(loop, {1}, quorv::interrupt_check([&] { return ++polls < 0; })).margin,
              margin(loop, {1}));
    ASSERT_GT(polls, 20);
    for (const int k : {1, polls / 2, polls}) {
        const auto stop_at_k = quorv::interrupt_check([n = 0, k]() mutable { return ++n == k; });
        EXPECT_THROW(quorv::delay_margin(loop, {1}, stop_at_k), quorv::interrupted) << k;
    }
}
