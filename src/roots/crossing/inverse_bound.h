#pragma once

#include <functional>

#include <Eigen/Core>

#include "roots/krylov/characteristic_lu.h"

namespace quorv {

// z -> a bound on |D| z for z >= 0: z in M's column order, the result in its
// row order, D the perturbation of M the caller wants to allow.
using perturbation_action = std::function<Eigen::VectorXd(const Eigen::VectorXd&)>;

// For the computed factors f of a matrix M and the action of a bound on
// |D|, a number t such that M + D is nonsingular whenever t < 1; +inf or
// NaN when the factors bound nothing (a zero pivot, overflow).
//
// With R^{-1} M(P, Q) = L U + F + E, E the factorisation's rounding, and
// B = L U + F, the computed factors exactly multiplied out:
//   R^{-1} (M + D)(P, Q) = B (I + B^{-1} (E + R^{-1} D(P, Q))),
// nonsingular when the spectral radius of the last term is below 1. It is
// at most that of any nonnegative X >= |B^{-1}| (|E| + R^{-1} |D|(P, Q)),
// which for every z > 0 is at most max_i (X z)_i / z_i (the weighted
// row-sum norm): z = 1 first, then a few power steps z <- X z, which turn z
// toward X's Perron vector and the bound toward the radius itself.
// |E| <= gamma |L| |U| for the n-term products of the elimination, in
// complex arithmetic; the entries scaled by R carry one rounding more.
// No inverse is formed: for a triangular T, |T^{-1}| <= M(T)^{-1}, the
// inverse of its comparison matrix (|diagonal| and -|off-diagonal|), which
// is nonnegative, so |B^{-1}| y is bounded by block back substitution with
// the comparison matrices of each block's L and U and |F|, all in
// nonnegative arithmetic (whose own rounding the caller's margin below 1
// absorbs).
double perturbation_bound(const lu_factors& f, const perturbation_action& D);

}  // namespace quorv
