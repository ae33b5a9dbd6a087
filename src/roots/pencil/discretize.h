#pragma once

#include <utility>

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

// The pencil (M1, M2) of order n*(N+1) whose generalized eigenvalues
// M1 v = lambda M2 v approximate the characteristic roots: a spectral
// discretization in Chebyshev coefficients on [-h_max, 0]. Trusts the caller
// for the model's invariants (every A_k n-by-n, a delay per matrix, N >= 1);
// a degree N < 1 is refused with std::invalid_argument.
//
// M1 = [R_0 R_1 ... R_N; 0 I], where the block row [R_0 ... R_N] is the
// boundary condition phi'(0) = sum_k A_k phi(-h_k); M2 = S (x) I_n with the
// (N+1)-by-(N+1) scalar matrix S of the integration relations.
std::pair<Eigen::MatrixXd, Eigen::MatrixXd> discretize(const quorv& sys, int N);

// Refuses, with std::bad_alloc, an order D whose D*D elements do not fit in
// a signed 32-bit count.
void check_order(Eigen::Index D);

// Block row 0 of M1: n rows, n*(N+1) columns.
Eigen::MatrixXd boundary_row(const quorv& sys, int N);

// S, the scalar matrix of M2 = S (x) I_n; refuses N < 1 with
// std::invalid_argument, as discretize and the companion form do through it.
Eigen::MatrixXd integration_scalars(const quorv& sys, int N);

}  // namespace quorv
