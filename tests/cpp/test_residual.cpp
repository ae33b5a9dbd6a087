#include <complex>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "roots/local/residual.h"

namespace {

using Eigen::MatrixXcd;
using Eigen::MatrixXd;
using Eigen::VectorXcd;
using cplx = std::complex<double>;

struct evaluation {
    VectorXcd F;
    MatrixXcd J;
};

// The Newton solver factorises in the storage of J, so the residual must
// write into F and J where they are.
evaluation evaluate(const quorv::quorv& sys, const VectorXcd& x) {
    evaluation r{VectorXcd(x.size()), MatrixXcd(x.size(), x.size())};
    const auto* F_data = r.F.data();
    const auto* J_data = r.J.data();
    quorv::characteristic_residual(sys)(x, r.F, r.J);
    EXPECT_TRUE(r.F.data() == F_data && r.J.data() == J_data) << "F or J was reallocated";
    return r;
}

quorv::quorv three_term_system() {
    return quorv::quorv({MatrixXd::Random(3, 3), MatrixXd::Random(3, 3), MatrixXd::Random(3, 3)},
                        {0.0, 0.7, 1.5});
}

}  // namespace

TEST(Residual, ScalarSystemClosedForm) {
    const double a = -0.7, h = 1.3;
    const cplx lambda(0.4, -1.1), v0(0.6, 0.5);
    const auto [F, J] = evaluate(quorv::quorv({MatrixXd::Constant(1, 1, a)}, {h}),
                                 VectorXcd{{lambda, v0}});
    const cplx e = std::exp(-lambda * h);
    EXPECT_LT(std::abs(F[0] - (lambda - a * e) * v0), 1e-14);
    EXPECT_LT(std::abs(F[1] - (std::norm(v0) - 1.0)), 1e-15);
    EXPECT_LT(std::abs(J(0, 0) - (1.0 + a * h * e) * v0), 1e-14);
    EXPECT_LT(std::abs(J(0, 1) - (lambda - a * e)), 1e-14);
    EXPECT_EQ(J(1, 0), cplx(0.0));
    EXPECT_EQ(J(1, 1), 2.0 * std::conj(v0));
}

// Rows 0..n-1 are complex-analytic in x, so central differences along each
// unknown reproduce their columns. Row n is real-valued: its directional
// derivative along d is Re(J(n, :) d), and it does not depend on lambda.
TEST(Residual, JacobianMatchesFiniteDifferences) {
    const quorv::quorv sys = three_term_system();
    const VectorXcd x = VectorXcd::Random(4);
    const auto [F, J] = evaluate(sys, x);
    const double eps = 1e-6;
    for (int j = 0; j < 4; ++j) {
        VectorXcd step = VectorXcd::Zero(4);
        step[j] = eps;
        const VectorXcd column = (evaluate(sys, x + step).F - evaluate(sys, x - step).F) / (2 * eps);
        EXPECT_LT((column.head(3) - J.col(j).head(3)).norm(), 1e-8) << "column " << j;
    }
    const VectorXcd d = VectorXcd::Random(4);
    const double slope = (evaluate(sys, x + eps * d).F[3] - evaluate(sys, x - eps * d).F[3]).real() / (2 * eps);
    EXPECT_NEAR(slope, (J.row(3) * d).value().real(), 1e-8) << "normalisation row";
}

TEST(Residual, VanishesAtARootWithAUnitNullVector) {
    // Both A_k share the eigenvector p; along it the system is the scalar
    // lambda = -1 + 0.5 e^{-lambda}, whose real root is W(e/2) - 1.
    const Eigen::Vector2d p = Eigen::Vector2d(3.0, 4.0) / 5.0, q(-0.8, 0.6);
    const MatrixXd A0 = -1.0 * p * p.transpose() - 3.0 * q * q.transpose();
    const MatrixXd A1 = 0.5 * p * p.transpose() + 0.2 * q * q.transpose();
    const cplx phase = std::polar(1.0, 0.9);
    const VectorXcd x{{cplx(-0.314923057845406054), phase * p[0], phase * p[1]}};
    EXPECT_LT(evaluate(quorv::quorv({A0, A1}, {0.0, 1.0}), x).F.norm(), 1e-15);
}

TEST(Residual, CharacteristicMatrixIsTheJacobianBlock) {
    const quorv::quorv sys = three_term_system();
    const VectorXcd x = VectorXcd::Random(4);
    MatrixXcd Delta(3, 3);
    quorv::characteristic_matrix(sys, x[0], Delta);
    const MatrixXcd block = evaluate(sys, x).J.block(0, 1, 3, 3);
    EXPECT_TRUE((block.array() == Delta.array()).all()) << "not bit-for-bit equal";
}

TEST(Residual, MissingDelayIsAnInvalidSubscript) {
    const quorv::quorv sys({MatrixXd::Identity(2, 2), MatrixXd::Identity(2, 2)}, {0.0});
    const auto expect_invalid_subscript = [](auto call) {
        try {
            call();
            FAIL() << "expected std::out_of_range";
        } catch (const std::out_of_range& e) {
            EXPECT_EQ(std::string(e.what()), "invalid vector subscript");
        }
    };
    expect_invalid_subscript([&] { evaluate(sys, VectorXcd::Ones(3)); });
    MatrixXcd Delta(2, 2);
    expect_invalid_subscript([&] { quorv::characteristic_matrix(sys, 1.0, Delta); });
}
