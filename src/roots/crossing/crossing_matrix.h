#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/crossing/crossing_model.h"

namespace quorv {

// An upper bound on the spectral norm, sqrt(|M|_1 |M|_inf), in O(n^2).
double spectral_norm_bound(const Eigen::MatrixXcd& m);

// The characteristic matrix on the imaginary axis when the delays of a set K
// of terms grow together by delta:
//   Delta(w, phi) = jw I - sum_{k not in K} e^{-jw h_k} A_k - sum_{k in K} e^{-j(w h_k + phi)} A_k,
// with phi = w delta (mod 2 pi). A root crosses the axis at jw for an added
// delay delta exactly where Delta(w, w delta) is singular, so the crossings
// are the zeros of (w, phi) -> Delta on [0, W] x [0, 2 pi), W the frequency
// bound: the delay enters only through the phase phi, and the search for
// crossings is one over a bounded rectangle, whatever the delays.
class crossing_matrix : public crossing_model {
public:
    // sys validated, at least one matrix; growing: distinct indices of terms.
    crossing_matrix(const quorv& sys, const std::vector<std::size_t>& growing);

    const Eigen::MatrixXcd& at(double w, double phi);
    // d Delta / dw and d Delta / dphi at the point last formed by at().
    void derivatives(Eigen::MatrixXcd& by_w, Eigen::MatrixXcd& by_phi) const;
    double smallest_singular_value(double w, double phi);

    // Bounds on the second derivatives |Delta_ww|, |Delta_wphi|, |Delta_phiphi|.
    double second_ww() const { return squared_delay_weighted_norms; }
    double second_wphi() const { return growing_delay_weighted_norms; }
    double second_phiphi() const { return growing_norms; }

    bool nonsingular_on(double w0, double w1, double phi0, double phi1) override;
    bool newton_step(double w, double phi, bool first, double& dw, double& dphi) override;
    double singularity(double w, double phi) override { return smallest_singular_value(w, phi); }
    isolation_box isolate(double w, double phi) override;

private:
    const quorv& sys;
    std::vector<bool> grows;
    double squared_delay_weighted_norms = 0, growing_delay_weighted_norms = 0;
    double w_at = 0, phi_at = 0;
    Eigen::MatrixXcd Delta;
    // Work space of LAPACK's singular value decomposition, which overwrites
    // its matrix: a copy of Delta.
    Eigen::MatrixXcd overwritten;
    Eigen::VectorXd singular_values, real_work;
    Eigen::VectorXcd work;
    // Work space of the exclusion test and of Newton's steps.
    Eigen::PartialPivLU<Eigen::MatrixXcd> lu;
    Eigen::MatrixXcd inverse, by_w, by_phi;

    double lapack_svd(std::int32_t lwork);
    std::complex<double> phase_factor(std::size_t k, double w, double phi) const;
};

}  // namespace quorv
