#include "roots/analysis/sparse_sensitivity.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include <Eigen/QR>
#include <Eigen/SVD>

#include "roots/analysis/sensitivity.h"
#include "roots/krylov/characteristic_lu.h"
#include "roots/support/number_text.h"
#include "roots/support/validate_sparse.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;
using Eigen::Index;

// root_tolerance and multiple_root_factor (sensitivity.h) decide as for the
// dense model, with the backward error and the derivative measured against
// the size of Delta's and Delta''s terms.
// A second singular value below the root tolerance is a second null
// direction only when it is also within this factor of the first (or of
// rounding): at a simple root of a stiff system (a fine diffusion grid,
// |Delta|_F some 1e13) the next mode's singular value, some 30, is below
// 1e-8 of the terms' size yet 1e7 times the first one.
constexpr double separation = 1e3;
constexpr double rounding = std::numeric_limits<double>::epsilon();
// Inverse iteration with Delta^{-1} Delta^{-H} shrinks the share of every
// other singular direction by (sigma_min / sigma)^2 per pass: at a simple
// root, with sigma_min at rounding, two passes reach it from any start.
constexpr int iterations = 3;
// Delta exactly singular in floating point (a root that rounding hits
// exactly) has no LU factors; the iteration then uses them at a point this
// close, relative, which converges to the same null vectors.
constexpr double exact_root_shift = 1e-13;

// |lambda| + sum_k |e^{-lambda h_k}| |A_k|_F and 1 + sum_k h_k |e^{-lambda h_k}| |A_k|_F:
// the sizes Delta's and Delta''s terms reach however they cancel.
std::pair<double, double> term_sizes(const sparse_quorv& sys, cplx lambda) {
    double delta = std::abs(lambda), derivative = 1.0;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double term = std::exp(-lambda.real() * sys.hk(k)) * frobenius_norm(sys.A[k]);
        delta += term;
        derivative += sys.hk(k) * term;
    }
    return {delta, derivative};
}

Eigen::MatrixXcd orthonormal(const Eigen::MatrixXcd& x) {
    return Eigen::HouseholderQR<Eigen::MatrixXcd>(x).householderQ() * Eigen::MatrixXcd::Identity(x.rows(), x.cols());
}

null_vectors null_vectors_at(const sparse_quorv& sys, cplx lambda, double size) {
    const Index n = sys.n();
    if (n == 0) throw std::invalid_argument("a system of order 0 has no characteristic roots");
    characteristic_lu lu(sys);
    Eigen::VectorXcd ones = Eigen::VectorXcd::Ones(n), image;
    lu.apply(lambda, ones, image);
    if (!image.allFinite())
        throw std::invalid_argument("the characteristic matrix is not finite at " + text(lambda) +
                                    ": e^(-lambda h) overflows there");
    if (!lu.factor(lambda) && !lu.factor(lambda + exact_root_shift * std::max(1.0, std::abs(lambda))))
        throw std::invalid_argument("the characteristic matrix at " + text(lambda) + " could not be factored");
    const Index width = std::min<Index>(2, n);
    // Fixed starting vectors with no structure of their own, so that they
    // are not orthogonal to the null vectors.
    Eigen::MatrixXcd q = orthonormal(Eigen::MatrixXcd::NullaryExpr(
        n, width, [](Index i, Index j) { return std::polar(1.0, (0.7 + 0.6 * double(j)) * double(i) + 0.5 * double(j)); }));
    for (int pass = 0; pass < iterations; ++pass) {
        lu.solve_adjoint(q);
        lu.solve(q);
        q = orthonormal(q);
    }
    Eigen::MatrixXcd image_of_q(n, width);
    for (Index j = 0; j < width; ++j) {
        lu.apply(lambda, q.col(j), image);
        image_of_q.col(j) = image;
    }
    // Delta q's singular values bound Delta's two smallest from above and
    // converge to them.
    const Eigen::JacobiSVD<Eigen::MatrixXcd> svd(image_of_q, Eigen::ComputeThinV);
    const Eigen::VectorXd& sigma = svd.singularValues();
    const double smallest = sigma[width - 1];
    if (!(smallest <= root_tolerance * size))
        throw std::invalid_argument(
            text(lambda) + " is not a characteristic root: the smallest singular value of the "
            "characteristic matrix there is " + text(smallest) + ", " + text(smallest / size) +
            " times the size of its terms (a root has at most " + text(root_tolerance) + ")");
    if (width > 1 && sigma[0] <= root_tolerance * size && sigma[0] <= separation * std::max(smallest, rounding * size))
        throw std::invalid_argument(
            text(lambda) + " is a multiple root: the characteristic matrix has two singular values "
            "near zero there (" + text(sigma[0]) + " and " + text(smallest) + "), so the root has no derivative");
    const Eigen::VectorXcd v = q * svd.matrixV().col(width - 1);
    Eigen::VectorXcd u = v;
    lu.solve_adjoint(u);
    u.normalize();
    return {u, v, size > 0 ? smallest / size : 0.0};
}

}  // namespace

// Differentiating u^H Delta(lambda(p); p) v = 0 as for the dense model:
// d lambda / d (A_k)_{ij} = e^{-lambda h_k} conj(u_i) v_j / d and
// d lambda / d h_k = -lambda e^{-lambda h_k} u^H A_k v / d, d = u^H Delta' v.
sparse_root_sensitivity sensitivity(const sparse_quorv& sys, cplx lambda) {
    validate(sys);
    if (!std::isfinite(lambda.real()) || !std::isfinite(lambda.imag()))
        throw std::invalid_argument("the root is not finite: " + text(lambda));
    const auto [size, derivative_size] = term_sizes(sys, lambda);
    const null_vectors null = null_vectors_at(sys, lambda, size);
    // Delta'(lambda) v = v + sum_k h_k e^{-lambda h_k} A_k v.
    Eigen::VectorXcd slope = null.v;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) != 0) slope += (sys.hk(k) * std::exp(-lambda * sys.hk(k))) * (sys.A[k] * null.v);
    const cplx d = null.u.dot(slope);
    const double eta = std::max(null.backward_error, std::numeric_limits<double>::epsilon());
    if (std::abs(d) <= multiple_root_factor * std::sqrt(eta) * derivative_size)
        throw std::invalid_argument(
            text(lambda) + " is a multiple root, or too close to one to have a derivative: "
            "u^H Delta'(lambda) v is " + text(std::abs(d) / derivative_size) +
            " times the size of the terms of Delta'");
    sparse_root_sensitivity result{{}, Eigen::VectorXcd(Index(sys.mA()))};
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const cplx e = std::exp(-lambda * sys.hk(k));
        sparse_root_sensitivity::matrix dA = sys.A[k].cast<cplx>();
        for (Index j = 0; j < dA.outerSize(); ++j)
            for (decltype(dA)::InnerIterator it(dA, j); it; ++it)
                it.valueRef() = e / d * std::conj(null.u[it.row()]) * null.v[j];
        result.A.push_back(std::move(dA));
        result.h[Index(k)] = -lambda * e * null.u.dot(sys.A[k] * null.v) / d;
    }
    return result;
}

}  // namespace quorv
