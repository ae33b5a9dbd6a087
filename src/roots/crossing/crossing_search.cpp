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
// when there is one.
constexpr double newton_cell = 1e-3;
constexpr double finest_cell = 1e-9;
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

crossing_search::crossing_search(crossing_model& Delta, work_budget& budget) : Delta(Delta), budget(budget) {
    // A little beyond the bound, so that a crossing on it lies inside.
    // Growing terms that are all zero move no root: nothing to search.
    const double top = Delta.frequency_bound() * (1 + 1e-6);
    if (top > 0 && Delta.lipschitz_phi() > 0) cells.push({0, top, 0, two_pi});
}

bool crossing_search::near(const axis_crossing& z, double w, double phi, double reach) const {
    return Delta.lipschitz_w() * std::abs(w - z.w) + Delta.lipschitz_phi() * std::abs(phi - z.phi) <= reach;
}

bool crossing_search::near_known_zero(double w, double phi, double reach) const {
    return std::any_of(zeros.begin(), zeros.end(), [&](const axis_crossing& z) { return near(z, w, phi, reach); });
}

// Newton's method on det Delta(w, phi) = 0 from (w, phi); the zero it
// reaches, folded into w >= 0 and phi in [0, 2 pi), when Delta is singular
// there to zero_share of its terms.
bool crossing_search::locate(double w, double phi, axis_crossing& zero) {
    const double scale = Delta.scale(w);
    for (int step = 0; step < crossing_newton_steps && budget.spend(); ++step) {
        double dw = 0, dphi = 0;
        if (!Delta.newton_step(w, phi, step == 0, dw, dphi)) break;
        w += dw, phi += dphi;
        if (Delta.lipschitz_w() * std::abs(dw) + Delta.lipschitz_phi() * std::abs(dphi) <= 1e-15 * scale) break;
    }
    if (!(Delta.singularity(w, phi) <= zero_share * Delta.scale(w))) return false;
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
    isolated.push_back(Delta.isolate(zero.w, zero.phi));
    const bool gives_delay = zero.w > least_frequency_share * Delta.frequency_bound();
    zero.delta = gives_delay ? zero.phi / zero.w : std::numeric_limits<double>::infinity();
    zeros.push_back(zero);
    if (gives_delay) branches.push({zero.delta, zeros.size() - 1});
}

void crossing_search::examine(const cell& c) {
    if (isolated_by_known_zero(c)) return;
    budget.spend();
    const double w = 0.5 * (c.w0 + c.w1), phi = 0.5 * (c.phi0 + c.phi1);
    if (Delta.nonsingular_on(c.w0, c.w1, c.phi0, c.phi1)) return;
    const double width_w = Delta.lipschitz_w() * (c.w1 - c.w0), width_phi = Delta.lipschitz_phi() * (c.phi1 - c.phi0);
    const double size = 0.5 * (width_w + width_phi), scale = Delta.scale(w);
    axis_crossing zero;
    if (size <= finest_cell * scale) {
        // Newton's method may go to a zero elsewhere, one known already:
        // the cell's own zero is then its centre, to the finest cell.
        if (near_known_zero(w, phi, 4 * size)) return;
        const bool here = locate(w, phi, zero) && near(zero, w, phi, 4 * size);
        add_zero(here ? zero : axis_crossing{w, phi, 0});
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
