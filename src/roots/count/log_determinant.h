#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/count/band_order.h"
#include "roots/count/banded_determinant.h"
#include "roots/count/determinant_samples.h"
#include "roots/support/work_budget.h"

namespace quorv {

// Samples of log det Delta for the dense model, phase and g both from one
// LU factorisation (det = sign(P) prod u_ii).
class log_determinant : public determinant_samples {
public:
    log_determinant(const quorv& sys, work_budget& budget);

    // False when the budget is spent, or when Delta(lambda) is not finite
    // or singular to within the rounding of its terms: lambda is then
    // (numerically) a root or unusable.
    bool evaluate(std::complex<double> lambda, log_det_sample& out) override;

    const quorv& system() const { return sys; }
    work_budget& budget() override { return work; }
    double singularity(std::complex<double> lambda) override;
    // Whether evaluations factor Delta in band storage, with the unknowns
    // in their natural order or in the banding order.
    bool banded() const { return band_form.has_value(); }

private:
    const quorv& sys;
    work_budget& work;
    std::optional<banded_determinant> band_form;
    Eigen::MatrixXcd Delta;
    Eigen::MatrixXcd dDelta;
    std::vector<std::int32_t> pivots;
    Eigen::VectorXd derivative_norms;
    // |A_k|_1, for the rounding of Delta's terms.
    std::vector<double> term_norms;

    void form(std::complex<double> lambda);
    // |A_k| summed along each row, and one over the terms of each row of
    // Delta.
    std::vector<Eigen::VectorXd> row_sums;
    Eigen::VectorXd row_terms;

    // The perturbation of det Delta, relative, per unit of |Delta^{-1}|;
    // row_rounding the same for Delta with its rows scaled by their terms.
    double rounding(std::complex<double> lambda) const;
    double row_rounding() const;
    void scale_rows(std::complex<double> lambda);
    // Fails also when |Delta^{-1}| exceeds limit.
    bool dense_sample(std::complex<double> lambda, double limit, double& phase, std::complex<double>& g);
};

// The terms that cancel in each row of Delta(z), |z| + sum_k e^{-Re z h_k}
// |A_k| summed over the row: rounding is judged row by row against them, not
// against the largest entry of the system.
Eigen::VectorXd row_term_sums(const quorv& sys, std::complex<double> z);

// Delta(z) with each row divided by its terms; empty where Delta is not
// finite or a row's terms are all 0 (z = 0 and a state no matrix drives).
Eigen::MatrixXcd rows_scaled_by_terms(const quorv& sys, std::complex<double> z, const Eigen::VectorXd& terms);

}  // namespace quorv
