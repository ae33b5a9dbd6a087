#pragma once

#include "model/sparse_quorv.h"

namespace quorv {

// The largest column sum of |a|, its 1-norm; 0 for an empty matrix.
double norm_1(const sparse_quorv::matrix& a);

// sqrt(|a|_1 |a|_inf) >= |a|_2, with the entries divided by the largest
// first, so that the row and column sums cannot overflow: the bound is
// infinite only when it exceeds the double range itself.
double spectral_norm_bound(const sparse_quorv::matrix& a);

}  // namespace quorv
