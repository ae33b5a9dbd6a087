#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

// An upper bound on the spectral norm, sqrt(|M|_1 |M|_inf), in O(n^2).
double spectral_norm_bound(const Eigen::MatrixXcd& m);

// The characteristic matrix on the imaginary axis when the delays of a set K
// of terms grow together by delta:
//   Delta(w, phi) = jw I - sum_{k not in K} e^{-jw h_k} A_k - sum_{k in K} e^{-j(w h_k + phi)} A_k,
// with phi = w delta (mod 2 pi). A root crosses the axis at jw for an added
// delay delta exactly where Delta(w, w delta) is singular, so the crossings
// are the zeros of (w, phi) -> Delta on [0, W] x [0, 2 pi), W the bound
// below: the delay enters only through the phase phi, and the search for
// crossings is one over a bounded rectangle, whatever the delays.
class crossing_matrix {
public:
    // sys validated, at least one matrix; growing: distinct indices of terms.
    crossing_matrix(const quorv& sys, const std::vector<std::size_t>& growing);

    const Eigen::MatrixXcd& at(double w, double phi);
    // d Delta / dw and d Delta / dphi at the point last formed by at().
    void derivatives(Eigen::MatrixXcd& by_w, Eigen::MatrixXcd& by_phi) const;
    double smallest_singular_value(double w, double phi);

    // Every crossing has |w| at most this bound: jw is then an eigenvalue
    // of a sum of the matrices with unimodular weights (derivation in the
    // constructor); it is at most sum_k |A_k|_2.
    double frequency_bound() const { return frequency_limit; }
    // |Delta(w, phi) - Delta(w', phi')| <= lipschitz_w |w - w'| + lipschitz_phi |phi - phi'|.
    double lipschitz_w() const { return 1 + delay_weighted_norms; }
    double lipschitz_phi() const { return growing_norms; }
    // Bounds on the second derivatives |Delta_ww|, |Delta_wphi|, |Delta_phiphi|.
    double second_ww() const { return squared_delay_weighted_norms; }
    double second_wphi() const { return growing_delay_weighted_norms; }
    double second_phiphi() const { return growing_norms; }
    // The size of Delta's terms at frequency w, for rounding thresholds.
    double scale(double w) const { return std::abs(w) + norm_sum; }

private:
    const quorv& sys;
    std::vector<bool> grows;
    double norm_sum = 0, frequency_limit = 0, delay_weighted_norms = 0, growing_norms = 0;
    double squared_delay_weighted_norms = 0, growing_delay_weighted_norms = 0;
    double w_at = 0, phi_at = 0;
    Eigen::MatrixXcd Delta;
    // Work space of LAPACK's singular value decomposition, which overwrites
    // its matrix: a copy of Delta.
    Eigen::MatrixXcd overwritten;
    Eigen::VectorXd singular_values, real_work;
    Eigen::VectorXcd work;

    double lapack_svd(std::int32_t lwork);
    std::complex<double> phase_factor(std::size_t k, double w, double phi) const;
};

}  // namespace quorv
