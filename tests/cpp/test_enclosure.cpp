#include <cmath>
#include <complex>

#include <gtest/gtest.h>

#include "roots/count/enclosure.h"
#include "roots/count/line_side.h"

namespace {

using cplx = std::complex<double>;

// x' = a x + b x(t - 1) with b e^{-a} = -(1 - eps)/e: two real roots near
// a - 1, about 2 sqrt(2 eps) apart (the branches 0 and -1 of Lambert's W).
struct near_double {
    quorv::quorv sys;
    cplx left, right;
};

near_double system_with(double a, double eps) {
    const double b = -std::exp(-1.0) * (1 - eps) * std::exp(a);
    const auto root = [&](double start) {
        cplx z = start;  // Newton on lambda - a - b e^{-lambda}, started on the side of one root
        for (int i = 0; i < 200; ++i) z -= (z - a - b * std::exp(-z)) / (1.0 + b * std::exp(-z));
        return z;
    };
    const double half = std::sqrt(2 * eps);
    return {quorv::quorv({Eigen::MatrixXd::Constant(1, 1, a), Eigen::MatrixXd::Constant(1, 1, b)}, {0.0, 1.0}),
            root(a - 1 - 2 * half), root(a - 1 + 2 * half)};
}

}  // namespace

TEST(Enclosure, MomentsSeparateTwoNearbyZeros) {
    const near_double d = system_with(0.3, 1e-8);
    quorv::work_budget budget{10000};
    quorv::log_determinant f(d.sys, budget);
    const quorv::circle_zeros found = quorv::zeros_in_circle(f, 0.5 * (d.left + d.right), 1e-2, 2);
    ASSERT_EQ(found.zeros.size(), 2u);
    const cplx lo = found.zeros[0].real() < found.zeros[1].real() ? found.zeros[0] : found.zeros[1];
    const cplx hi = found.zeros[0].real() < found.zeros[1].real() ? found.zeros[1] : found.zeros[0];
    EXPECT_LT(std::abs(lo - d.left), 1e-9);
    EXPECT_LT(std::abs(hi - d.right), 1e-9);
}

TEST(Enclosure, NearDoubleRootsGetTightDisjointDisks) {
    const near_double d = system_with(-1.0, 1e-10);
    quorv::work_budget budget{10000};
    quorv::log_determinant f(d.sys, budget);
    // Start from their mean, as from a Newton iterate that stalled between them.
    const auto disks = quorv::encloser(f).around(0.5 * (d.left + d.right), 0, 0.1);
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_FALSE(disks[0].meets(disks[1]));
    for (const quorv::root_cluster& c : disks) {
        EXPECT_EQ(c.multiplicity, 1);
        const double error = std::min(std::abs(c.z - d.left), std::abs(c.z - d.right));
        EXPECT_LE(error, c.radius);
        EXPECT_LE(c.radius, 1e-8 * std::abs(c.z));
    }
}

TEST(Enclosure, PartsOfADiskEitherSideOfALineHoldTheZerosOnThatSide) {
    const near_double d = system_with(-1.0, 1e-8);
    quorv::work_budget budget{10000};
    quorv::log_determinant f(d.sys, budget);
    const double gap = d.right.real() - d.left.real();
    const quorv::root_cluster both{0.5 * (d.left + d.right), 2, 2 * gap};
    for (const double at : {d.left.real() - 0.25 * gap, both.z.real(), d.right.real() + 0.25 * gap}) {
        const long left_of_line = (d.left.real() < at) + (d.right.real() < at);
        for (const double side : {-1.0, 1.0}) {
            const auto part = quorv::side_part(f, both, at, side);
            ASSERT_TRUE(part);
            EXPECT_EQ(part->multiplicity, side < 0 ? left_of_line : 2 - left_of_line);
            EXPECT_GT(side * (part->z.real() - at), part->radius);  // clear of the line
            EXPECT_LE(std::abs(part->z - both.z) + part->radius, both.radius * (1 + 1e-12));
        }
    }
}

// x1' = a x1 + c x2 beside x2' = d x1 - x2. The slow root s (c = 0, d = 1)
// is known relative to its own row's terms, 2 s, times the condition of its
// eigenvector, sqrt 2, not to the stiff mode; a root at exactly 0 (a = d =
// 0) relative to the terms of the row that holds it, the coupling c, times
// sqrt 2; a root of a system of unit scale keeps max(1, |z|), and a state
// no matrix drives has the least scale.
TEST(Enclosure, AZeroIsScaledByTheRowsThatHoldIt) {
    const auto system = [](double a, double c, double d) {
        Eigen::MatrixXd m(2, 2);
        m << a, c, d, -1;
        return quorv::quorv({m}, {0.0});
    };
    const double s = 0x1p-200, c = 0x1p-300;
    EXPECT_NEAR(quorv::zero_scale(system(s, 0, 1), s), 2 * std::sqrt(2.0) * s, 1e-12 * s);
    EXPECT_NEAR(quorv::zero_scale(system(0, c, 0), 0.0), std::sqrt(2.0) * c, 1e-12 * c);
    EXPECT_EQ(quorv::zero_scale(system(0.5, 0, 1), 0.5), 1.0);
    EXPECT_EQ(quorv::zero_scale(system(0, 0, 1), 0.0), quorv::smallest_scale);
}
