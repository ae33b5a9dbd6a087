#include <cmath>
#include <complex>
#include <utility>

#include <gtest/gtest.h>

#include "roots/count/argument_count.h"

namespace {

using cplx = std::complex<double>;

// x' = A x(t) with the eigenvalues -1, 2 +- 3i, plus a term at delay 1 with a
// zero matrix, so the path follows the delayed code without moving the roots.
quorv::quorv undelayed() {
    Eigen::MatrixXd a(3, 3);
    a << -1, 0, 0, 0, 2, 3, 0, -3, 2;
    Eigen::MatrixXd s = Eigen::MatrixXd::Identity(3, 3) + 0.3 * Eigen::MatrixXd::Ones(3, 3);
    return quorv::quorv({s * a * s.inverse(), Eigen::MatrixXd::Zero(3, 3)}, {0.0, 1.0});
}

struct counting {
    quorv::quorv sys = undelayed();
    quorv::work_budget budget{100000};
    quorv::log_determinant f{sys, budget};
};

}  // namespace

TEST(ArgumentCount, CountsTheZerosInsideEachPath) {
    counting c;
    EXPECT_EQ(quorv::count_in_rectangle(c.f, {-2, 3, -4, 4}), 3);
    EXPECT_EQ(quorv::count_in_rectangle(c.f, {0, 3, 0.5, 4}), 1);
    EXPECT_EQ(quorv::count_in_rectangle(c.f, {-0.5, 10, -1, 1}), 0);
    EXPECT_EQ(quorv::count_in_symmetric_rectangle(c.f, {-0.5, 5, -5, 5}), 2);
    EXPECT_EQ(quorv::count_in_symmetric_rectangle(c.f, {-1.5, 5, -5, 5}), 3);
    EXPECT_EQ(quorv::count_in_circle(c.f, cplx(2, -3), 0.5), 1);
}

TEST(ArgumentCount, AZeroOnThePathOrASpentBudgetGivesNoCount) {
    counting c;
    EXPECT_FALSE(quorv::count_in_circle(c.f, cplx(0, 0), 1.0)) << "-1 lies on the circle";
    EXPECT_FALSE(quorv::count_in_rectangle(c.f, {-1, 3, -4, 4})) << "-1 lies on the left side";
    c.budget.evaluations_left = 10;
    EXPECT_FALSE(quorv::count_in_rectangle(c.f, {-2, 3, -4, 4}));
    EXPECT_TRUE(c.budget.exhausted());
}

TEST(ArgumentCount, ScaledDeterminantsDoNotOverflowForLargeOrders) {
    // det(lambda I - 1e6 I) for n = 60 is 1e360 and more on the path.
    const quorv::quorv sys({1e6 * Eigen::MatrixXd::Identity(60, 60)}, {0.0});
    quorv::work_budget budget{100000};
    quorv::log_determinant f(sys, budget);
    EXPECT_EQ(quorv::count_in_symmetric_rectangle(f, {5e5, 1e7, -1e7, 1e7}), 60);
}

namespace {

// Units x' = B x with B = -2 I + a rotation by theta_j = (j + 1/2) pi / units:
// their eigenvalues -2 + e^{+-i theta_j} lie on the unit circle about -2.
quorv::quorv circle_of_units(int units) {
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(2 * units, 2 * units);
    for (int j = 0; j < units; ++j) {
        const double theta = (j + 0.5) * 3.14159265358979 / units;
        a.block(2 * j, 2 * j, 2, 2) << -2 + std::cos(theta), std::sin(theta), -std::sin(theta), -2 + std::cos(theta);
    }
    return quorv::quorv({a}, {0.0});
}

}  // namespace

TEST(ArgumentCount, AFactorDividedOutLeavesTheCountAndShortensAWalkBesideAChain) {
    const quorv::quorv sys = circle_of_units(200);
    // Right of Re = -1.05: the units with cos theta > 0.95, j <= 19.
    const quorv::rectangle rect{-1.05, 1, -2, 2};
    const quorv::known_factor chain{-2.0, 400};
    quorv::work_budget plain_budget{100000}, divided_budget{100000};
    quorv::log_determinant plain(sys, plain_budget), divided(sys, divided_budget);
    EXPECT_EQ(quorv::count_in_symmetric_rectangle(plain, rect), 40);
    EXPECT_EQ(quorv::count_in_symmetric_rectangle(divided, rect, nullptr, chain), 40);
    EXPECT_LT(2 * (100000 - divided_budget.evaluations_left), 100000 - plain_budget.evaluations_left);
    // A pole inside the rectangle would add its order: it is not divided out.
    // Right of -2.5: cos theta > -1/2, j <= 132.
    EXPECT_EQ(quorv::count_in_symmetric_rectangle(divided, {-2.5, 1, -2, 2}, nullptr, chain), 266);
}

// The probe follows the left side, which passes 1e-6 from the zero -1,
// whether or not an entire term is divided out along it (and along the top
// side's left end, or all of a short top side); the term, whose phase is
// added back exactly, leaves the count as it was.
TEST(ArgumentCount, TheLeftSideIsWatchedWithOrWithoutItsTerm) {
    quorv::known_factor term;
    term.left_side = [](cplx z) { return std::pair<cplx, cplx>{0.3 * z * z + cplx(0, 2) * z, 0.6 * z + cplx(0, 2)}; };
    for (const auto& [right, zeros] : {std::pair{3.0, 3L}, std::pair{0.5, 1L}})
        for (const quorv::known_factor& factor : {quorv::known_factor{}, term}) {
            counting c;
            quorv::path_probe probe;
            probe.near = 1e-3;
            EXPECT_EQ(quorv::count_in_symmetric_rectangle(c.f, {-1 - 1e-6, right, -4, 4}, &probe, factor), zeros);
            ASSERT_FALSE(probe.passes.empty());
            EXPECT_LT(std::abs(probe.passes.front().at + 1.0), 1e-3);
        }
}
