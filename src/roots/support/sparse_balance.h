#pragma once

#include "model/sparse_quorv.h"

namespace quorv {

// A sparse model balanced as the dense one is (balance.h): D^{-1} A_k D for
// D = diag(2^{e_i}), chosen so that the rows and columns of sum_k |A_k|, off
// the diagonal, have comparable norms; exact in floating point, so the
// roots are exactly those of sys. LAPACK's scaling loop (that of dgebal),
// run on the compressed columns of the sum and of its transpose, so that
// each sweep costs the nonzeros rather than n^2. sys validated.
sparse_quorv balanced(const sparse_quorv& sys);

}  // namespace quorv
