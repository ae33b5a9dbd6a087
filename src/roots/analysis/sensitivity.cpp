#include "roots/analysis/sensitivity.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include <Eigen/SVD>

#include "roots/local/residual.h"
#include "roots/support/balance.h"
#include "roots/support/number_text.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

using Eigen::Index;
using cplx = std::complex<double>;

// The size of the terms of Delta(lambda) = lambda I - sum_k e^{-lambda h_k} A_k:
// it bounds the norm of Delta however the terms cancel (at a scalar root
// Delta is zero), so a singular value measured against it is relative to
// what rounding in forming the matrix can reach.
double size_of_terms(const quorv& sys, cplx lambda) {
    double size = std::abs(lambda);
    for (std::size_t k = 0; k < sys.mA(); ++k) size += std::abs(std::exp(-lambda * sys.hk(k))) * sys.Ak(k).stableNorm();
    return size;
}

// Delta(lambda) and Delta'(lambda) in the coordinates in which the
// decisions are made: the balanced system (its states in units of comparable
// size), each row divided by the terms that cancel in it, |lambda| +
// sum_k |e^{-lambda h_k}| sum_j |A_k,ij|. Rounding acts on each row relative
// to those terms, so a singular value of the scaled matrix measures against
// rounding at this root, whatever the units of the states and however stiff
// the system: a slow mode's row beside a stiff one's keeps its own scale.
// With D the balancing and W the row scaling, M = W D^-1 Delta D.
struct scaled_matrices {
    Eigen::MatrixXcd Delta;
    Eigen::MatrixXcd derivative;  // M' = W D^-1 Delta' D
    // The largest row of 1 + sum_k h_k |e^{-lambda h_k}| |A_k| (balanced),
    // scaled as M: the size of the terms of M'.
    double derivative_size = 0;
    Eigen::VectorXd left;   // W D^-1: u = left .* u_M solves u^H Delta = 0
    Eigen::VectorXd right;  // D: v = right .* v_M solves Delta v = 0
};

scaled_matrices scaled_at(const quorv& sys, cplx lambda) {
    const balanced_system b = balanced(sys);
    const Index n = sys.n();
    scaled_matrices m{Eigen::MatrixXcd(n, n), Eigen::MatrixXcd::Identity(n, n), 0.0, Eigen::VectorXd(n), b.scale};
    characteristic_matrix(b.sys, lambda, m.Delta);
    Eigen::VectorXd terms = Eigen::VectorXd::Constant(n, std::abs(lambda));
    Eigen::VectorXd derivative_terms = Eigen::VectorXd::Ones(n);
    for (std::size_t k = 0; k < b.sys.mA(); ++k) {
        const cplx e = std::exp(-lambda * b.sys.hk(k));
        m.derivative += (b.sys.hk(k) * e) * b.sys.Ak(k);
        const Eigen::VectorXd row_sums = std::abs(e) * b.sys.Ak(k).cwiseAbs().rowwise().sum();
        terms += row_sums;
        derivative_terms += b.sys.hk(k) * row_sums;
    }
    // A row with no terms at all (lambda = 0 and a zero row) is exactly
    // singular: left unscaled.
    for (Index i = 0; i < n; ++i) m.left[i] = (terms[i] > 0 ? 1 / terms[i] : 1.0) / b.scale[i];
    const Eigen::VectorXd rows = m.left.cwiseProduct(b.scale);
    m.Delta = rows.asDiagonal() * m.Delta;
    m.derivative = rows.asDiagonal() * m.derivative;
    m.derivative_size = rows.cwiseProduct(derivative_terms).maxCoeff();
    return m;
}

// The null vectors of the scaled matrix M: u_M^H M = 0 and M v_M = 0.
// The singular vectors of Delta(lambda)'s smallest singular value, after
// checking that it is zero (lambda is a root: against the size of all the
// terms, as roots accepts it) and that the next one of the scaled matrix is
// not (the null space is one-dimensional).
null_vectors null_vectors_at(const quorv& sys, cplx lambda, const scaled_matrices& m, double size) {
    const Index n = sys.n();
    Eigen::MatrixXcd Delta(n, n);
    characteristic_matrix(sys, lambda, Delta);
    if (!Delta.allFinite() || !m.Delta.allFinite())
        throw std::invalid_argument("the characteristic matrix is not finite at " + text(lambda) +
                                    ": e^(-lambda h) overflows there");
    const Eigen::VectorXd sigma = Eigen::JacobiSVD<Eigen::MatrixXcd>(Delta).singularValues();
    if (sigma[n - 1] > root_tolerance * size)
        throw std::invalid_argument(
            text(lambda) + " is not a characteristic root: the smallest singular value of the "
            "characteristic matrix there is " + text(sigma[n - 1]) + ", " +
            text(sigma[n - 1] / size) + " times the size of its terms (a root has at most " +
            text(root_tolerance) + ")");
    const Eigen::JacobiSVD<Eigen::MatrixXcd> svd(m.Delta, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::VectorXd& scaled = svd.singularValues();
    if (n > 1 && scaled[n - 2] <= root_tolerance)
        throw std::invalid_argument(
            text(lambda) + " is a multiple root: the characteristic matrix has two singular values "
            "near zero there (" + text(scaled[n - 2]) + " and " + text(scaled[n - 1]) +
            "), so the root has no derivative");
    return {svd.matrixU().col(n - 1), svd.matrixV().col(n - 1), scaled[n - 1]};
}

// u^H Delta'(lambda) v, the denominator of every derivative, for the null
// vectors u = W D^-1 u_M and v = D v_M of Delta: it equals u_M^H M' v_M,
// whose rows are measured against their own terms. Refused when it is too
// close to zero for lambda to be a simple root.
cplx simple_root_denominator(cplx lambda, const scaled_matrices& m, const null_vectors& null) {
    const cplx d = null.u.dot(m.derivative * null.v);
    const double size = m.derivative_size;
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
    if (sys.n() == 0) throw std::invalid_argument("a system of order 0 has no characteristic roots");
    const scaled_matrices scaled = scaled_at(sys, lambda);
    const null_vectors null = null_vectors_at(sys, lambda, scaled, size_of_terms(sys, lambda));
    const cplx d = simple_root_denominator(lambda, scaled, null);
    // The null vectors of Delta itself, u^H Delta = 0 and Delta v = 0; the
    // derivatives do not depend on their lengths.
    const Eigen::VectorXcd u = scaled.left.cwiseProduct(null.u), v = scaled.right.cwiseProduct(null.v);
    const Eigen::MatrixXcd outer = u.conjugate() * v.transpose();
    root_sensitivity result{{}, Eigen::VectorXcd(static_cast<Index>(sys.mA()))};
    result.A.reserve(sys.mA());
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const cplx e = std::exp(-lambda * sys.hk(k));
        result.A.push_back((e / d) * outer);
        result.h[static_cast<Index>(k)] = -lambda * e * u.dot(sys.Ak(k) * v) / d;
    }
    return result;
}

}  // namespace quorv
