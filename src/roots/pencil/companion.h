#pragma once

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

// The matrix C of order n*(N+1) whose ordinary eigenvalues are exactly the
// generalized eigenvalues of the pencil discretize(sys, N), formed without
// the pencil: one solve with the small scalar matrix S and D*D writes.
// Same preconditions as discretize.
Eigen::MatrixXd companion(const quorv& sys, int N);

}  // namespace quorv
