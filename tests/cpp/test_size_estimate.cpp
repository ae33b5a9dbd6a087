#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <limits>
#include <new>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <Eigen/Eigenvalues>
#include <gtest/gtest.h>

#include "roots/estimate/size_estimate.h"

namespace {

using cplx = std::complex<double>;
using model = quorv::quorv;

using std::numbers::pi;
constexpr double phase_step_factor = 0.3244678440936948;  // sin(2*pi/20) * 1.05

Eigen::MatrixXd one_entry(double v) { return Eigen::MatrixXd::Constant(1, 1, v); }

model scalar_system(const std::vector<double>& a, std::vector<double> h) {
    std::vector<Eigen::MatrixXd> A;
    for (const double v : a) A.push_back(one_entry(v));
    return model(std::move(A), std::move(h));
}

struct curves {
    quorv::cubic_spline F{0.0, pi / 64, quorv::degree_slope};
    quorv::cubic_spline G{0.0, pi / 64, quorv::degree_offset};
    int degree(cplx mu) const { return quorv::required_degree(mu, F, G); }
};

// The single entry of the scalar grid matrix for every configuration of one
// pass, in visiting order; for n = 1 it is the eigenvalue itself.
std::vector<cplx> grid_pass(const model& sys, double r, double b) {
    std::vector<cplx> values;
    Eigen::MatrixXcd M;
    for (quorv::phase_counter p(sys.mA() - 1, 20); !p.done; p.advance()) {
        quorv::sampled_matrix_grid(sys, M, r, b, p.digits, 20);
        values.push_back(M(0, 0));
    }
    return values;
}

std::vector<cplx> commensurate_pass(const model& sys, double r, double b) {
    std::vector<cplx> values;
    Eigen::MatrixXcd M;
    for (std::uint32_t c = 0; c < 20; ++c) {
        quorv::sampled_matrix_commensurate(sys, M, r, b, c, 20);
        values.push_back(M(0, 0));
    }
    return values;
}

double largest_real_part(const std::vector<cplx>& values) {
    return std::max_element(values.begin(), values.end(),
                            [](cplx x, cplx y) { return x.real() < y.real(); })->real();
}

template <typename Exception, typename Call>
void expect_error(Call call, const std::string& message) {
    try {
        call();
        FAIL() << "expected an exception with \"" << message << "\"";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

// The degree by its definition: every sampled matrix of both passes solved,
// with count phase samples.
int degree_solving_every_matrix(const model& sys, double r, std::uint32_t count) {
    const auto each = [&](double b, auto use) {
        Eigen::MatrixXcd M;
        if (sys.mA() > 4)
            for (std::uint32_t c = 0; c < count; ++c) {
                quorv::sampled_matrix_commensurate(sys, M, r, b, c, count);
                use(Eigen::ComplexEigenSolver<Eigen::MatrixXcd>(M, false).eigenvalues());
            }
        else
            for (quorv::phase_counter p(sys.mA() - 1, count); !p.done; p.advance()) {
                quorv::sampled_matrix_grid(sys, M, r, b, p.digits, count);
                use(Eigen::ComplexEigenSolver<Eigen::MatrixXcd>(M, false).eigenvalues());
            }
    };
    std::vector<cplx> E;
    each(0.0, [&](const Eigen::VectorXcd& mu) { E.insert(E.end(), mu.begin(), mu.end()); });
    const double B = std::sin(2 * pi / count) * 1.05 * largest_real_part(E);
    int degree = 5;
    for (const cplx mu : E)
        if (0 <= mu.real() && mu.real() <= B) degree = std::max(degree, curves().degree(mu));
    each(B, [&](const Eigen::VectorXcd& mu) {
        for (const cplx z : mu)
            if (z.real() >= B) degree = std::max(degree, curves().degree(z));
    });
    return degree;
}

std::size_t configurations(std::size_t ndigits) {
    std::size_t visited = 0;
    for (quorv::phase_counter p(ndigits, 20); !p.done; p.advance()) ++visited;
    return visited;
}

}  // namespace

TEST(RequiredDegree, WorkedValues) {
    const curves k;
    EXPECT_EQ(k.degree({0, 0}), 1);
    EXPECT_EQ(k.degree({10, 0}), 12);
    EXPECT_EQ(k.degree({0, 10}), 8);
    EXPECT_EQ(k.degree({5, 5}), 8);
    EXPECT_EQ(k.degree({0, 30}), 19);
    EXPECT_EQ(k.degree({-1, 3}), 7) << "left half-plane: extrapolated curves";
    EXPECT_EQ(k.degree({0, -30}), 19) << "the angle is |arg mu|";
}

TEST(RequiredDegree, IsTheSmallestDegreeThatReachesTheEstimate) {
    const curves k;
    for (const cplx mu : {cplx(3.7, 0.2), cplx(40, 41), cplx(0.5, -77), cplx(-2, 15), cplx(250, 1)}) {
        const int N = k.degree(mu);
        const double theta = std::abs(std::arg(mu));
        EXPECT_GE(k.F(theta) * N + k.G(theta), std::abs(mu)) << "degree " << N << " misses " << mu;
        EXPECT_LT(k.F(theta) * (N - 1) + k.G(theta), std::abs(mu)) << "degree " << N - 1 << " reaches " << mu;
    }
}

TEST(RequiredDegree, NaNOrHugeEstimatesNeverRaiseAMaximum) {
    const curves k;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(k.degree({nan, 0}), INT_MIN);
    EXPECT_EQ(k.degree({1, nan}), INT_MIN);
    EXPECT_EQ(k.degree({inf, 0}), INT_MIN);
    EXPECT_EQ(k.degree({1e12, 0}), INT_MIN) << "beyond the range of int";
}

TEST(PhaseCounter, VisitsEveryCombinationOnce) {
    EXPECT_EQ(configurations(1), 11u) << "mA = 2";
    EXPECT_EQ(configurations(2), 220u) << "mA = 3";
    EXPECT_EQ(configurations(3), 4400u) << "mA = 4";
    EXPECT_EQ(configurations(0), 1u) << "no digits: the one empty configuration";
}

TEST(PhaseCounter, FirstDigitIsFastestAndSpansHalfTheRange) {
    quorv::phase_counter p(2, 20);
    for (int step = 0; step < 10; ++step) p.advance();
    EXPECT_EQ(p.digits, (std::vector<std::uint32_t>{10, 0}));
    p.advance();
    EXPECT_EQ(p.digits, (std::vector<std::uint32_t>{0, 1})) << "digit 0 stops at count/2 and carries";
    while (p.digits != std::vector<std::uint32_t>{10, 19}) p.advance();
    EXPECT_FALSE(p.done) << "the last combination is still visited";
    p.advance();
    EXPECT_TRUE(p.done);
    const auto finished = p.digits;
    p.advance();
    EXPECT_EQ(p.digits, finished) << "advancing a finished counter changes nothing";
}

TEST(PhaseCounter, ZeroCountEndsInsteadOfWrapping) {
    quorv::phase_counter p(2, 0);
    for (int step = 0; step < 3 && !p.done; ++step) p.advance();
    EXPECT_TRUE(p.done);
}

// h_max = 1, so delays are rounded to multiples of 0.05. With r = 0, b = 1
// and phase sample 0, a single unit term contributes exp(-w*0.05).
TEST(SampledMatrixCommensurate, RoundsDelaysHalfwayAwayFromZero) {
    const std::vector<double> delays = {0.0, 1.0, 0.26, 0.025, 0.5};
    const auto term = [&](std::size_t k, double b, std::uint32_t c) {
        std::vector<double> a(5, 0.0);
        a[k] = 1.0;
        Eigen::MatrixXcd M;
        quorv::sampled_matrix_commensurate(scalar_system(a, delays), M, 0.0, b, c, 20);
        return M(0, 0);
    };
    EXPECT_NEAR(term(1, 1.0, 0).real(), std::exp(-1.0), 1e-15) << "largest delay: w = 20";
    EXPECT_NEAR(term(2, 1.0, 0).real(), std::exp(-0.25), 1e-15) << "0.26 -> w = 5";
    EXPECT_NEAR(term(3, 1.0, 0).real(), std::exp(-0.05), 1e-15) << "0.025 -> w = 1, not 0";

    // Phase sample 1 of 20 is pi/10; term k turns by w_k*pi/10.
    EXPECT_NEAR(std::abs(term(2, 0.0, 1) - cplx(0, 1)), 0.0, 1e-15) << "w = 5: quarter turn";
    EXPECT_NEAR(std::abs(term(3, 0.0, 1) - std::polar(1.0, pi / 10)), 0.0, 1e-15);
    EXPECT_NEAR(std::abs(term(1, 0.0, 3) - cplx(1, 0)), 0.0, 1e-14) << "w = 20: full turns";
}

TEST(SampledMatrixCommensurate, FirstTermHasNoPhaseAndTheShiftIsROnly) {
    const model sys = scalar_system({1, 0, 0, 0, 0}, {0.5, 1, 0, 0, 0});
    Eigen::MatrixXcd M = Eigen::MatrixXcd::Ones(3, 3);
    quorv::sampled_matrix_commensurate(sys, M, 0.3, 0.7, 7, 20);
    ASSERT_EQ(M.rows(), 1);
    ASSERT_EQ(M.cols(), 1);
    EXPECT_DOUBLE_EQ(M(0, 0).real(), std::exp(-0.5) - 0.3);
    EXPECT_EQ(M(0, 0).imag(), 0.0);
}

TEST(SampledMatrixGrid, OwnPhasePerTermAndUnroundedDelays) {
    Eigen::MatrixXd A0(2, 2), A1(2, 2), A2(2, 2);
    A0 << 1, 2, 3, 4;
    A1 << 0, 1, -1, 0;
    A2 << 2, 0, 1, -3;
    const model sys({A0, A1, A2}, {0.26, 0.3, 0.7});
    Eigen::MatrixXcd M;
    quorv::sampled_matrix_grid(sys, M, 0.5, 0.25, {3, 5}, 20);

    const Eigen::MatrixXcd expected =
        (std::exp(-0.75 * 0.26) * A0 - 0.5 * Eigen::MatrixXd::Identity(2, 2)).cast<cplx>() +
        std::polar(std::exp(-0.75 * 0.3), 6 * pi / 21) * A1.cast<cplx>() +
        std::polar(std::exp(-0.75 * 0.7), 10 * pi / 21) * A2.cast<cplx>();
    EXPECT_LT((M - expected).norm(), 1e-14) << "M =\n" << M << "\nexpected\n" << expected;
}

// A = (0, -10), hA = (0, 1), r = -2: the pass-1 values 2 - 10e^2 e^{i theta}.
TEST(EstimateDegree, GridWorkedExampleWithPassOneDegree) {
    const model sys = scalar_system({0, -10}, {0, 1});
    const std::vector<cplx> E = grid_pass(sys, -2, 0);
    ASSERT_EQ(E.size(), 11u);
    const double rho = largest_real_part(E), B = phase_step_factor * rho;
    EXPECT_NEAR(rho, 75.0653, 5e-5);
    EXPECT_NEAR(E[10].real(), rho, 1e-12) << "rho comes from digit 10";
    EXPECT_NEAR(B, 24.3563, 5e-5);
    for (std::size_t d = 0; d < E.size(); ++d)
        EXPECT_EQ(0 <= E[d].real() && E[d].real() <= B, d == 6) << "digit " << d;
    EXPECT_NEAR(std::abs(E[6] - cplx(18.4422, -72.0380)), 0.0, 1e-4);
    EXPECT_EQ(curves().degree(E[6]), 54);
    for (const cplx mu : grid_pass(sys, -2, B)) EXPECT_NEAR(std::abs(mu - 2.0), 0.0, 1e-8) << "pass 2 is damped to about 2";

    EXPECT_EQ(quorv::estimate_degree(sys, -2, 20), 54);
    EXPECT_NE(quorv::estimate_degree_commensurate(sys, -2, 20), 54)
        << "two matrices must take the grid strategy";
}

// A = (30, -10), hA = (0, 1), r = 0: nothing in [0, B] in pass 1; pass 2 sits at 30.
TEST(EstimateDegree, GridWorkedExampleWithPassTwoDegree) {
    const model sys = scalar_system({30, -10}, {0, 1});
    const std::vector<cplx> E = grid_pass(sys, 0, 0);
    const double rho = largest_real_part(E), B = phase_step_factor * rho;
    EXPECT_NEAR(rho, 39.8883, 5e-5);
    EXPECT_NEAR(B, 12.9425, 5e-5);
    for (const cplx mu : E) EXPECT_GT(mu.real(), B);
    EXPECT_EQ(quorv::estimate_degree(sys, 0, 20), 34);
}

// A = (0, -10, 5, 2, -3), hA = (0, 1, 2, 0.5, 1.5), r = -1: w = (0, 10, 20, 5, 15).
TEST(EstimateDegree, CommensurateWorkedExample) {
    const model sys = scalar_system({0, -10, 5, 2, -3}, {0, 1, 2, 0.5, 1.5});
    const std::vector<cplx> E = commensurate_pass(sys, -1, 0);
    const double rho = largest_real_part(E), B = phase_step_factor * rho;
    EXPECT_NEAR(rho, 65.1281, 5e-5);
    EXPECT_NEAR(B, 21.1320, 5e-5);
    int K1 = 0;
    for (const cplx mu : E)
        if (0 <= mu.real() && mu.real() <= B) K1 = std::max(K1, curves().degree(mu));
    EXPECT_EQ(K1, 24);
    EXPECT_EQ(quorv::estimate_degree(sys, -1, 20), 24);
    EXPECT_EQ(quorv::estimate_degree_commensurate(sys, -1, 20), 24);
}

TEST(EstimateDegree, NeverBelowFive) {
    EXPECT_EQ(quorv::estimate_degree(scalar_system({0.01, 0.02}, {0, 1}), 0, 20), 5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(quorv::estimate_degree(scalar_system({nan, 1}, {0, 1}), 0, 20), 5)
        << "NaN estimates are rejected, not errors";
}

// Eigenvalues -1 +- 50i + 0.8 e^{-3b} z: every pass-1 real part is at most
// -0.2, so B < 0; the pass-2 damping moves the rightmost pair to Re = -0.028,
// still left of the axis but right of B, where it alone sets the degree.
TEST(EstimateDegree, NegativeBoundCountsLeftHalfPlaneEstimates) {
    Eigen::MatrixXd A0(2, 2);
    A0 << -1, 50, -50, -1;
    const model sys({A0, 0.8 * Eigen::MatrixXd::Identity(2, 2)}, {0, 3});
    const double B = phase_step_factor * -0.2;
    const cplx rightmost(-1 + 0.8 * std::exp(-3 * B), 50);
    ASSERT_LT(B, rightmost.real());
    ASSERT_LT(rightmost.real(), 0.0);
    EXPECT_EQ(quorv::estimate_degree(sys, 0, 20), curves().degree(rightmost));
    EXPECT_EQ(quorv::estimate_degree(sys, 0, 20), 30);
}

TEST(EstimateDegree, DecidedCornerCases) {
    EXPECT_EQ(quorv::estimate_degree(scalar_system({-10}, {1}), -2, 20), 54)
        << "one matrix is estimated as an undelayed zero term followed by it";

    const Eigen::MatrixXd empty(0, 0);
    EXPECT_EQ(quorv::estimate_degree(model({empty, empty}, {0, 1}), 0, 20), 5) << "n = 0, grid";
    EXPECT_EQ(quorv::estimate_degree(model(std::vector(5, empty), {0, 1, 1, 1, 1}), 0, 20), 5)
        << "n = 0, commensurate";

    // All delays zero: each term is undelayed, M = sum A_k = 10 for every
    // sample, B = 3.24 and pass 2 asks required_degree(10) = 12.
    EXPECT_EQ(quorv::estimate_degree(scalar_system({2, 2, 2, 2, 2}, {0, 0, 0, 0, 0}), 0, 20), 12);
}

// The estimate solves only the sampled matrices whose eigenvalues bounds
// cannot rule out; its degree must be the one solving all of them gives, for
// dense, sparse, stiff and non-normal systems of two to six matrices. Eight
// phase samples keep the test short (the pruning does not depend on them).
TEST(EstimateDegree, SkippedMatricesNeverChangeTheDegree) {
    std::mt19937 gen(3);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 1 + trial % 6, m = 2 + trial % 5;
        std::vector<Eigen::MatrixXd> A;
        std::vector<double> h;
        for (int k = 0; k < m; ++k) {
            Eigen::MatrixXd a = Eigen::MatrixXd::NullaryExpr(n, n, [&] { return normal(gen); });
            if (trial % 4 == 1) a = a.cwiseProduct(Eigen::MatrixXd::NullaryExpr(n, n, [&] { return double(gen() % 3 == 0); }));
            if (trial % 4 == 2) a.diagonal() *= 30.0;
            if (trial % 4 == 3) a.triangularView<Eigen::StrictlyUpper>() *= 10.0;
            A.push_back(a);
            h.push_back(k == 0 ? 0.0 : 0.3 * k + 0.1 * (trial % 3));
        }
        const model sys(A, h);
        for (const double r : {-3.0, -1.0, 0.5})
            EXPECT_EQ(quorv::estimate_degree(sys, r, 8), degree_solving_every_matrix(sys, r, 8))
                << "trial " << trial << ", r = " << r;
    }
}

TEST(EstimateDegree, InvalidModelsRaiseTheLibraryErrors) {
    const std::string subscript = "invalid vector subscript";
    expect_error<std::length_error>([] { quorv::estimate_degree(model({}, {}), 0, 20); },
                                    "vector too long");
    expect_error<std::length_error>([] { quorv::estimate_degree(model({}, {0, 1}), 0, 20); },
                                    "vector too long");
    expect_error<std::out_of_range>(
        [] { quorv::estimate_degree(scalar_system({1, 2, 3, 4, 5}, {}), 0, 20); }, subscript);
    expect_error<std::out_of_range>(
        [] { quorv::estimate_degree(scalar_system({1, 2, 3, 4, 5}, {0, 1, 1, 1}), 0, 20); }, subscript);
    expect_error<std::out_of_range>(
        [] { quorv::estimate_degree(scalar_system({1, 2, 3}, {0, 1}), 0, 20); }, subscript);
    expect_error<std::out_of_range>([] { quorv::estimate_degree(scalar_system({1}, {}), 0, 20); },
                                    subscript);
    const Eigen::MatrixXd tall = Eigen::MatrixXd::Zero(46341, 1);  // 46341^2 > 2^31 - 1
    EXPECT_THROW(quorv::estimate_degree(model({tall, tall}, {0, 1}), 0, 20), std::bad_alloc);
    EXPECT_THROW(quorv::estimate_degree(model({tall}, {1}), 0, 20), std::bad_alloc)
        << "also for the zero term added to a single matrix";
}

// e^{1000} overflows: the sampled matrices have infinite entries and say
// nothing about the roots, which an estimate must not hide behind a guess.
TEST(EstimateDegree, OverflowingDampingIsAnError) {
    expect_error<std::runtime_error>(
        [] { quorv::estimate_degree(scalar_system({-1, 0.5}, {0, 1}), -1000, 20); },
        "the degree estimate cannot sample the characteristic matrix: its damping factors "
        "overflow; a larger r is needed");
}
