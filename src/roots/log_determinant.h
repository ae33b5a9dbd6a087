#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/band_order.h"
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
    // Whether evaluations factor Delta in band storage (LAPACK zgbtrf),
    // with the unknowns in their natural order or in the banding order.
    bool banded() const { return use_band; }

private:
    const quorv& sys;
    work_budget& work;
    // The A_k with the unknowns in the banding order, when that order is
    // the one that makes Delta banded; empty otherwise.
    std::vector<Eigen::MatrixXd> reordered;
    band bw;
    bool use_band = false;
    Eigen::MatrixXcd Delta;
    Eigen::MatrixXcd dDelta;
    Eigen::MatrixXcd bands;
    std::vector<std::int32_t> pivots;

    const Eigen::MatrixXd& term(std::size_t k) const { return reordered.empty() ? sys.Ak(k) : reordered[k]; }
    void form(std::complex<double> lambda);
    bool dense_sample(double& phase, std::complex<double>& g);
    bool band_sample(double& phase, std::complex<double>& g);
};

}  // namespace quorv
