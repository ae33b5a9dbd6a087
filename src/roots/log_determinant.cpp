#include "roots/log_determinant.h"

#include <cmath>
#include <numbers>

namespace quorv {

log_determinant::log_determinant(const quorv& sys, work_budget& budget)
    : sys(sys), work(budget), Delta(sys.n(), sys.n()), dDelta(sys.n(), sys.n()), lu(sys.n()) {}

bool log_determinant::evaluate(std::complex<double> lambda, log_det_sample& out) {
    if (!work.spend()) return false;
    const Eigen::Index n = sys.n();
    // Delta = lambda I - sum_k e^{-lambda h_k} A_k, Delta' = I + sum_k h_k e^{-lambda h_k} A_k.
    Delta.setZero();
    Delta.diagonal().setConstant(lambda);
    dDelta.setIdentity();
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double h = sys.hk(k);
        const Eigen::MatrixXd& a = sys.Ak(k);
        const std::complex<double> e = std::exp(std::complex<double>(-lambda.real() * h, -lambda.imag() * h));
        Delta.real() -= e.real() * a;
        Delta.imag() -= e.imag() * a;
        if (h == 0) continue;
        dDelta.real() += (h * e.real()) * a;
        dDelta.imag() += (h * e.imag()) * a;
    }
    if (!Delta.allFinite() || !dDelta.allFinite()) return false;
    lu.compute(Delta);
    const auto& u = lu.matrixLU();
    double phase = lu.permutationP().determinant() < 0 ? std::numbers::pi : 0.0;
    for (Eigen::Index i = 0; i < n; ++i) {
        if (u(i, i) == 0.0) return false;
        phase += std::arg(u(i, i));
    }
    const std::complex<double> g = lu.solve(dDelta).trace();
    if (!std::isfinite(g.real()) || !std::isfinite(g.imag())) return false;
    out = {lambda, phase, g};
    return true;
}

}  // namespace quorv
