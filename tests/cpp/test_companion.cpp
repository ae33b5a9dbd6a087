#include <ostream>

#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>

#include "roots/pencil/companion.h"
#include "roots/pencil/discretize.h"

namespace {

struct order {
    int n, N;
    double h_max;
};

void PrintTo(const order& o, std::ostream* os) {
    *os << "n = " << o.n << ", N = " << o.N << ", h_max = " << o.h_max;
}

class Companion : public testing::TestWithParam<order> {};

// Random matrices on delays 0, h_max/3 and h_max.
quorv::quorv random_system(const order& o) {
    std::vector<Eigen::MatrixXd> A;
    for (int k = 0; k < 3; ++k) A.push_back(Eigen::MatrixXd::Random(o.n, o.n));
    return quorv::quorv(std::move(A), {0.0, o.h_max / 3, o.h_max});
}

}  // namespace

// C is M2^{-1} M1 of the pencil, and so has the pencil's eigenvalues.
TEST_P(Companion, IsThePencilSolvedForM1) {
    const quorv::quorv sys = random_system(GetParam());
    const auto [M1, M2] = quorv::discretize(sys, GetParam().N);
    const Eigen::MatrixXd C = quorv::companion(sys, GetParam().N);
    EXPECT_TRUE(C.isApprox(M2.partialPivLu().solve(M1), 1e-12));

    const Eigen::VectorXcd lambda = Eigen::EigenSolver<Eigen::MatrixXd>(C, false).eigenvalues();
    const Eigen::GeneralizedEigenSolver<Eigen::MatrixXd> qz(M1, M2, false);
    for (Eigen::Index i = 0; i < qz.betas().size(); ++i) {
        const std::complex<double> mu = qz.alphas()[i] / qz.betas()[i];
        EXPECT_LT((lambda.array() - mu).abs().minCoeff(), 1e-9 * std::max(1.0, std::abs(mu)))
            << "pencil eigenvalue " << mu;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, Companion,
                         testing::Values(order{1, 1, 1.0}, order{1, 12, 2.0}, order{2, 5, 0.5},
                                         order{3, 20, 1.0}));
