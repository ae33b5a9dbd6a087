#pragma once

#include <utility>

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

// The pencil (M1, M2) of order n*(N+1) whose generalized eigenvalues
// M1 v = lambda M2 v approximate the characteristic roots: a spectral
// discretization in Chebyshev coefficients on [-h_max, 0]. Trusts the caller
// for the model's invariants (every A_k n-by-n, a delay per matrix); a degree
// N < 1 is refused with std::invalid_argument.
std::pair<Eigen::MatrixXd, Eigen::MatrixXd> discretize(const quorv& sys, int N);

}  // namespace quorv
