#pragma once

#include <optional>

#include "model/sparse_quorv.h"
#include "roots/count/argument_count.h"
#include "roots/support/work_budget.h"

namespace quorv {

// The first-order part of log det Delta in the delayed terms along the
// segment lambda = x + i y, 0 <= y <= height, as an entire function:
//   log det Delta = log det(lambda - U) + log det(I - sum_k e^{-lambda h_k} R A_k)
// with U the undelayed terms and R = (lambda - U)^{-1}, and
//   phi(lambda) = -sum_k e^{-lambda h_k} P_k(lambda),
// P_k the polynomial that interpolates tr(R A_k) at Chebyshev points of the
// segment. A mode mu far left (a fine grid's fast diffusion) adds
// -b e^{-lambda} / (lambda - mu) to log det Delta: small, but thousands of
// them turn its phase by some sum_j |b| e^{-x} / |mu_j| per unit of height,
// like e^{-i y}, back and forth; phi follows that, and a count divides it
// out. tr(R A_k) = -d/ds log det(lambda - U - s A_k) at s = 0 comes from two
// sparse factorisations per point and delayed term. Empty when a
// factorisation fails, when the budget runs out, or when the polynomials do
// not reproduce tr(R A_k) at a check point (an eigenvalue of U near the
// segment): the count then walks det Delta as it is.
std::optional<entire_function> left_side_term(const sparse_quorv& sys, double x, double height, work_budget& budget);

}  // namespace quorv
