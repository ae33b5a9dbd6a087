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
// Delta over a step eta far below the distance to the nearest zero
// (about 1/|g|, known from the previous sample), with a second
// factorisation at lambda + eta that keeps the first one's pivots, so
// that both share their rounding. Its relative error is about eta |g| / 2
// plus the rounding of log det over eta: some 1e-7, far within the 0.25
// rad by which the count's steps may disagree with it.
class sparse_determinant : public determinant_samples {
public:
    sparse_determinant(const sparse_quorv& sys, work_budget& budget);

    bool evaluate(std::complex<double> lambda, log_det_sample& out) override;
    work_budget& budget() override { return work; }

private:
    const sparse_quorv& sys;
    work_budget& work;
    characteristic_lu lu;
    // Max-row-count of the pattern times |A_k|_1: the scale of the rounding
    // of Delta's terms.
    std::vector<double> term_norms;
    double row_length = 1;
    double last_g = 0;

    double rounding(std::complex<double> lambda) const;
};

}  // namespace quorv
