#pragma once

#include <complex>
#include <optional>

#include "roots/support/work_budget.h"

namespace quorv {

// det Delta(lambda) in a form that neither overflows nor underflows for any
// order n: its phase, and the logarithmic derivative
// g = (log det Delta)' = tr(Delta^{-1} Delta').
struct log_det_sample {
    std::complex<double> lambda;
    double phase = 0;
    std::complex<double> g;
};

// What the argument principle reads of a system: samples of log det Delta,
// paid from a work budget. The dense and the sparse models each have their
// own way to factor Delta; the count is the same walk for both.
class determinant_samples {
public:
    virtual ~determinant_samples() = default;
    // False when the budget is spent, or when Delta(lambda) is not finite or
    // singular to within the rounding of its terms: lambda is then
    // (numerically) a root or unusable.
    virtual bool evaluate(std::complex<double> lambda, log_det_sample& out) = 0;
    virtual work_budget& budget() = 0;
    // The smallest singular value of Delta(lambda) with each row divided by
    // the terms that cancel in it, |lambda| + sum_k e^{-Re lambda h_k} |A_k|
    // summed over the row, so that rounding is judged row by row, not
    // against the largest entry of the system: 0 where Delta is exactly
    // singular, infinite where it is not finite. Not charged to the budget.
    virtual double singularity(std::complex<double> lambda) = 0;
    // One step of Newton's method towards a zero of det Delta near lambda:
    // lambda - 1/g from a sample, unless a model has a better-conditioned
    // way. Empty when the evaluation is refused (lambda is then a root to
    // within rounding, or the budget is spent).
    virtual std::optional<std::complex<double>> newton_step(std::complex<double> lambda) {
        log_det_sample s;
        if (!evaluate(lambda, s)) return std::nullopt;
        return lambda - 1.0 / s.g;
    }
};

}  // namespace quorv
