#include "roots/count/sparse_enclosure.h"

#include <cmath>

namespace quorv {

namespace {

using cplx = std::complex<double>;

constexpr int polish_steps = 30;

}  // namespace

// Newton's method until its steps fall to rounding: below 1e-14 relative,
// or below 1e-8 relative once they stop shrinking quadratically. A refused
// evaluation means Delta is singular to rounding at the iterate: it is the
// root as far as double precision tells.
std::optional<cplx> sparse_encloser::polished(cplx start) {
    cplx z = start;
    double last = HUGE_VAL;
    for (int step = 0; step < polish_steps; ++step) {
        const auto next = samples().newton_step(z);
        if (!next) return samples().budget().exhausted() ? std::nullopt : std::optional(z);
        if (!finite(*next)) return std::nullopt;
        const double length = std::abs(*next - z);
        z = *next;
        if (length <= 1e-14 * root_scale(z) || (length <= 1e-8 * root_scale(z) && length > 0.5 * last)) return z;
        last = length;
    }
    return std::nullopt;
}

}  // namespace quorv
