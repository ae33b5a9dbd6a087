#include <complex>
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>

#include "roots/pencil/candidates.h"
#include "roots/pencil/discretize.h"

namespace {

using Eigen::MatrixXd;

// An eigenvalue routine whose iteration never converges, recording the order
// of the matrix it was handed.
struct failing_routine {
    Eigen::Index* order;
    bool operator()(MatrixXd& A, Eigen::VectorXcd&) const {
        *order = A.rows();
        return false;
    }
};

MatrixXd scalar(double a) { return MatrixXd::Constant(1, 1, a); }

template <typename Call>
std::string error_message(Call call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

}  // namespace

// When the standard form's iteration does not converge, the candidates are
// the generalized eigenvalues of the pencil itself: each solves
// det(M1 - lambda M2) = 0, and they are those of the standard form.
TEST(PencilCandidates, FallBackToQZOnThePencil) {
    const quorv::quorv sys({MatrixXd::Random(2, 2), MatrixXd::Random(2, 2)}, {0.0, 1.0});
    Eigen::Index order = 0;
    const Eigen::VectorXcd lambda = quorv::pencil_candidates(sys, 6, {}, failing_routine{&order});
    EXPECT_EQ(order, 14);

    const auto [M1, M2] = quorv::discretize(sys, 6);
    const Eigen::VectorXcd standard =
        Eigen::EigenSolver<MatrixXd>(M2.lu().solve(M1), false).eigenvalues();
    ASSERT_EQ(lambda.size(), 14);
    for (Eigen::Index i = 0; i < 14; ++i) {
        Eigen::Index j = 0;
        (standard.array() - lambda[i]).abs().minCoeff(&j);
        EXPECT_LT(std::abs(standard[j] - lambda[i]), 1e-9 * (1 + std::abs(lambda[i]))) << i;
    }
}

TEST(UndelayedCandidates, FallBackToEigensEigenSolver) {
    const MatrixXd A0 = MatrixXd::Random(3, 3), A1 = MatrixXd::Random(3, 3);
    Eigen::Index order = 0;
    const Eigen::VectorXcd lambda =
        quorv::undelayed_candidates(quorv::quorv({A0, A1}, {0.0, 0.0}), {}, failing_routine{&order});
    EXPECT_EQ(order, 3);
    EXPECT_TRUE(lambda.isApprox(Eigen::EigenSolver<MatrixXd>(A0 + A1, false).eigenvalues()));
}

// A delay of 1e300 scales the pencil's rows beyond what QZ resolves: with
// both iterations failing the caller learns it, instead of getting no roots.
TEST(PencilCandidates, BothIterationsFailingIsAnError) {
    const quorv::quorv sys({scalar(-1.0), scalar(0.5)}, {0.0, 1e300});
    Eigen::Index order = 0;
    EXPECT_EQ(error_message([&] { quorv::pencil_candidates(sys, 100, {}, failing_routine{&order}); }),
              "the QZ iteration did not converge on the pencil of order 101, nor did the QR "
              "iteration on its standard form");
}

// D = 101 * 460 = 46460: its square does not fit in 32 bits. Refused before
// anything of that order is allocated or a matrix entry read.
TEST(PencilCandidates, AnOrderBeyondThirtyTwoBitCountsIsRefused) {
    const quorv::quorv sys({MatrixXd(460, 0)}, {1.0});
    EXPECT_THROW(quorv::pencil_candidates(sys, 100), std::bad_alloc);
    EXPECT_EQ(error_message([&] { quorv::pencil_candidates(sys, 100); }),
              "the pencil of order 46460 is too large: its elements cannot be counted in 32 bits; "
              "a larger r needs a smaller pencil");
}
