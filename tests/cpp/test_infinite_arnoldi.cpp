#include <cmath>
#include <complex>
#include <vector>

#include <gtest/gtest.h>

#include "model/sparse_quorv.h"
#include "roots/krylov/characteristic_lu.h"
#include "roots/krylov/infinite_arnoldi.h"

namespace {

using cplx = std::complex<double>;
using matrix = quorv::sparse_quorv::matrix;

matrix diagonal(const std::vector<double>& d) {
    matrix a(Eigen::Index(d.size()), Eigen::Index(d.size()));
    for (std::size_t i = 0; i < d.size(); ++i) a.insert(Eigen::Index(i), Eigen::Index(i)) = d[i];
    a.makeCompressed();
    return a;
}

// Decoupled modes lambda = mu_i + b_i e^{-lambda h} whose real roots are
// chosen: b_i = (root_i - mu_i) e^{root_i h}. The roots nearest the shift
// are these chosen ones, the other roots of each mode lying further away.
struct case_ {
    double h;
    double shift;
};

class infinite_arnoldi_test : public ::testing::TestWithParam<case_> {};

TEST_P(infinite_arnoldi_test, finds_the_chosen_roots_nearest_the_shift) {
    const auto [h, shift] = GetParam();
    const std::vector<double> chosen = {-0.5, -1.0, -1.5, -2.0};
    std::vector<double> mu, b;
    for (int i = 0; i < 300; ++i) {
        const double root = i < 4 ? chosen[std::size_t(i)] : -3.0 - 0.01 * i;
        mu.push_back(root - 2.0 - i);
        b.push_back((root - mu.back()) * std::exp(root * h));
    }
    const quorv::sparse_quorv sys({diagonal(mu), diagonal(b)}, {0.0, h});
    quorv::characteristic_lu lu(sys);
    quorv::work_budget budget{100};
    const auto values = quorv::infinite_arnoldi(sys, lu, cplx(shift, 0), 3, 60, 1e-10, budget);
    ASSERT_GE(values.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_LE(values[i].estimate, 1e-10) << i;
        EXPECT_NEAR(values[i].lambda.real(), chosen[i], 1e-8) << i;
        EXPECT_NEAR(values[i].lambda.imag(), 0.0, 1e-8) << i;
    }
    EXPECT_EQ(budget.evaluations_left, 99);
}

INSTANTIATE_TEST_SUITE_P(delays_and_shifts, infinite_arnoldi_test,
                         ::testing::Values(case_{1.0, 0.0}, case_{0.25, 0.0}, case_{1.0, -0.2}));

TEST(infinite_arnoldi, returns_nothing_at_a_root_or_without_budget) {
    const quorv::sparse_quorv sys({diagonal({-1.0, -2.0})}, {0.0});
    quorv::characteristic_lu lu(sys);
    quorv::work_budget budget{10};
    EXPECT_TRUE(quorv::infinite_arnoldi(sys, lu, cplx(-1.0, 0), 1, 10, 1e-10, budget).empty());
    quorv::work_budget spent{0};
    EXPECT_TRUE(quorv::infinite_arnoldi(sys, lu, cplx(0.0, 0), 1, 10, 1e-10, spent).empty());
}

}  // namespace
