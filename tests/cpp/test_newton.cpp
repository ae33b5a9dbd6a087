#include <cmath>
#include <complex>
#include <limits>
#include <type_traits>

#include <gtest/gtest.h>

#include "roots/local/newton.h"

namespace {

using Eigen::MatrixXcd;
using Eigen::VectorXcd;
using cplx = std::complex<double>;

// F(x) = M x - b, counting its evaluations.
struct linear_system {
    MatrixXcd M;
    VectorXcd b;
    int calls = 0;

    quorv::residual_function function() {
        return [this](const VectorXcd& x, VectorXcd& F, MatrixXcd& J) {
            ++calls;
            F = M * x - b;
            J = M;
        };
    }
};

}  // namespace

TEST(Newton, OneStepSolvesALinearSystem) {
    linear_system sys{MatrixXcd::Random(3, 3) + 3.0 * MatrixXcd::Identity(3, 3), VectorXcd::Random(3)};
    quorv::newton solver(3);
    VectorXcd x = VectorXcd::Zero(3);
    const double res = solver.solve(x, sys.function(), 1e-10, 10);
    EXPECT_LT((sys.M * x - sys.b).norm(), 1e-14) << "the iterate does not solve M x = b";
    EXPECT_LT(res, 1e-14);
    EXPECT_LE(sys.calls, 2);
}

TEST(Newton, ConvergedStartIsReturnedUnchanged) {
    linear_system sys{MatrixXcd::Identity(2, 2), VectorXcd{{1e-12, 0.0}}};
    quorv::newton solver(2);
    VectorXcd x = VectorXcd::Zero(2);
    EXPECT_EQ(solver.solve(x, sys.function(), 1e-10, 10), 1e-12);
    EXPECT_EQ(sys.calls, 1);
    EXPECT_EQ(x, VectorXcd::Zero(2));
}

TEST(Newton, NaNResidualEndsBeforeAnyStep) {
    linear_system sys{MatrixXcd::Identity(2, 2), VectorXcd{{std::nan(""), 1.0}}};
    quorv::newton solver(2);
    VectorXcd x = VectorXcd::Ones(2);
    EXPECT_TRUE(std::isnan(solver.solve(x, sys.function(), 1e-10, 10)));
    EXPECT_EQ(x, VectorXcd::Ones(2));
}

TEST(Newton, NaNResidualAfterAStepEndsTheIteration) {
    int calls = 0;
    const quorv::residual_function f = [&](const VectorXcd&, VectorXcd& F, MatrixXcd& J) {
        F[0] = ++calls == 1 ? 1.0 : std::nan("");
        J(0, 0) = 1.0;
    };
    quorv::newton solver(1);
    VectorXcd x = VectorXcd::Ones(1);
    EXPECT_TRUE(std::isnan(solver.solve(x, f, 1e-10, 10)));
    EXPECT_EQ(calls, 2);
}

// A steep Jacobian makes the step tiny against x while the residual stays at
// 1: the relative step test ends the iteration before f is called again.
TEST(Newton, SmallRelativeStepEndsTheIteration) {
    int calls = 0;
    const quorv::residual_function f = [&](const VectorXcd&, VectorXcd& F, MatrixXcd& J) {
        ++calls;
        F[0] = 1.0;
        J(0, 0) = 1e20;
    };
    quorv::newton solver(1);
    VectorXcd x = VectorXcd::Ones(1);
    EXPECT_EQ(solver.solve(x, f, 1e-10, 10), 1.0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(solver.dx[0], cplx(1e-20));
}

// With maxit = 0 one step is still taken; unknown 1, which no equation
// depends on, keeps its value and the rank-deficient solve raises nothing.
TEST(Newton, ZeroJacobianColumnLeavesItsUnknownAlone) {
    linear_system sys{MatrixXcd::Random(3, 3) + 3.0 * MatrixXcd::Identity(3, 3), VectorXcd::Random(3)};
    sys.M.col(1).setZero();
    quorv::newton solver(3);
    VectorXcd x = VectorXcd::Ones(3);
    solver.solve(x, sys.function(), 1e-10, 0);
    EXPECT_EQ(solver.dx[1], cplx(0.0));
    EXPECT_EQ(x[1], cplx(1.0));
    EXPECT_NE(x[0], cplx(1.0)) << "no step was taken";
    EXPECT_EQ(sys.calls, 1);
}

// F = (x0^2, x1^3) converges only linearly to 0: Newton multiplies x0 by 1/2
// and x1 by 2/3, so the relative step stays large and every residual exceeds
// tol. maxit steps take maxit evaluations; the last one is of the iterate
// before the last step, and that is the residual returned.
TEST(Newton, StepLimitReturnsTheResidualBeforeTheLastStep) {
    int calls = 0;
    const quorv::residual_function f = [&](const VectorXcd& x, VectorXcd& F, MatrixXcd& J) {
        ++calls;
        F << x[0] * x[0], x[1] * x[1] * x[1];
        J << 2.0 * x[0], 0.0, 0.0, 3.0 * x[1] * x[1];
    };
    const VectorXcd start{{cplx(1.0, 0.5), cplx(-0.5, 2.0)}};
    for (int maxit : {1, 4, 10}) {
        VectorXcd x = start, expected = start, before = start;
        for (int it = 0; it < maxit; ++it) {
            before = expected;
            expected = VectorXcd{{expected[0] / 2.0, expected[1] * (2.0 / 3.0)}};
        }
        calls = 0;
        quorv::newton solver(2);
        const double res = solver.solve(x, f, 1e-10, maxit);
        EXPECT_EQ(calls, maxit) << "maxit " << maxit;
        EXPECT_LT((x - expected).norm(), 1e-14 * expected.norm()) << "maxit " << maxit;
        const double res_before = std::hypot(std::norm(before[0]), std::pow(std::abs(before[1]), 3));
        EXPECT_NEAR(res, res_before, 1e-14) << "maxit " << maxit;
    }
}

// The factorisation works in the storage of the solver's own Jacobian, so a
// copy would factorise into its original's memory: solvers are not copied.
TEST(Newton, SolverIsNeitherCopiedNorAssigned) {
    EXPECT_FALSE(std::is_copy_constructible_v<quorv::newton>);
    EXPECT_FALSE(std::is_copy_assignable_v<quorv::newton>);
    EXPECT_FALSE(std::is_move_constructible_v<quorv::newton>);
}
