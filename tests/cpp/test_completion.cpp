#include <cmath>
#include <complex>
#include <vector>

#include <gtest/gtest.h>

#include "roots/complete/completion.h"
#include "roots/count/root_count.h"

namespace {

using cplx = std::complex<double>;

quorv::quorv scalar(double a, double b, double tau) {
    return quorv::quorv({Eigen::MatrixXd::Constant(1, 1, a), Eigen::MatrixXd::Constant(1, 1, b)}, {0.0, tau});
}

long total(const std::vector<quorv::root_cluster>& clusters) {
    long sum = 0;
    for (const quorv::root_cluster& c : clusters) sum += c.multiplicity;
    return sum;
}

}  // namespace

TEST(Completion, LocatesEveryRootWhenNoneIsKnown) {
    const quorv::quorv sys = scalar(0.0, -1.0, 1.0);
    quorv::work_budget budget{200000};
    const quorv::region_count region = quorv::count_region(sys, -4.0, budget);
    ASSERT_EQ(region.state, quorv::region_count::outcome::counted);
    quorv::log_determinant f(sys, budget);
    std::vector<quorv::root_cluster> known;
    const quorv::completion_outcome out = quorv::complete_roots(f, region.region, region.count, region.left, known);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(total(out.added), region.count);
    for (const quorv::root_cluster& c : out.added) {
        EXPECT_LT(std::abs(c.z + std::exp(-c.z)), 1e-9 * std::abs(c.z)) << c.z;
        EXPECT_GE(c.z.real(), region.left);
    }
}

TEST(Completion, AnEmptyBudgetEndsIncomplete) {
    const quorv::quorv sys = scalar(0.0, -1.0, 1.0);
    quorv::work_budget budget{200000};
    const quorv::region_count region = quorv::count_region(sys, -4.0, budget);
    budget.evaluations_left = 50;
    quorv::log_determinant f(sys, budget);
    std::vector<quorv::root_cluster> known;
    EXPECT_FALSE(quorv::complete_roots(f, region.region, region.count, region.left, known).complete);
}
