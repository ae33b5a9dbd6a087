#pragma once

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

// A system whose states come in very different units (millimetres beside
// kilometres) has matrices S A_k S^{-1} with a badly scaled diagonal S: the
// same roots, but norms, rounding guards and the sizes of disks all grow
// with the condition of S. Balancing undoes that before anything else: a
// diagonal similarity D^{-1} A_k D, D = diag(2^{e_i}), chosen so that the
// rows and columns of sum_k |A_k| have comparable norms (as LAPACK balances
// one matrix). Powers of two make the similarity exact in floating point,
// so the balanced system has exactly the roots of the original.
struct balanced_system {
    quorv sys;
    // D's diagonal: state i of the balanced system is state i of the
    // original divided by scale[i].
    Eigen::VectorXd scale;
};

// sys balanced (a validated system; one of order 0 is returned as it is).
balanced_system balanced(const quorv& sys);

}  // namespace quorv
