#include "roots/crossing/crossing_matrix.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "roots/crossing/isolated_zero.h"
#include "roots/support/spectral_norm.h"

// LAPACK's singular values as the scipy-openblas32 wheel exports it: the
// symbol prefixed with scipy_, 32-bit integers, the lengths of the character
// arguments last. Eigen's Jacobi SVD of a complex 20 x 20 matrix is some
// thirty times slower, and the search takes thousands of them.
extern "C" void scipy_zgesvd_(const char* jobu, const char* jobvt, const std::int32_t* m, const std::int32_t* n,
                              std::complex<double>* a, const std::int32_t* lda, double* s,
                              std::complex<double>* u, const std::int32_t* ldu, std::complex<double>* vt,
                              const std::int32_t* ldvt, std::complex<double>* work, const std::int32_t* lwork,
                              double* rwork, std::int32_t* info, std::size_t jobu_length,
                              std::size_t jobvt_length);
extern "C" void scipy_openblas_set_num_threads(int threads);

namespace quorv {

double spectral_norm_bound(const Eigen::MatrixXcd& m) {
    return std::sqrt(m.cwiseAbs().colwise().sum().maxCoeff() * m.cwiseAbs().rowwise().sum().maxCoeff());
}

crossing_matrix::crossing_matrix(const quorv& sys, const std::vector<std::size_t>& growing)
    : sys(sys), grows(sys.mA(), false), Delta(sys.n(), sys.n()), overwritten(sys.n(), sys.n()),
      singular_values(sys.n()), real_work(5 * std::max<Eigen::Index>(sys.n(), 1)) {
    if (sys.n() > 0 && std::numeric_limits<std::int32_t>::max() / sys.n() < sys.n()) throw std::bad_alloc();
    // One thread, as for the pencil: parallel work belongs to the caller.
    scipy_openblas_set_num_threads(1);
    work.resize(1);
    lapack_svd(-1);  // the work space LAPACK asks for
    work.resize(std::max(1, static_cast<int>(work(0).real())));
    for (const std::size_t k : growing) grows[k] = true;
    // The fixed undelayed terms act on a crossing through their sum U alone.
    Eigen::MatrixXd fixed_undelayed = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    double weighted_norms = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double norm = spectral_norm(sys.A[k]);
        norm_sum += norm;
        delay_weighted_norms += sys.hA[k] * norm;
        squared_delay_weighted_norms += sys.hA[k] * sys.hA[k] * norm;
        if (grows[k]) growing_norms += norm, growing_delay_weighted_norms += sys.hA[k] * norm;
        if (grows[k] || sys.hA[k] > 0) weighted_norms += norm;
        else fixed_undelayed += sys.A[k];
    }
    // At a crossing, jw = v* U v + sum_k c_k v* A_k v for a unit vector v
    // and unimodular c_k over the other terms. v* U v is at most |U| in
    // modulus and its imaginary part is v* K v / i with K the skew part of
    // U, so |w| <= min(|U|, |K|) + sum_k |A_k|: a system damped by a
    // symmetric undelayed part has its crossings at low frequencies.
    const Eigen::MatrixXd skew = 0.5 * (fixed_undelayed - fixed_undelayed.transpose());
    frequency_limit = std::min(spectral_norm(fixed_undelayed), spectral_norm(skew)) + weighted_norms;
}

std::complex<double> crossing_matrix::phase_factor(std::size_t k, double w, double phi) const {
    return std::polar(1.0, -(w * sys.hA[k] + (grows[k] ? phi : 0.0)));
}

const Eigen::MatrixXcd& crossing_matrix::at(double w, double phi) {
    w_at = w, phi_at = phi;
    Delta.setIdentity();
    Delta *= std::complex<double>(0, w);
    for (std::size_t k = 0; k < sys.mA(); ++k) Delta -= phase_factor(k, w, phi) * sys.A[k].cast<std::complex<double>>();
    return Delta;
}

// d/dw e^{-j(w h + phi)} = -j h e^{...} and d/dphi e^{-j(w h + phi)} = -j e^{...},
// each entering Delta with a minus sign.
void crossing_matrix::derivatives(Eigen::MatrixXcd& by_w, Eigen::MatrixXcd& by_phi) const {
    const std::complex<double> j(0, 1);
    by_w.setIdentity(sys.n(), sys.n());
    by_w *= j;
    by_phi.setZero(sys.n(), sys.n());
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const std::complex<double> e = j * phase_factor(k, w_at, phi_at);
        by_w += (e * sys.hA[k]) * sys.A[k].cast<std::complex<double>>();
        if (grows[k]) by_phi += e * sys.A[k].cast<std::complex<double>>();
    }
}

// Singular values only; lwork = -1 asks for the work space's size instead.
// A negative info names an argument LAPACK refused, a fault of this code; a
// positive one, an iteration that did not converge, gives NaN, which no
// bound exceeds, so the cell is divided rather than dropped.
double crossing_matrix::lapack_svd(std::int32_t lwork) {
    const std::int32_t n = static_cast<std::int32_t>(sys.n()), lda = std::max(n, 1), one = 1;
    const char none = 'N';
    std::int32_t info = 0;
    scipy_zgesvd_(&none, &none, &n, &n, overwritten.data(), &lda, singular_values.data(), nullptr, &one, nullptr,
                  &one, work.data(), &lwork, real_work.data(), &info, 1, 1);
    if (info < 0) throw std::logic_error("zgesvd refused its argument " + std::to_string(-info));
    return info == 0 && n > 0 ? singular_values(n - 1) : std::numeric_limits<double>::quiet_NaN();
}

double crossing_matrix::smallest_singular_value(double w, double phi) {
    overwritten = at(w, phi);
    return lapack_svd(static_cast<std::int32_t>(work.size()));
}

namespace {

// Delta is formed to this share of its terms.
constexpr double rounding_share = 1e-13;

}  // namespace

// Delta(p) = Delta(c) (I + Delta(c)^{-1} (Delta(p) - Delta(c))) is
// nonsingular when the second factor's perturbation has norm below 1. With
// Delta(p) - Delta(c) = Delta_w dw + Delta_phi dphi + R, |R| at most the
// second-order bound, the norm is at most
//   |Delta^{-1} Delta_w| hw + |Delta^{-1} Delta_phi| hp + |Delta^{-1}| (|R| + rounding).
// Products with the inverse rather than the inverse's norm times the
// derivatives' norms: for a matrix far from normal (a similar copy of a
// diagonal system, S D S^-1) the inverse grows in directions the
// derivatives hardly move, and the product sees that. The bound must stay
// below 0.9 rather than 1: the products of a nearly singular Delta carry
// rounding errors of about its condition number times 1e-16.
bool crossing_matrix::nonsingular_on(double w0, double w1, double phi0, double phi1) {
    const double w = 0.5 * (w0 + w1), phi = 0.5 * (phi0 + phi1);
    const double hw = 0.5 * (w1 - w0), hp = 0.5 * (phi1 - phi0);
    lu.compute(at(w, phi));
    inverse = lu.inverse();
    derivatives(by_w, by_phi);
    const double remainder =
        0.5 * (second_ww() * hw * hw + 2 * second_wphi() * hw * hp + second_phiphi() * hp * hp) +
        rounding_share * scale(w);
    const double change = spectral_norm_bound(inverse * by_w) * hw + spectral_norm_bound(inverse * by_phi) * hp +
                          spectral_norm_bound(inverse) * remainder;
    return change < 0.9;
}

// Newton's method on det Delta(w, phi) = 0, two real unknowns for one
// complex equation: with t_w = tr(Delta^{-1} Delta_w) = d log det Delta / dw
// and t_phi likewise, the step solves t_w dw + t_phi dphi = -1.
bool crossing_matrix::newton_step(double w, double phi, bool, double& dw, double& dphi) {
    lu.compute(at(w, phi));
    derivatives(by_w, by_phi);
    const std::complex<double> tw = lu.solve(by_w).trace(), tp = lu.solve(by_phi).trace();
    const double det = tw.real() * tp.imag() - tp.real() * tw.imag();
    dw = -tp.imag() / det, dphi = tw.imag() / det;
    return std::isfinite(dw) && std::isfinite(dphi);
}

isolation_box crossing_matrix::isolate(double w, double phi) { return ::quorv::isolate(*this, w, phi); }

}  // namespace quorv
