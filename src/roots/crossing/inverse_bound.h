#pragma once

#include <Eigen/Core>

#include "roots/krylov/characteristic_lu.h"

namespace quorv {

// For the computed factors f of a matrix M and a bound b >= |D| 1 (in M's
// row order) on a perturbation D, a number t such that M + D is
// nonsingular whenever t < 1; +inf or NaN when the factors bound nothing
// (a zero pivot, overflow).
//
// With R^{-1} M(P, Q) = L U + F + E, E the factorisation's rounding, and
// B = L U + F, the computed factors exactly multiplied out:
//   R^{-1} (M + D)(P, Q) = B (I + B^{-1} (E + R^{-1} D(P, Q))),
// nonsingular when the spectral radius of the last term is below 1, which
// it is when t = | |B^{-1}| y |_inf < 1 for any y >= |E| 1 + R^{-1} |D|(P, Q) 1.
// |E| <= gamma |L| |U| for the n-term products of the elimination, in
// complex arithmetic; the entries scaled by R carry one rounding more.
// No inverse is formed: for a triangular T, |T^{-1}| <= M(T)^{-1}, the
// inverse of its comparison matrix (|diagonal| and -|off-diagonal|), which
// is nonnegative, so |B^{-1}| y is bounded by block back substitution with
// the comparison matrices of each block's L and U and |F|, all in
// nonnegative arithmetic (whose own rounding the caller's margin below 1
// absorbs).
double perturbation_bound(const lu_factors& f, const Eigen::VectorXd& b);

}  // namespace quorv
