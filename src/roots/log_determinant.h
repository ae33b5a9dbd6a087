#pragma once

#include <complex>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/work_budget.h"

namespace quorv {

// det Delta(lambda) in a form that neither overflows nor underflows for any
// order n: its phase, and the logarithmic derivative
// g = (log det Delta)' = tr(Delta^{-1} Delta'), both from one LU
// factorisation (det = sign(P) prod u_ii).
struct log_det_sample {
    std::complex<double> lambda;
    double phase = 0;
    std::complex<double> g;
};

class log_determinant {
public:
    log_determinant(const quorv& sys, work_budget& budget);

    // False when the budget is spent, or when Delta(lambda) is singular or
    // not finite: lambda is then (numerically) a root or unusable.
    bool evaluate(std::complex<double> lambda, log_det_sample& out);

    const quorv& system() const { return sys; }
    work_budget& budget() { return work; }

private:
    const quorv& sys;
    work_budget& work;
    Eigen::MatrixXcd Delta;
    Eigen::MatrixXcd dDelta;
    Eigen::PartialPivLU<Eigen::MatrixXcd> lu;
};

}  // namespace quorv
