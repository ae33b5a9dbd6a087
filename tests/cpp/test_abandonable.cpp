#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>

#include "roots/pencil/candidates.h"
#include "roots/pencil/eigenvalues.h"
#include "roots/support/abandonable.h"

namespace {

// A check that answers "stop" from its n-th question on.
quorv::interrupt_check stop_after(int n) {
    return quorv::interrupt_check([asked = std::make_shared<int>(0), n] { return ++*asked >= n; });
}

// Waits, within a generous bound, until the work has let go of what it held.
bool released(const std::weak_ptr<std::atomic<bool>>& held) {
    for (int i = 0; i < 20000 && !held.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return held.expired();
}

}  // namespace

// Work that cannot end before the test lets it: the caller leaves with
// interrupted while the work still runs, and the abandoned work finishes
// afterwards and frees what it owns.
TEST(RunAbandonable, AStopLeavesTheWorkToFinishOnItsOwn) {
    auto go = std::make_shared<std::atomic<bool>>(false);
    const std::weak_ptr<std::atomic<bool>> held = go;
    std::atomic<bool>& flag = *go;
    auto blocked = [go = std::move(go)] {
        while (!*go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 7;
    };
    EXPECT_THROW(quorv::run_abandonable(std::move(blocked), stop_after(3)), quorv::interrupted);
    EXPECT_FALSE(held.expired());  // the work still runs and holds its flag
    flag = true;
    EXPECT_TRUE(released(held));
}

// Without a stop the result and the exceptions of the work reach the caller;
// a check that never stops runs the work on the calling thread.
TEST(RunAbandonable, ResultsAndErrorsPassThrough) {
    const quorv::interrupt_check never([] { return false; });
    EXPECT_EQ(quorv::run_abandonable([] { return 42; }, never), 42);
    EXPECT_THROW(quorv::run_abandonable([]() -> int { throw std::length_error("vector too long"); }, never),
                 std::length_error);
    const std::thread::id caller = std::this_thread::get_id();
    EXPECT_NE(quorv::run_abandonable([] { return std::this_thread::get_id(); }, never), caller);
    EXPECT_EQ(quorv::run_abandonable([] { return std::this_thread::get_id(); }, quorv::interrupt_check{}), caller);
}

// The eigenvalue calls at an order where a stop abandons them: a check that
// stops at its first question ends the call (LAPACK needs far longer than
// one polling slice at order 400, even on an idle machine; at order 200 an
// idle machine may finish within the first slice, before any question, so
// the outcome there would depend on the load); the same call without a stop
// gives the eigenvalues, here those of a symmetric matrix by Eigen's
// symmetric solver.
class AbandonableEigenvalues : public testing::TestWithParam<Eigen::Index> {};

INSTANTIATE_TEST_SUITE_P(Orders, AbandonableEigenvalues, testing::Values(400));

TEST_P(AbandonableEigenvalues, StopOnRequest) {
    const Eigen::Index n = GetParam();
    const Eigen::MatrixXd G = Eigen::MatrixXd::Random(n, n);
    const Eigen::MatrixXd A = G + G.transpose();
    Eigen::VectorXd expected = Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(A, Eigen::EigenvaluesOnly).eigenvalues();
    const auto matches = [&](const Eigen::VectorXcd& lambda) {
        if (lambda.size() != n || lambda.imag().cwiseAbs().maxCoeff() > 1e-10) return false;
        Eigen::VectorXd real = lambda.real();
        std::sort(real.begin(), real.end());
        return (real - expected).cwiseAbs().maxCoeff() < 1e-10 * expected.cwiseAbs().maxCoeff();
    };

    const quorv::quorv sys({A}, {0.0});
    EXPECT_THROW(quorv::undelayed_candidates(sys, stop_after(1)), quorv::interrupted);
    EXPECT_TRUE(matches(quorv::undelayed_candidates(sys, stop_after(1000000))));

    quorv::complex_eigenvalues solver(n);
    Eigen::MatrixXcd M = A.cast<std::complex<double>>();
    EXPECT_THROW(solver.compute(M, stop_after(1)), quorv::interrupted);
    M = A.cast<std::complex<double>>();
    ASSERT_TRUE(solver.compute(M, stop_after(1000000)));
    EXPECT_TRUE(matches(solver.values()));
}
