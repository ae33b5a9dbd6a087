#include "roots/crossing/crossing_search.h"
#include "roots/support/two_pi.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace quorv {

namespace {

// Sizes relative to Delta's terms |w| + sum_k |A_k|. A cell's size is the
// most Delta can change within it by the global bounds on its derivatives.
// Below newton_cell Newton's method locates the zero a cell may hold (once
// per cell, not in each of its parts again); a
// cell below finest_cell that no bound excludes is taken to hold a zero
// (numerically, Delta is singular there to 1e-9), the one located near it
// when there is one. Delta is formed to rounding_share of its terms.
constexpr double newton_cell = 1e-3;
constexpr double finest_cell = 1e-9;
constexpr double rounding_share = 1e-13;
// A zero located by Newton's method: Delta singular to this share of its terms.
constexpr double zero_share = 1e-10;
constexpr int crossing_newton_steps = 40;
// Zeros at frequencies below this share of the bound give no delay: the
// phase phi != 0 they need is reached only at delays phi / w beyond any use.
constexpr double least_frequency_share = 1e-12;

}  // namespace

double crossing_search::cell::least_delay() const {
    if (phi0 <= 0) return 0;
    return w1 > 0 ? phi0 / w1 : std::numeric_limits<double>::infinity();
}

crossing_search::crossing_search(const quorv& own, const std::vector<std::size_t>& growing, work_budget& budget)
    : Delta(own, growing), budget(budget) {
    // A little beyond the bound, so that a crossing on it lies inside.
    // Growing terms that are all zero move no root: nothing to search.
    const double top = Delta.frequency_bound() * (1 + 1e-6);
    if (top > 0 && Delta.lipschitz_phi() > 0) cells.push({0, top, 0, two_pi});
}

// Delta(p) = Delta(c) (I + Delta(c)^{-1} (Delta(p) - Delta(c))) is
// nonsingular when the second factor's perturbation has norm below 1. With
// Delta(p) - Delta(c) = Delta_w dw + Delta_phi dphi + R, |R| at most the
// second-order bound, the norm is at most
//   |Delta^{-1} Delta_w| hw + |Delta^{-1} Delta_phi| hp + |Delta^{-1}| (|R| + rounding).
// Products with the inverse rather than the inverse's norm times the
// derivatives' norms: for a matrix far from normal (a similar copy of a
// diagonal system, S D S^-1) the inverse grows in directions the
// derivatives hardly move, and the product sees that. The bound must stay
// below 0.9 rather than 1: the products of a nearly singular Delta carry
// rounding errors of about its condition number times 1e-16.
bool crossing_search::excluded(const cell& c) {
    const double w = 0.5 * (c.w0 + c.w1), phi = 0.5 * (c.phi0 + c.phi1);
    const double hw = 0.5 * (c.w1 - c.w0), hp = 0.5 * (c.phi1 - c.phi0);
    lu.compute(Delta.at(w, phi));
    inverse = lu.inverse();
    Delta.derivatives(by_w, by_phi);
    const double remainder = 0.5 * (Delta.second_ww() * hw * hw + 2 * Delta.second_wphi() * hw * hp +
                                    Delta.second_phiphi() * hp * hp) +
                             rounding_share * Delta.scale(w);
    const double change = spectral_norm_bound(inverse * by_w) * hw +
                          spectral_norm_bound(inverse * by_phi) * hp + spectral_norm_bound(inverse) * remainder;
    return change < 0.9;
}

bool crossing_search::near_known_zero(double w, double phi, double reach) const {
    return std::any_of(zeros.begin(), zeros.end(), [&](const axis_crossing& z) {
        return Delta.lipschitz_w() * std::abs(w - z.w) + Delta.lipschitz_phi() * std::abs(phi - z.phi) <= reach;
    });
}

// Newton's method on det Delta(w, phi) = 0, two real unknowns for one
// complex equation: with t_w = tr(Delta^{-1} Delta_w) and t_phi likewise,
// the step solves t_w dw + t_phi dphi = -1.
bool crossing_search::locate(double w, double phi, axis_crossing& zero) {
    Eigen::PartialPivLU<Eigen::MatrixXcd> lu;
    Eigen::MatrixXcd by_w, by_phi;
    const double scale = Delta.scale(w);
    for (int step = 0; step < crossing_newton_steps && budget.spend(); ++step) {
        lu.compute(Delta.at(w, phi));
        Delta.derivatives(by_w, by_phi);
        const std::complex<double> tw = lu.solve(by_w).trace(), tp = lu.solve(by_phi).trace();
        const double det = tw.real() * tp.imag() - tp.real() * tw.imag();
        const double dw = -tp.imag() / det, dphi = tw.imag() / det;
        if (!std::isfinite(dw) || !std::isfinite(dphi)) break;
        w += dw, phi += dphi;
        if (Delta.lipschitz_w() * std::abs(dw) + Delta.lipschitz_phi() * std::abs(dphi) <= 1e-15 * scale) break;
    }
    if (!(Delta.smallest_singular_value(w, phi) <= zero_share * Delta.scale(w))) return false;
    // The zero at (-w, -phi) is the mirror image of one at (w, phi).
    if (w < 0) w = -w, phi = -phi;
    phi = std::fmod(phi, two_pi);
    if (phi < 0) phi += two_pi;
    zero = {w, phi, 0};
    return true;
}

bool crossing_search::isolated_by_known_zero(const cell& c) const {
    for (std::size_t i = 0; i < zeros.size(); ++i)
        if (isolated[i].contains(c.w0, c.w1, c.phi0, c.phi1, zeros[i].w, zeros[i].phi)) return true;
    return false;
}

void crossing_search::add_zero(axis_crossing zero) {
    if (near_known_zero(zero.w, zero.phi, finest_cell * Delta.scale(zero.w))) return;
    isolated.push_back(isolate(Delta, zero.w, zero.phi));
    const bool gives_delay = zero.w > least_frequency_share * Delta.frequency_bound();
    zero.delta = gives_delay ? zero.phi / zero.w : std::numeric_limits<double>::infinity();
    zeros.push_back(zero);
    if (gives_delay) branches.push({zero.delta, zeros.size() - 1});
}

void crossing_search::examine(const cell& c) {
    if (isolated_by_known_zero(c)) return;
    budget.spend();
    const double w = 0.5 * (c.w0 + c.w1), phi = 0.5 * (c.phi0 + c.phi1);
    if (excluded(c)) return;
    const double width_w = Delta.lipschitz_w() * (c.w1 - c.w0), width_phi = Delta.lipschitz_phi() * (c.phi1 - c.phi0);
    const double size = 0.5 * (width_w + width_phi), scale = Delta.scale(w);
    axis_crossing zero;
    if (size <= finest_cell * scale) {
        if (!near_known_zero(w, phi, 4 * size)) add_zero(locate(w, phi, zero) ? zero : axis_crossing{w, phi, 0});
        return;
    }
    const bool small = size <= newton_cell * scale;
    if (small && !c.newton_tried && !near_known_zero(w, phi, 4 * size) && locate(w, phi, zero)) add_zero(zero);
    const bool tried = c.newton_tried || small;
    if (width_w >= width_phi) {
        cells.push({c.w0, w, c.phi0, c.phi1, tried});
        cells.push({w, c.w1, c.phi0, c.phi1, tried});
    } else {
        cells.push({c.w0, c.w1, c.phi0, phi, tried});
        cells.push({c.w0, c.w1, phi, c.phi1, tried});
    }
}

crossing_search::result crossing_search::next() {
    for (;;) {
        const double bound = cells.empty() ? std::numeric_limits<double>::infinity() : cells.top().least_delay();
        if (!branches.empty() && branches.top().delta <= bound) {
            const branch b = branches.top();
            branches.pop();
            const axis_crossing& z = zeros[b.zero];
            branches.push({b.delta + two_pi / z.w, b.zero});
            return {outcome::crossing, {z.w, z.phi, b.delta}, b.delta};
        }
        if (cells.empty()) return {outcome::none, {}, bound};
        if (budget.exhausted()) return {outcome::unresolved, {}, bound};
        const cell c = cells.top();
        cells.pop();
        examine(c);
    }
}

}  // namespace quorv
