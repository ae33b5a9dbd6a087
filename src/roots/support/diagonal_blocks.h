#pragma once

#include <vector>

#include "model/quorv.h"

namespace quorv {

// The diagonal blocks of a system whose states fall into groups that feed
// one another one way only: a chain of modes, each driving the next and
// driven by none after it. Ordered by those groups (the strongly connected
// components of the pattern of sum_k |A_k|), every A_k is block triangular,
// so det Delta is the product of the diagonal blocks' determinants and the
// roots, with their multiplicities, are exactly the union of the blocks'
// roots. Each block is then solved in its own time unit: a slow mode of 0.04
// driving a stiff one of 1e300 is decided against a line 1e-9 from it
// relative to 0.04, not to 1e300. A block keeps only the terms that act on
// it (a zero matrix adds nothing to its det Delta), so that a stiff
// undelayed mode beside a delayed slow one is an undelayed block on its own
// time scale. Empty when sys is one such group (or of order 0), when nothing
// is to be gained by splitting it.
std::vector<quorv> diagonal_blocks(const quorv& sys);

}  // namespace quorv
