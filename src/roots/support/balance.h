#pragma once

#include "model/quorv.h"

namespace quorv {

// The system D^{-1} A_k D, k = 0 ... m-1, for one diagonal D of powers of two
// that brings the rows and columns of sum_k |A_k| (off the diagonal) to
// comparable sizes: a state measured in units 2^40 apart gives matrices
// whose norm is set by the units rather than the dynamics. The
// characteristic matrix changes by the same similarity, so the roots,
// and for every delay the singular points, are the same; powers of two
// round nothing.
quorv balanced(const quorv& sys);

}  // namespace quorv
