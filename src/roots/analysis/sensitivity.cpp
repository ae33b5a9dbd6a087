#include "roots/analysis/sensitivity.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include <Eigen/SVD>

#include "roots/local/residual.h"
#include "roots/support/number_text.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

using Eigen::Index;
using cplx = std::complex<double>;

// A root refined by roots has a backward error near machine precision. Up to
// 1e-8 relative to the size of Delta's terms still leaves the first-order
// derivatives about that accurate; beyond it lambda is not a root.
constexpr double root_tolerance = 1e-8;

// At a double root, a point with backward error eta lies about sqrt(eta)
// from it, and u^H Delta' v is of that size there (smaller still at a higher
// multiplicity); at a simple root it stays away from zero however small eta is.
// u^H Delta' v within ten times sqrt(eta) of zero is therefore a multiple root,
// or a point too close to one for its first-order derivative to mean anything.
constexpr double multiple_root_factor = 10.0;

// The sizes of the terms of Delta(lambda) = lambda I - sum_k e^{-lambda h_k} A_k
// and of Delta'(lambda) = I + sum_k h_k e^{-lambda h_k} A_k: they bound the
// norms of both matrices however the terms cancel (at a scalar root Delta is
// zero), so a singular value or a product measured against them is relative
// to what rounding in forming the matrix can reach.
struct term_sizes {
    double Delta = 0.0;
    double derivative = 1.0;
};

term_sizes sizes_of_terms(const quorv& sys, cplx lambda) {
    term_sizes sizes{std::abs(lambda), 1.0};
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double term = std::abs(std::exp(-lambda * sys.hk(k))) * sys.Ak(k).stableNorm();
        sizes.Delta += term;
        sizes.derivative += sys.hk(k) * term;
    }
    return sizes;
}

struct null_vectors {
    Eigen::VectorXcd u;  // u^H Delta(lambda) = 0
    Eigen::VectorXcd v;  // Delta(lambda) v = 0
    double backward_error = 0.0;
};

// The singular vectors of Delta(lambda)'s smallest singular value, after
// checking that it is zero (lambda is a root) and the next one is not (the
// null space is one-dimensional).
null_vectors null_vectors_at(const quorv& sys, cplx lambda, double size) {
    const Index n = sys.n();
    if (n == 0) throw std::invalid_argument("a system of order 0 has no characteristic roots");
    Eigen::MatrixXcd Delta(n, n);
    characteristic_matrix(sys, lambda, Delta);
    if (!Delta.allFinite())
        throw std::invalid_argument("the characteristic matrix is not finite at " + text(lambda) +
                                    ": e^(-lambda h) overflows there");
    const Eigen::JacobiSVD<Eigen::MatrixXcd> svd(Delta, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::VectorXd& sigma = svd.singularValues();
    if (sigma[n - 1] > root_tolerance * size)
        throw std::invalid_argument(
            text(lambda) + " is not a characteristic root: the smallest singular value of the "
            "characteristic matrix there is " + text(sigma[n - 1]) + ", " +
            text(sigma[n - 1] / size) + " times the size of its terms (a root has at most " +
            text(root_tolerance) + ")");
    if (n > 1 && sigma[n - 2] <= root_tolerance * size)
        throw std::invalid_argument(
            text(lambda) + " is a multiple root: the characteristic matrix has two singular values "
            "near zero there (" + text(sigma[n - 2]) + " and " + text(sigma[n - 1]) +
            "), so the root has no derivative");
    return {svd.matrixU().col(n - 1), svd.matrixV().col(n - 1),
            size > 0 ? sigma[n - 1] / size : 0.0};
}

// Delta'(lambda) v = v + sum_k h_k e^{-lambda h_k} A_k v.
Eigen::VectorXcd derivative_times(const quorv& sys, cplx lambda, const Eigen::VectorXcd& v) {
    Eigen::VectorXcd product = v;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        product += (sys.hk(k) * std::exp(-lambda * sys.hk(k))) * (sys.Ak(k) * v);
    return product;
}

// u^H Delta'(lambda) v, the denominator of every derivative, refused when it
// is too close to zero for lambda to be a simple root.
cplx simple_root_denominator(const quorv& sys, cplx lambda, const null_vectors& null,
                             double size) {
    const cplx d = null.u.dot(derivative_times(sys, lambda, null.v));
    const double eta = std::max(null.backward_error, std::numeric_limits<double>::epsilon());
    if (std::abs(d) <= multiple_root_factor * std::sqrt(eta) * size)
        throw std::invalid_argument(
            text(lambda) + " is a multiple root, or too close to one to have a derivative: "
            "u^H Delta'(lambda) v is " + text(std::abs(d) / size) +
            " times the size of the terms of Delta'");
    return d;
}

}  // namespace

// Differentiating u^H Delta(lambda(p); p) v = 0 along a parameter p gives
// dlambda/dp = -u^H (dDelta/dp) v / (u^H Delta'(lambda) v), since u^H Delta
// and Delta v vanish. dDelta/d(A_k)_{ij} = -e^{-lambda h_k} e_i e_j^T gives
// e^{-lambda h_k} conj(u_i) v_j / d, and dDelta/dh_k = lambda e^{-lambda h_k} A_k
// gives -lambda e^{-lambda h_k} u^H A_k v / d.
root_sensitivity sensitivity(const quorv& sys, cplx lambda) {
    validate(sys);
    if (!std::isfinite(lambda.real()) || !std::isfinite(lambda.imag()))
        throw std::invalid_argument("the root is not finite: " + text(lambda));
    const term_sizes sizes = sizes_of_terms(sys, lambda);
    const null_vectors null = null_vectors_at(sys, lambda, sizes.Delta);
    const cplx d = simple_root_denominator(sys, lambda, null, sizes.derivative);
    const Eigen::MatrixXcd outer = null.u.conjugate() * null.v.transpose();
    root_sensitivity result{{}, Eigen::VectorXcd(static_cast<Index>(sys.mA()))};
    result.A.reserve(sys.mA());
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const cplx e = std::exp(-lambda * sys.hk(k));
        result.A.push_back((e / d) * outer);
        result.h[static_cast<Index>(k)] = -lambda * e * null.u.dot(sys.Ak(k) * null.v) / d;
    }
    return result;
}

}  // namespace quorv
