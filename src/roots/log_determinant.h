#pragma once

#include <complex>
#include <cstdint>
#include <vector>

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

// The band of a matrix pattern: nonzeros only where -lower <= j - i <= upper.
struct band {
    Eigen::Index lower = 0;
    Eigen::Index upper = 0;
};

// The band of the union of the patterns of the A_k (and of the identity).
band union_band(const quorv& sys);

class log_determinant {
public:
    log_determinant(const quorv& sys, work_budget& budget);

    // False when the budget is spent, or when Delta(lambda) is singular or
    // not finite: lambda is then (numerically) a root or unusable.
    bool evaluate(std::complex<double> lambda, log_det_sample& out);

    const quorv& system() const { return sys; }
    work_budget& budget() { return work; }
    // Whether evaluations factor Delta in band storage (LAPACK zgbtrf).
    bool banded() const { return use_band; }

private:
    const quorv& sys;
    work_budget& work;
    const band bw;
    const bool use_band;
    Eigen::MatrixXcd Delta;
    Eigen::MatrixXcd dDelta;
    Eigen::MatrixXcd bands;
    std::vector<std::int32_t> pivots;

    void form(std::complex<double> lambda);
    bool dense_sample(double& phase, std::complex<double>& g);
    bool band_sample(double& phase, std::complex<double>& g);
};

}  // namespace quorv
