#pragma once

#include <complex>

#include "model/sparse_quorv.h"
#include "roots/count/determinant_samples.h"
#include "roots/krylov/characteristic_lu.h"
#include "roots/support/work_budget.h"

namespace quorv {

// Samples of log det Delta for a sparse model, from the diagonal of a sparse
// LU factorisation. g = (log det Delta)' would need tr(Delta^{-1} Delta'),
// n solves; it is taken instead as the difference quotient of log det
// Delta over a step eta, with a second factorisation at lambda + eta that
// keeps the first one's pivots. At distance d from a zero, rounding moves
// log det Delta by a share s (rounding_share) of itself, as if the zero
// moved by e = s d, so the quotient's relative error is about eta / d
// (truncation) plus e / eta (rounding); eta = sqrt(e d) = d sqrt(s), with d
// about 1/|g| from the previous sample, makes both sqrt(s), at most 0.1
// where the evaluation is trusted (s <= 1e-2): within the 0.25 rad by
// which a count's step may disagree with it.
class sparse_determinant : public determinant_samples {
public:
    sparse_determinant(const sparse_quorv& sys, work_budget& budget);

    bool evaluate(std::complex<double> lambda, log_det_sample& out) override;
    work_budget& budget() override { return work; }
    // Newton's method on f(lambda) = 1 / (c^T Delta(lambda)^{-1} b), whose
    // zeros are those of det Delta: f/f' = c^T x / (c^T Delta^{-1} Delta' x)
    // with x = Delta^{-1} b, two solves with one factorisation and no
    // difference quotient, so it converges quadratically to a simple root
    // however stiff Delta is; c^T x is taken as c^T Delta^{-1} (Delta x),
    // with the residual Delta x from the model's entries.
    std::optional<std::complex<double>> newton_step(std::complex<double> lambda) override;
    // Estimated by a few steps of the power method on (D^{-1} Delta)^{-1},
    // D the rows' terms: near a zero its largest singular value stands far
    // above the rest, and the steps find it at once; elsewhere the estimate
    // can only fall short, which leaves Delta no more singular than it is.
    double singularity(std::complex<double> lambda) override;

private:
    const sparse_quorv& sys;
    work_budget& work;
    characteristic_lu lu;
    // Max-row-count of the pattern times |A_k|_1: the scale of the rounding
    // of Delta's terms.
    std::vector<double> term_norms;
    double row_length = 1;
    double last_g = 0;
    // |A_k| entry by entry, for the rounding of each entry of Delta.
    std::vector<sparse_quorv::matrix> magnitudes;
    // |A_k| summed along each row.
    std::vector<Eigen::VectorXd> row_sums;
    // The fixed vectors b and c of newton_step and of the rounding's share,
    // and their solves.
    Eigen::VectorXcd b, c, x, w;

    // The step c^T x / (c^T Delta^{-1} Delta' x) for x = Delta^{-1} b and w =
    // Delta^{-H} c, given x and w, for the last factorisation.
    std::complex<double> step_with(std::complex<double> lambda, const Eigen::VectorXcd& x, const Eigen::VectorXcd& w);
    double rounding(std::complex<double> lambda) const;
    double rounding_share(std::complex<double> lambda);
};

}  // namespace quorv
