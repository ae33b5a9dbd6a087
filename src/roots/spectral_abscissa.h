#pragma once

#include "model/quorv.h"

namespace quorv {

// The largest real part of any characteristic root. The search starts at
// the line Re = R(0), right of every root, and moves a line left until the
// count finds roots right of it, then narrows the gap by bisection on the
// count and takes the largest real part of the roots right of the line.
// Each step left lets the bound R(r), and with it the region to count, grow
// by at most a factor of 16. Throws std::invalid_argument for an order-0
// system and when no root lies right of any line at which R(r) is finite,
// std::runtime_error when a count does not resolve or the roots right of the
// line cannot all be located, and validates sys as roots does.
double spectral_abscissa(const quorv& sys);

}  // namespace quorv
