#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "roots/estimate/degree_curves.h"

namespace {

using quorv::cubic_spline;

constexpr double pi = std::numbers::pi;
constexpr double step = pi / 64;

cubic_spline slope_curve() { return cubic_spline(0.0, step, quorv::degree_slope); }
cubic_spline offset_curve() { return cubic_spline(0.0, step, quorv::degree_offset); }

// Value, slope and half the curvature of piece i at its local coordinate t.
struct piece_state {
    double value, slope, half_curvature;
};

piece_state evaluate_piece(const cubic_spline& s, std::size_t i, double t) {
    return {s.a[i] + s.b[i] * t + s.c[i] * t * t + s.d[i] * t * t * t,
            s.b[i] + 2 * s.c[i] * t + 3 * s.d[i] * t * t, s.c[i] + 3 * s.d[i] * t};
}

}  // namespace

TEST(DegreeCurves, SplinesPassThroughEveryTabulatedSample) {
    const cubic_spline F = slope_curve(), G = offset_curve();
    for (std::size_t i = 0; i < 33; ++i) {
        const double theta = static_cast<double>(i) * step;
        EXPECT_NEAR(F(theta), quorv::degree_slope[i], 1e-12) << "slope curve at knot " << i;
        EXPECT_NEAR(G(theta), quorv::degree_offset[i], 1e-12) << "offset curve at knot " << i;
    }
    EXPECT_DOUBLE_EQ(F(0.0), 0.9124);
    EXPECT_DOUBLE_EQ(G(pi / 4), -0.3491);
    EXPECT_NEAR(F(pi / 2), 1.8183, 1e-12) << "pi/2 is reached through the clamped last piece";
    EXPECT_NEAR(G(pi / 2), -3.0292, 1e-12) << "pi/2 is reached through the clamped last piece";
}

TEST(DegreeCurves, ValuesBetweenKnots) {
    const cubic_spline F = slope_curve(), G = offset_curve();
    EXPECT_NEAR(F(0.1), 0.913687, 5e-7);
    EXPECT_NEAR(G(0.1), -0.205535, 5e-7);
    EXPECT_NEAR(F(1.0), 1.143284, 5e-7);
    EXPECT_NEAR(G(1.0), -0.465514, 5e-7);
    EXPECT_NEAR(F(1.5), 1.744872, 5e-7);
    EXPECT_NEAR(G(1.5), -2.391982, 5e-7);
}

TEST(DegreeCurves, LastPieceIsExtrapolatedBeyondHalfPi) {
    const cubic_spline F = slope_curve(), G = offset_curve();
    EXPECT_NEAR(F(2.0), 15.5647, 5e-5) << "the curve must follow the last cubic, not stay at F(pi/2)";
    EXPECT_NEAR(G(2.0), -97.3582, 5e-5);
    EXPECT_NEAR(F(pi), 671.225, 5e-4);
    EXPECT_NEAR(G(pi), -4557.40, 5e-3);
}

TEST(CubicSpline, IsANaturalSplineWithContinuousDerivatives) {
    const cubic_spline G = offset_curve();
    ASSERT_EQ(G.a.size(), 32u);
    ASSERT_EQ(G.d.size(), 32u);
    EXPECT_EQ(G.c[0], 0.0) << "no curvature at the left end";
    for (std::size_t i = 0; i + 1 < 32; ++i) {
        const piece_state left = evaluate_piece(G, i, step), right = evaluate_piece(G, i + 1, 0.0);
        EXPECT_NEAR(left.value, right.value, 1e-12) << "value jumps at knot " << i + 1;
        EXPECT_NEAR(left.slope, right.slope, 1e-9) << "slope jumps at knot " << i + 1;
        EXPECT_NEAR(left.half_curvature, right.half_curvature, 1e-8) << "curvature jumps at knot " << i + 1;
    }
    EXPECT_NEAR(evaluate_piece(G, 31, step).value, quorv::degree_offset[32], 1e-12);
    EXPECT_NEAR(evaluate_piece(G, 31, step).half_curvature, 0.0, 1e-8) << "no curvature at the right end";
}

TEST(CubicSpline, ReproducesAStraightLine) {
    const std::vector<double> line = {1.0, 0.5, 0.0, -0.5, -1.0, -1.5};  // y = 3 - 2.5x on knots 0.8 + 0.2i
    const cubic_spline s(0.8, 0.2, line);
    for (std::size_t i = 0; i < s.c.size(); ++i) {
        EXPECT_NEAR(s.c[i], 0.0, 1e-12) << "piece " << i;
        EXPECT_NEAR(s.d[i], 0.0, 1e-12) << "piece " << i;
    }
    for (const double x : {0.8, 0.93, 1.1, 1.55, 1.8, 2.3})
        EXPECT_NEAR(s(x), 3 - 2.5 * x, 1e-12) << "at x = " << x;
}

TEST(SolveTridiagonal, SolvesAGeneralBandSystem) {
    // [2 1 0 0; 1 3 1 0; 0 2 4 1; 0 0 1 2] x = A*(1, -2, 3, 0.5)
    const std::vector<double> sub = {1, 2, 1}, super = {1, 1, 1};
    std::vector<double> diag = {2, 3, 4, 2};
    std::vector<double> rhs = {0, -2, 8.5, 4};
    quorv::solve_tridiagonal(sub, diag, super, rhs);
    const std::vector<double> expected = {1, -2, 3, 0.5};
    for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(rhs[j], expected[j], 1e-12) << "component " << j;

    std::vector<double> single_diag = {4}, single_rhs = {-6};
    quorv::solve_tridiagonal({}, single_diag, {}, single_rhs);
    EXPECT_DOUBLE_EQ(single_rhs[0], -1.5);
}

// Left of x0 the grid position is negative; the first cubic continues the
// curve there, so a straight line goes on as that line.
TEST(CubicSpline, FirstPieceIsExtrapolatedLeftOfTheFirstKnot) {
    const std::vector<double> line = {1.0, 0.5, 0.0, -0.5};  // y = 3 - 2.5x on knots 0.8 + 0.2i
    const cubic_spline s(0.8, 0.2, line);
    for (const double x : {0.79, 0.3, -7.0}) EXPECT_NEAR(s(x), 3 - 2.5 * x, 1e-10) << "at x = " << x;
    const cubic_spline G = offset_curve();
    EXPECT_NEAR(G(-0.01), evaluate_piece(G, 0, -0.01).value, 1e-15);
}
