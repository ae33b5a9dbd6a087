#include <cmath>
#include <complex>
#include <vector>

#include <gtest/gtest.h>

#include "model/sparse_quorv.h"
#include "roots/count/left_side_term.h"
#include "roots/count/sparse_determinant.h"

namespace {

using cplx = std::complex<double>;
using matrix = quorv::sparse_quorv::matrix;

matrix decoupled(const std::vector<double>& d) {
    matrix a(Eigen::Index(d.size()), Eigen::Index(d.size()));
    for (std::size_t i = 0; i < d.size(); ++i) a.insert(Eigen::Index(i), Eigen::Index(i)) = d[i];
    a.makeCompressed();
    return a;
}

// Decoupled modes x_j' = mu_j x_j + b_j x_j(t - 1) + c_j x_j(t - 1/2):
// tr((lambda - U)^{-1} A_k) = sum_j a_kj / (lambda - mu_j), so the first
// order in the delayed terms is phi = -sum_j (b_j e^{-lambda} + c_j
// e^{-lambda/2}) / (lambda - mu_j), and phi' its derivative.
TEST(LeftSideTerm, FirstOrderOfDecoupledModes) {
    std::vector<double> mu, b, c;
    for (int j = 1; j <= 300; ++j) mu.push_back(-20.0 - 3.0 * j * j), b.push_back(3.0), c.push_back(0.1 * (j % 5));
    const quorv::sparse_quorv sys({decoupled(mu), decoupled(b), decoupled(c)}, {0.0, 1.0, 0.5});
    quorv::work_budget budget{1000};
    const double x = -2, height = 25;
    const auto phi = quorv::left_side_term(sys, x, height, budget);
    ASSERT_TRUE(phi.has_value());
    for (double y : {0.0, 3.3, 12.5, 20.1, 25.0}) {
        const cplx lambda(x, y);
        cplx value = 0, slope = 0;
        for (std::size_t j = 0; j < mu.size(); ++j) {
            const cplx d = lambda - mu[j], e1 = b[j] * std::exp(-lambda), e2 = c[j] * std::exp(-0.5 * lambda);
            value -= (e1 + e2) / d;
            slope += (e1 + 0.5 * e2) / d + (e1 + e2) / (d * d);
        }
        const auto [found, found_slope] = (*phi)(lambda);
        EXPECT_LT(std::abs(found - value), 1e-3 * std::abs(value)) << y;
        EXPECT_LT(std::abs(found_slope - slope), 1e-2 * std::abs(slope)) << y;
    }
}

// A 2-D diffusion's slowest mode mu (smooth) with u(t - 1): Newton's
// steps on the sparse det Delta from 1e-6 (relative) beside its root reach the root
// of lambda = mu + 3 e^{-lambda}.
TEST(SparseNewton, ReachesASmoothModesRootFromBesideIt) {
    const int m = 32;
    const double h2 = (m + 1.0) * (m + 1.0);
    std::vector<Eigen::Triplet<double>> entries;
    const auto at = [m](int i, int j) { return i * m + j; };
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            entries.emplace_back(at(i, j), at(i, j), -4 * h2 - 2);
            if (i > 0) entries.emplace_back(at(i, j), at(i - 1, j), h2), entries.emplace_back(at(i - 1, j), at(i, j), h2);
            if (j > 0) entries.emplace_back(at(i, j), at(i, j - 1), h2), entries.emplace_back(at(i, j - 1), at(i, j), h2);
        }
    matrix laplacian(m * m, m * m);
    laplacian.setFromTriplets(entries.begin(), entries.end());
    const quorv::sparse_quorv sys({laplacian, decoupled(std::vector<double>(m * m, 3.0))}, {0.0, 1.0});
    const double s = std::sin(M_PI / (2 * (m + 1)));
    const double mu = -8 * h2 * s * s - 2;
    double root = -2;
    for (int i = 0; i < 50; ++i) root -= (root - mu - 3 * std::exp(-root)) / (1 + 3 * std::exp(-root));
    quorv::work_budget budget{100};
    quorv::sparse_determinant f(sys, budget);
    cplx z = root - 1e-6 * std::abs(root);
    for (int step = 0; step < 6; ++step) z = f.newton_step(z).value_or(z);
    EXPECT_LT(std::abs(z - root), 1e-12 * std::abs(root));
}

}  // namespace
