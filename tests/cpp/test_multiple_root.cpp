#include <cmath>
#include <complex>

#include <gtest/gtest.h>

#include "roots/complete/multiple_root.h"
#include "roots/count/enclosure.h"

namespace {

using cplx = std::complex<double>;

// A_k = S (a_k I + N_k) S^-1 with a Jordan part N_0: det Delta =
// (lambda - a - b e^{-lambda tau})^3, so every root is a defective triple one.
quorv::quorv triple(double a, double b, double tau) {
    Eigen::MatrixXd jordan = a * Eigen::MatrixXd::Identity(3, 3);
    jordan(0, 1) = jordan(1, 2) = 1;
    Eigen::MatrixXd s = Eigen::MatrixXd::Identity(3, 3) + 0.4 * Eigen::MatrixXd::Ones(3, 3);
    return quorv::quorv({s * jordan * s.inverse(), b * Eigen::MatrixXd::Identity(3, 3)}, {0.0, tau});
}

// The scalar root of lambda = a + b e^{-lambda tau} near z, by Newton's method,
// which converges fast on the simple scalar root.
cplx scalar_root(double a, double b, double tau, cplx z) {
    for (int i = 0; i < 50; ++i) z -= (z - a - b * std::exp(-z * tau)) / (1.0 + b * tau * std::exp(-z * tau));
    return z;
}

}  // namespace

TEST(MultipleRoot, MeanOfATripleRootIsAccurate) {
    const quorv::quorv sys = triple(-1.0, 0.5, 1.0);
    quorv::work_budget budget{100000};
    quorv::log_determinant f(sys, budget);
    const cplx truth = scalar_root(-1.0, 0.5, 1.0, cplx(-2.0, 5.0));
    const cplx guess = truth + cplx(3e-5, -2e-5);
    EXPECT_LT(std::abs(quorv::zeros_mean(f, guess, 1e-3, 3) - truth), 1e-10 * std::abs(truth));
}

TEST(MultipleRoot, GroupsEqualEntriesAndMergesAMultipleRoot) {
    const quorv::quorv sys = triple(-1.0, 0.5, 1.0);
    quorv::work_budget budget{100000};
    quorv::log_determinant f(sys, budget);
    const cplx truth = scalar_root(-1.0, 0.5, 1.0, cplx(-2.0, 5.0));
    const cplx other = scalar_root(-1.0, 0.5, 1.0, cplx(-3.0, 12.0));
    // Newton's iterates 2e-5 from the triple root, the other root twice to rounding.
    const std::vector<cplx> found{truth * (1.0 + 2e-5), other, truth * cplx(1, 2e-5), other * (1.0 + 1e-15)};
    const quorv::clustered_roots c = quorv::cluster_roots(f, found);
    ASSERT_EQ(c.clusters.size(), 2u);
    EXPECT_EQ(c.owner[0], c.owner[2]);
    EXPECT_EQ(c.owner[1], c.owner[3]);
    const quorv::root_cluster& multiple = c.clusters[c.owner[0]];
    EXPECT_EQ(multiple.multiplicity, 3);
    EXPECT_LT(std::abs(multiple.z - truth), 1e-10 * std::abs(truth));
    EXPECT_EQ(c.clusters[c.owner[1]].multiplicity, 3) << "a single entry where det Delta is not singular";
}
