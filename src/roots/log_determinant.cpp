#include "roots/log_determinant.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

// LAPACK from the scipy-openblas32 wheel (see eigenvalues.cpp): dense and
// band LU factorisation and solve, 32-bit integers, prefixed symbols.
extern "C" {
void scipy_zgetrf_(const std::int32_t* m, const std::int32_t* n, std::complex<double>* a, const std::int32_t* lda,
                   std::int32_t* ipiv, std::int32_t* info);
void scipy_zgetrs_(const char* trans, const std::int32_t* n, const std::int32_t* nrhs, const std::complex<double>* a,
                   const std::int32_t* lda, const std::int32_t* ipiv, std::complex<double>* b,
                   const std::int32_t* ldb, std::int32_t* info, std::size_t trans_length);
void scipy_zgbtrf_(const std::int32_t* m, const std::int32_t* n, const std::int32_t* kl, const std::int32_t* ku,
                   std::complex<double>* ab, const std::int32_t* ldab, std::int32_t* ipiv, std::int32_t* info);
void scipy_zgbtrs_(const char* trans, const std::int32_t* n, const std::int32_t* kl, const std::int32_t* ku,
                   const std::int32_t* nrhs, const std::complex<double>* ab, const std::int32_t* ldab,
                   const std::int32_t* ipiv, std::complex<double>* b, const std::int32_t* ldb, std::int32_t* info,
                   std::size_t trans_length);
void scipy_openblas_set_num_threads(int threads);
}

namespace quorv {

namespace {

// Band storage takes 2 kl + ku + 1 rows of length n; the band LU costs
// O(n kl (kl + ku)) and the solve for the n columns of Delta' O(n^2 (2 kl +
// ku)), against O(n^3) dense. Below this order, or for a band wider than a
// quarter of n, the dense LU is as fast.
constexpr Eigen::Index band_from_order = 24;

bool worth_a_band(const band& b, Eigen::Index n) {
    return n >= band_from_order && 4 * (2 * b.lower + b.upper + 1) <= n;
}

}  // namespace

// Delta in band storage when its union pattern is banded in the natural
// order of the unknowns or, failing that, in the banding order (a ring's
// corners leave the natural band full); dense otherwise.
log_determinant::log_determinant(const quorv& sys, work_budget& budget)
    : sys(sys), work(budget), Delta(sys.n(), sys.n()), dDelta(sys.n(), sys.n()), pivots(sys.n()) {
    const Eigen::Index n = sys.n();
    bw = union_band(sys);
    use_band = worth_a_band(bw, n);
    if (!use_band && n >= band_from_order) {
        const std::vector<Eigen::Index> order = banding_order(sys);
        const band gathered = union_band(sys, order);
        if (worth_a_band(gathered, n)) {
            for (std::size_t k = 0; k < sys.mA(); ++k) reordered.push_back(sys.Ak(k)(order, order));
            bw = gathered;
            use_band = true;
        }
    }
    if (use_band) bands.resize(2 * bw.lower + bw.upper + 1, n);
}

// Delta = lambda I - sum_k e^{-lambda h_k} A_k, Delta' = I + sum_k h_k e^{-lambda h_k} A_k.
void log_determinant::form(std::complex<double> lambda) {
    Delta.setZero();
    Delta.diagonal().setConstant(lambda);
    dDelta.setIdentity();
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double h = sys.hk(k);
        const Eigen::MatrixXd& a = term(k);
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
    form(lambda);
    if (!Delta.allFinite() || !dDelta.allFinite()) return false;
    double phase = 0;
    std::complex<double> g;
    if (!(use_band ? band_sample(phase, g) : dense_sample(phase, g))) return false;
    if (!std::isfinite(g.real()) || !std::isfinite(g.imag())) return false;
    out = {lambda, phase, g};
    return true;
}

// Delta is factored in place (it is formed anew for every evaluation) and
// Delta' solved for in its own storage: LAPACK's blocked routines, faster
// than Eigen's LU at every order (about 3x from order 20 on, measured).
bool log_determinant::dense_sample(double& phase, std::complex<double>& g) {
    const std::int32_t n = static_cast<std::int32_t>(sys.n());
    std::int32_t info = 0;
    scipy_openblas_set_num_threads(1);
    scipy_zgetrf_(&n, &n, Delta.data(), &n, pivots.data(), &info);
    if (info < 0) throw std::logic_error("zgetrf refused its argument " + std::to_string(-info));
    if (info > 0) return false;
    phase = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (pivots[i] != i + 1) phase += std::numbers::pi;
        phase += std::arg(Delta(i, i));
    }
    const char no_transpose = 'N';
    scipy_zgetrs_(&no_transpose, &n, &n, Delta.data(), &n, pivots.data(), dDelta.data(), &n, &info, 1);
    if (info < 0) throw std::logic_error("zgetrs refused its argument " + std::to_string(-info));
    g = dDelta.trace();
    return true;
}

// Row kl + ku + i - j of the band storage holds Delta(i, j); the first kl
// rows are room for the fill-in of the row interchanges. Each interchange
// (ipiv[i] != i + 1) flips the sign of the determinant. Delta' is solved
// for in place, in dDelta's storage.
bool log_determinant::band_sample(double& phase, std::complex<double>& g) {
    const std::int32_t n = static_cast<std::int32_t>(sys.n()), kl = static_cast<std::int32_t>(bw.lower),
                       ku = static_cast<std::int32_t>(bw.upper), ldab = static_cast<std::int32_t>(bands.rows());
    bands.setZero();
    for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = std::max(0, j - ku); i <= std::min(n - 1, j + kl); ++i) bands(kl + ku + i - j, j) = Delta(i, j);
    std::int32_t info = 0;
    // One OpenBLAS thread, as for every LAPACK call here (see eigenvalues.cpp).
    scipy_openblas_set_num_threads(1);
    scipy_zgbtrf_(&n, &n, &kl, &ku, bands.data(), &ldab, pivots.data(), &info);
    if (info < 0) throw std::logic_error("zgbtrf refused its argument " + std::to_string(-info));
    if (info > 0) return false;
    phase = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (pivots[i] != i + 1) phase += std::numbers::pi;
        phase += std::arg(bands(kl + ku, i));
    }
    const char no_transpose = 'N';
    scipy_zgbtrs_(&no_transpose, &n, &kl, &ku, &n, bands.data(), &ldab, pivots.data(), dDelta.data(), &n, &info, 1);
    if (info < 0) throw std::logic_error("zgbtrs refused its argument " + std::to_string(-info));
    g = dDelta.trace();
    return true;
}

}  // namespace quorv
