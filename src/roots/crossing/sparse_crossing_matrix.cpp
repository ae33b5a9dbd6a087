#include "roots/crossing/sparse_crossing_matrix.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "roots/count/sparse_root_bound.h"
#include "roots/crossing/inverse_bound.h"
#include "roots/support/sparse_norm.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;
using matrix = sparse_quorv::matrix;

// The crossings' frequencies are the |Im lambda| of roots on the axis for
// some delays of the growing terms, so the height of the box that holds
// every root with Re >= 0, whatever the delays of the delayed terms, bounds
// them, once the growing terms count as delayed (the delay's value does
// not enter the box at Re = 0).
double crossing_frequency_bound(const sparse_quorv& sys, const std::vector<bool>& grows) {
    sparse_quorv delayed = sys;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (grows[k] && delayed.hA[k] == 0) delayed.hA[k] = 1;
    return root_box(delayed, 0).y1;
}

// Start vectors of the bordering with no symmetry a mode could share.
Eigen::VectorXcd start_vector(Eigen::Index n, double seed) {
    Eigen::VectorXcd x(n);
    for (Eigen::Index i = 0; i < n; ++i) x[i] = cplx(std::cos(seed * double(i + 1)), std::sin(1.3 * seed * double(i + 1)));
    return x.normalized();
}

}  // namespace

sparse_crossing_matrix::sparse_crossing_matrix(const sparse_quorv& sys, const std::vector<std::size_t>& growing)
    : sys(sys), grows(sys.mA(), false), lu(sys, characteristic_lu::method::left_looking),
      weights(sys.mA()), u0(start_vector(sys.n(), 0.7)), v0(start_vector(sys.n(), 1.9)), u(u0), v(v0) {
    for (const std::size_t k : growing) grows[k] = true;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double norm = spectral_norm_bound(sys.A[k]);
        norm_sum += norm;
        delay_weighted_norms += sys.hA[k] * norm;
        if (grows[k]) growing_norms += norm;
        moduli.push_back(sys.A[k].cwiseAbs());
    }
    frequency_limit = crossing_frequency_bound(sys, grows);
}

cplx sparse_crossing_matrix::phase_factor(std::size_t k, double w, double phi) const {
    return std::polar(1.0, -(w * sys.hA[k] + (grows[k] ? phi : 0.0)));
}

bool sparse_crossing_matrix::factor_at(double w, double phi) {
    for (std::size_t k = 0; k < sys.mA(); ++k) weights[k] = phase_factor(k, w, phi);
    return lu.factor(cplx(0, w), weights);
}

// The rounding of forming Delta(c): each entry sums m + 1 products, and
// each phase w h_k + phi is rounded before its exponential, which moves
// e^{-j(...)} by a few units of rounding of the phase's size.
bool sparse_crossing_matrix::nonsingular_on(double w0, double w1, double phi0, double phi1) {
    const double w = 0.5 * (w0 + w1), phi = 0.5 * (phi0 + phi1);
    const double hw = 0.5 * (w1 - w0), hp = 0.5 * (phi1 - phi0);
    if (!factor_at(w, phi) || !lu.factors(factors)) return false;
    const double eps = std::numeric_limits<double>::epsilon();
    const double terms = double(sys.mA()) + 3;
    std::vector<double> weight(sys.mA());
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double moved = std::min(2.0, hw * sys.hA[k] + (grows[k] ? hp : 0.0));
        weight[k] = moved + 4 * eps * (terms + std::abs(w) * sys.hA[k] + std::abs(phi));
    }
    const double diagonal = hw + 4 * eps * terms * std::abs(w);
    const perturbation_action change = [&](const Eigen::VectorXd& z) {
        Eigen::VectorXd y = diagonal * z;
        for (std::size_t k = 0; k < sys.mA(); ++k) y += weight[k] * (moduli[k] * z);
        return y;
    };
    return perturbation_bound(factors, change) < 0.9;
}

void sparse_crossing_matrix::apply(double w, double phi, const Eigen::VectorXcd& x, Eigen::VectorXcd& y) const {
    y = cplx(0, w) * x;
    for (std::size_t k = 0; k < sys.mA(); ++k) y -= phase_factor(k, w, phi) * (sys.A[k] * x);
}

// d/dw e^{-j(w h + phi)} = -j h e^{...} and d/dphi e^{-j(w h + phi)} = -j e^{...},
// each entering Delta with a minus sign.
void sparse_crossing_matrix::apply_derivatives(double w, double phi, const Eigen::VectorXcd& x,
                                               Eigen::VectorXcd& by_w, Eigen::VectorXcd& by_phi) const {
    const cplx j(0, 1);
    by_w = j * x;
    by_phi.setZero(x.size());
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const Eigen::VectorXcd term = (j * phase_factor(k, w, phi)) * (sys.A[k] * x);
        by_w += sys.hA[k] * term;
        if (grows[k]) by_phi += term;
    }
}

// g + g_w dw + g_phi dphi = 0 with g = -1 / s, s = v^H x, reads
// s + a_w dw + a_phi dphi = 0 with a = y^H dDelta x: two real equations.
bool sparse_crossing_matrix::newton_step(double w, double phi, bool first, double& dw, double& dphi) {
    if (first) u = u0, v = v0;
    if (!factor_at(w, phi)) return false;
    Eigen::VectorXcd x = u, y = v, by_w, by_phi;
    lu.solve(x);
    lu.solve_adjoint(y);
    const cplx s = v.dot(x);
    apply_derivatives(w, phi, x, by_w, by_phi);
    const cplx aw = y.dot(by_w), ap = y.dot(by_phi);
    const double det = aw.real() * ap.imag() - ap.real() * aw.imag();
    dw = (ap.real() * s.imag() - s.real() * ap.imag()) / det;
    dphi = (aw.imag() * s.real() - aw.real() * s.imag()) / det;
    const double nx = x.norm(), ny = y.norm();
    if (!(nx > 0) || !(ny > 0) || !std::isfinite(nx) || !std::isfinite(ny)) return false;
    u = x / nx, v = y / ny;
    return std::isfinite(dw) && std::isfinite(dphi);
}

double sparse_crossing_matrix::singularity(double w, double phi) {
    if (!factor_at(w, phi)) return std::numeric_limits<double>::infinity();
    Eigen::VectorXcd x = u, residual;
    for (int step = 0; step < 2; ++step) {
        lu.solve(x);
        const double norm = x.norm();
        if (!(norm > 0) || !std::isfinite(norm)) return norm > 0 ? 0.0 : std::numeric_limits<double>::infinity();
        x /= norm;
    }
    apply(w, phi, x, residual);
    return residual.norm();
}

}  // namespace quorv
