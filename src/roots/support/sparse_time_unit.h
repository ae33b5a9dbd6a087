#pragma once

#include "model/sparse_quorv.h"

namespace quorv {

// A sparse model balanced (sparse_balance.h) and in its own time unit,
// chosen as for the dense model (the slower of the largest delay and the
// time 1 / sum_k |A_k|_F the matrices take to act, a power of two): the
// result's roots are unit * lambda.
struct own_sparse_time_unit {
    sparse_quorv sys;
    double unit;
};

own_sparse_time_unit in_own_time_unit(const sparse_quorv& sys);

}  // namespace quorv
