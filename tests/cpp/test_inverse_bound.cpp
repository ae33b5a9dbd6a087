#include <complex>
#include <random>
#include <tuple>
#include <vector>

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>
#include <gtest/gtest.h>

#include "model/sparse_quorv.h"
#include "roots/crossing/inverse_bound.h"
#include "roots/krylov/characteristic_lu.h"

namespace {

using cplx = std::complex<double>;

// A random matrix with a shift on its diagonal and per_row entries a row,
// block upper triangular in four blocks of a scrambled order, so that the
// factors have off-diagonal blocks as well.
quorv::sparse_quorv::matrix block_triangular(int n, double shift, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> column(0, n - 1);
    std::normal_distribution<double> value(0, 1);
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) order[std::size_t(i)] = (7 * i + 3) % n;
    const auto block = [&](int i) { return 4 * order[std::size_t(i)] / n; };
    std::vector<Eigen::Triplet<double>> entries;
    for (int i = 0; i < n; ++i) {
        entries.emplace_back(i, i, shift);
        for (int e = 0; e < 3; ++e) {
            const int j = column(gen);
            if (block(i) <= block(j)) entries.emplace_back(i, j, value(gen));
        }
    }
    quorv::sparse_quorv::matrix a(n, n);
    a.setFromTriplets(entries.begin(), entries.end());
    return a;
}

}  // namespace

// The bound for |D| = diag(b) against the spectral radius of |M^{-1}| diag(b)
// from the dense inverse: never below it (it must bound every perturbation
// that size), and within a small factor of it for matrices that are not
// near singular, so that it excludes cells.
class PerturbationBound : public testing::TestWithParam<std::tuple<double, unsigned>> {};

TEST_P(PerturbationBound, BoundsTheDenseInverseTightly) {
    const auto [shift, seed] = GetParam();
    const int n = 80;
    const quorv::sparse_quorv sys({block_triangular(n, shift, seed)}, {0.0});
    quorv::characteristic_lu lu(sys, quorv::characteristic_lu::method::left_looking);
    const cplx d(0.1, 0.7);
    ASSERT_TRUE(lu.factor(d, {cplx(1.0)}));
    quorv::lu_factors factors;
    ASSERT_TRUE(lu.factors(factors));
    ASSERT_GT(factors.blocks.size(), 2u);
    const Eigen::MatrixXcd M = d * Eigen::MatrixXcd::Identity(n, n) - Eigen::MatrixXd(sys.A[0]).cast<cplx>();
    Eigen::VectorXd b(n);
    for (int i = 0; i < n; ++i) b[i] = 1e-3 * (1 + (i % 7) / 3.0);
    const Eigen::MatrixXd X = M.inverse().cwiseAbs() * b.asDiagonal();
    const double truth = X.eigenvalues().cwiseAbs().maxCoeff();
    const double bound = quorv::perturbation_bound(factors, [&](const Eigen::VectorXd& z) { return b.cwiseProduct(z); });
    EXPECT_GE(bound, truth);
    EXPECT_LE(bound, 8 * truth);
}

INSTANTIATE_TEST_SUITE_P(Shifts, PerturbationBound,
                         testing::Combine(testing::Values(4.0, 2.0, 0.8), testing::Values(1u, 2u, 3u)));
