#include "roots/count/sparse_enclosure.h"

#include <cmath>

#include "roots/count/argument_count.h"
#include "roots/count/enclosure.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

constexpr double radius_growth = 4;
constexpr int polish_steps = 30;

}  // namespace

// Newton's method until its steps fall to rounding: below 1e-14 relative,
// or below 1e-8 relative once they stop shrinking quadratically. A refused
// evaluation means Delta is singular to rounding at the iterate: it is the
// root as far as double precision tells.
std::optional<cplx> sparse_encloser::refined(cplx start, double reach) {
    determinant_samples& f = samples();
    cplx z = start;
    double last = HUGE_VAL;
    for (int step = 0; step < polish_steps; ++step) {
        const auto next = f.newton_step(z);
        if (!next) return f.budget().exhausted() ? std::nullopt : std::optional(z);
        if (!finite(*next) || std::abs(*next - start) >= reach) return std::nullopt;
        const double length = std::abs(*next - z);
        z = *next;
        if (length <= 1e-14 * root_scale(z) || (length <= 1e-8 * root_scale(z) && length > 0.5 * last)) return z;
        last = length;
    }
    return std::nullopt;
}

std::optional<cplx> sparse_encloser::polished(cplx start) { return refined(start, HUGE_VAL); }

// Several zeros in the first disk that holds any are resolved from that
// disk on by the dense model's rules (disk_encloser::around). The radius
// grows fourfold without a last try at 0.9 of the room (next_radius): a
// disk so squeezed against the line leaves the count's path where it was,
// a hair from a zero whose untrusted neighbourhood is wide (some 1e-4 for
// a Laplacian with entries of 4e10), and the Krylov location, whose disks
// must fit inside the counted region, then found none of the 1-D heat
// equation's three rightmost roots at 10^5 states.
std::vector<root_cluster> sparse_encloser::around(cplx z, double least, double room) {
    determinant_samples& f = samples();
    for (double radius = std::max(least, tightest_disk * root_scale(z)); radius < room; radius *= radius_growth) {
        const auto m = count_in_circle(f, z, radius);
        if (f.budget().exhausted()) return {};
        if (!m || *m == 0) continue;
        if (*m == 1) return {simple(z, radius, room)};
        return disk_encloser::around(z, radius, room);
    }
    return {};
}

// One zero in |lambda - z| <= radius: Newton's method from z moves onto it,
// and the smallest disk around that point which still holds one zero, inside
// the room, is its certificate; the first disk when that fails.
root_cluster sparse_encloser::simple(cplx z, double radius, double room) {
    determinant_samples& f = samples();
    const auto polished = refined(z, radius);
    if (!polished) return {z, 1, radius};
    const double moved = std::abs(*polished - z);
    for (double rho = tightest_disk * root_scale(*polished); rho < radius && rho + moved < room; rho *= radius_growth) {
        const auto m = count_in_circle(f, *polished, rho);
        if (m && *m == 1) return {*polished, 1, rho};
        if (f.budget().exhausted()) break;
    }
    return {z, 1, radius};
}

}  // namespace quorv
