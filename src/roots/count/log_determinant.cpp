#include "roots/count/log_determinant.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

#include "roots/local/residual.h"
#include "roots/support/singular_values.h"

// LAPACK from the scipy-openblas32 wheel (see eigenvalues.cpp): dense LU
// factorisation and solve, 32-bit integers, prefixed symbols.
extern "C" {
void scipy_zgetrf_(const std::int32_t* m, const std::int32_t* n, std::complex<double>* a, const std::int32_t* lda,
                   std::int32_t* ipiv, std::int32_t* info);
void scipy_zgetrs_(const char* trans, const std::int32_t* n, const std::int32_t* nrhs, const std::complex<double>* a,
                   const std::int32_t* lda, const std::int32_t* ipiv, std::complex<double>* b,
                   const std::int32_t* ldb, std::int32_t* info, std::size_t trans_length);
void scipy_openblas_set_num_threads(int threads);
}

namespace quorv {

namespace {

// The band LU costs O(n kl (kl + ku)) against O(n^3) dense (see
// banded_determinant). Below this order, or for a band wider than a quarter
// of n, the dense LU is as fast.
constexpr Eigen::Index band_from_order = 24;

// |Re z| + |Im z| for each entry: within sqrt(2) of |z|, which is enough for
// an estimate of |Delta^{-1}|, and free of the care against overflow that
// makes std::abs cost more than the rest of a small evaluation.
template <typename Derived>
auto magnitudes(const Eigen::MatrixBase<Derived>& m) {
    return m.real().cwiseAbs() + m.imag().cwiseAbs();
}

bool worth_a_band(const band& b, Eigen::Index n) {
    return n >= band_from_order && 4 * (2 * b.lower + b.upper + 1) <= n;
}

// An evaluation counts only when the rounding of Delta's terms, amplified
// by |Delta^{-1}|, moves det Delta by less than this share: its phase is
// then right to about as many radians, far within what a count tolerates
// (a step's phase change is taken modulo 2 pi and kept below 1 rad), and
// Newton's method on det Delta gets to within the rounding's reach of a
// simple zero. Near a multiple root det Delta falls below its rounding (at
// distance d from a defective m-fold root Delta's smallest singular value is
// about d^m), and a phase made of rounding would let the argument principle
// count zeros that are not there.
constexpr double trusted_share = 1e-2;

}  // namespace

// Delta in band storage when its union pattern is banded in the natural
// order of the unknowns or, failing that, in the banding order (a ring's
// corners leave the natural band full); dense otherwise.
log_determinant::log_determinant(const quorv& sys, work_budget& budget) : sys(sys), work(budget) {
    const Eigen::Index n = sys.n();
    for (std::size_t k = 0; k < sys.mA(); ++k)
        term_norms.push_back(n == 0 ? 0.0 : sys.Ak(k).cwiseAbs().colwise().sum().maxCoeff());
    const band natural = union_band(sys);
    if (worth_a_band(natural, n)) {
        band_form.emplace(sys, std::vector<Eigen::Index>{}, natural);
        return;
    }
    if (n >= band_from_order) {
        const std::vector<Eigen::Index> order = banding_order(sys);
        const band gathered = union_band(sys, order);
        if (worth_a_band(gathered, n)) {
            band_form.emplace(sys, order, gathered);
            return;
        }
    }
    Delta.resize(n, n);
    dDelta.resize(n, n);
    row_terms.resize(n);
    for (std::size_t k = 0; k < sys.mA(); ++k) row_sums.push_back(sys.Ak(k).cwiseAbs().rowwise().sum());
    pivots.resize(std::size_t(n));
}

// Delta = lambda I - sum_k e^{-lambda h_k} A_k, Delta' = I + sum_k h_k e^{-lambda h_k} A_k.
void log_determinant::form(std::complex<double> lambda) {
    Delta.setZero();
    Delta.diagonal().setConstant(lambda);
    dDelta.setIdentity();
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double h = sys.hk(k);
        const Eigen::MatrixXd& a = sys.Ak(k);
        const std::complex<double> e = std::exp(std::complex<double>(-lambda.real() * h, -lambda.imag() * h));
        Delta.real() -= e.real() * a;
        Delta.imag() -= e.imag() * a;
        if (h == 0) continue;
        dDelta.real() += (h * e.real()) * a;
        dDelta.imag() += (h * e.imag()) * a;
    }
}

bool log_determinant::evaluate(std::complex<double> lambda, log_det_sample& out) {
    if (!work.spend()) return false;
    double phase = 0, inverse_norm = 0;
    std::complex<double> g;
    const bool sampled =
        band_form ? band_form->sample(lambda, phase, g, inverse_norm) && inverse_norm <= trusted_share / rounding(lambda)
                  : dense_sample(lambda, trusted_share / row_rounding(), phase, g);
    if (!sampled || !std::isfinite(g.real()) || !std::isfinite(g.imag())) return false;
    out = {lambda, phase, g};
    return true;
}

// Forming and factoring Delta perturbs it by some epsilon times the terms
// that cancel in it, |lambda| + sum_k |e^{-lambda h_k}| |A_k| (times a
// modest growth, usually far below its worst case); det Delta changes by
// the share |tr(Delta^{-1} E)| <= n |Delta^{-1}| |E| of itself. The share
// is trusted_share when |Delta^{-1}| reaches trusted_share / rounding.
double log_determinant::rounding(std::complex<double> lambda) const {
    double terms = std::abs(lambda);
    for (std::size_t k = 0; k < sys.mA(); ++k) terms += std::exp(-lambda.real() * sys.hk(k)) * term_norms[k];
    return static_cast<double>(sys.n()) * std::numeric_limits<double>::epsilon() * terms;
}

// The dense evaluation divides each row of Delta and Delta' by the terms
// that cancel in it, t_i = |lambda| + sum_k |e^{-lambda h_k}| sum_j |A_k,ij|:
// a positive factor per row changes neither the phase of det Delta nor
// g = tr(Delta^{-1} Delta'), but the rounding of each scaled row is then
// some epsilon of it, so the trust in an evaluation is relative to the
// rows near the root rather than to the largest entry (a stiff mode of
// 1e8 beside a slow one of 1 would otherwise hide the slow root's
// neighbourhood in a rounding of 1e8 epsilon).
double log_determinant::row_rounding() const {
    return static_cast<double>(sys.n()) * std::numeric_limits<double>::epsilon();
}

void log_determinant::scale_rows(std::complex<double> lambda) {
    row_terms.setConstant(std::abs(lambda));
    for (std::size_t k = 0; k < sys.mA(); ++k)
        row_terms += std::exp(-lambda.real() * sys.hk(k)) * row_sums[k];
    // Reciprocals first: n divisions rather than 2 n^2, which cost as much
    // as a small LU.
    for (Eigen::Index i = 0; i < row_terms.size(); ++i)
        row_terms[i] = row_terms[i] > 0 ? 1 / row_terms[i] : 1;  // a zero row: Delta is singular whatever the scale
    Delta = row_terms.asDiagonal() * Delta;
    dDelta = row_terms.asDiagonal() * dDelta;
}

// Delta is factored in place (it is formed anew for every evaluation) and
// Delta' solved for in its own storage: LAPACK's blocked routines, faster
// than Eigen's LU at every order (about 3x from order 20 on, measured).
// |Delta^{-1}|_1 is at least 1 / min |u_kk| (a small pivot is how partial
// pivoting shows a nearly singular Delta) and at least |X_j|_1 / |Delta'_j|_1
// for every column of X = Delta^{-1} Delta', which the solve gives anyway;
// near a root X is large in the direction of its null vector.
bool log_determinant::dense_sample(std::complex<double> lambda, double limit, double& phase,
                                   std::complex<double>& g) {
    form(lambda);
    scale_rows(lambda);
    if (!Delta.allFinite() || !dDelta.allFinite()) return false;
    const std::int32_t n = static_cast<std::int32_t>(sys.n());
    if (n == 0) {
        phase = 0, g = 0;
        return true;
    }
    std::int32_t info = 0;
    scipy_openblas_set_num_threads(1);
    scipy_zgetrf_(&n, &n, Delta.data(), &n, pivots.data(), &info);
    if (info < 0) throw std::logic_error("zgetrf refused its argument " + std::to_string(-info));
    if (info > 0 || 1 / magnitudes(Delta.diagonal()).minCoeff() > limit) return false;
    phase = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (pivots[i] != i + 1) phase += std::numbers::pi;
        phase += std::arg(Delta(i, i));
    }
    derivative_norms = magnitudes(dDelta).colwise().sum().transpose();
    const char no_transpose = 'N';
    scipy_zgetrs_(&no_transpose, &n, &n, Delta.data(), &n, pivots.data(), dDelta.data(), &n, &info, 1);
    if (info < 0) throw std::logic_error("zgetrs refused its argument " + std::to_string(-info));
    for (std::int32_t j = 0; j < n; ++j)
        if (magnitudes(dDelta.col(j)).sum() > limit * derivative_norms[j]) return false;
    g = dDelta.trace();
    return true;
}

Eigen::VectorXd row_term_sums(const quorv& sys, std::complex<double> z) {
    Eigen::VectorXd terms = Eigen::VectorXd::Constant(sys.n(), std::abs(z));
    for (std::size_t k = 0; k < sys.mA(); ++k)
        terms += std::exp(-z.real() * sys.hk(k)) * sys.Ak(k).cwiseAbs().rowwise().sum();
    return terms;
}

Eigen::MatrixXcd rows_scaled_by_terms(const quorv& sys, std::complex<double> z, const Eigen::VectorXd& terms) {
    Eigen::MatrixXcd Delta(sys.n(), sys.n());
    characteristic_matrix(sys, z, Delta);
    if (!Delta.allFinite() || !(terms.array() > 0).all()) return {};
    Delta.array().colwise() /= terms.array();
    if (!Delta.allFinite()) return {};
    return Delta;
}

// Also 0 at a row whose terms are all 0: such a row of Delta is 0.
double log_determinant::singularity(std::complex<double> z) {
    constexpr double infinite = std::numeric_limits<double>::infinity();
    const Eigen::VectorXd terms = row_term_sums(sys, z);
    Eigen::MatrixXcd scaled = rows_scaled_by_terms(sys, z, terms);
    if (scaled.size() == 0) return (terms.array() > 0).all() ? infinite : 0.0;
    const Eigen::VectorXd sigma = singular_values(scaled);
    return sigma[sigma.size() - 1];
}

}  // namespace quorv
