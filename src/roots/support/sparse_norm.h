#pragma once

#include "model/sparse_quorv.h"

namespace quorv {

// The largest column sum of |a|, its 1-norm; 0 for an empty matrix.
double norm_1(const sparse_quorv::matrix& a);

}  // namespace quorv
