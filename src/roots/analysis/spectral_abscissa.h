#pragma once

#include "model/quorv.h"
#include "roots/support/interrupt.h"

namespace quorv {

// The largest real part of any characteristic root, computed in the
// system's own time unit. The rightmost roots are approximated from a
// low-degree discretization and refined by Newton's method; the count at a
// line just left of them (moved further left while it finds nothing) shows
// how many roots lie right of it, and those, only the rightmost ones when
// the approximation was good, are located. The sign follows the count at
// Re = 0 that is_stable decides by: when it holds roots the result is
// max(0, the rightmost real part), otherwise that real part, negative; so
// spectral_abscissa(sys) < 0 exactly when is_stable(sys).
// Throws std::invalid_argument for an order-0 system and when no root lies
// right of any line at which the bound R(r) is finite, std::runtime_error
// when a count does not resolve or the roots right of the line cannot all
// be located, interrupted when check asks to stop, and validates sys as
// roots does.
double spectral_abscissa(const quorv& sys, const interrupt_check& check = {});

}  // namespace quorv
