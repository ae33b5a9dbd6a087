#pragma once

#include <complex>
#include <vector>

#include "model/sparse_quorv.h"
#include "roots/krylov/characteristic_lu.h"
#include "roots/support/work_budget.h"

namespace quorv {

// An approximate root from a Krylov run and how far it is from converged:
// the estimate |H(m+1, m) e_m^T z| / |mu| of the relative error of
// mu = 1 / (lambda - shift).
struct ritz_value {
    std::complex<double> lambda;
    double estimate;
};

// The roots of det Delta nearest `shift`, by Arnoldi's method on the delay
// system's solution operator written in Taylor coefficients on the delay
// interval (infinite Arnoldi). With M(s) = Delta(shift + s), the operator
// maps the coefficients (y_1, y_2, ...) of a function on [-h_max, 0] to
// y_{i+1} = x_i / i (integration) and y_1 = -M(0)^{-1} sum_i M^(i)(0) y_{i+1},
// whose eigenvalues are 1 / (lambda - shift): the roots nearest the shift
// converge first, and every step costs one solve with the one factorisation
// of Delta(shift). The basis vectors grow by one block per step, which a
// fixed-size library operator cannot express; every block lies in the span
// of one n-column orthonormal basis Z (each step adds only y_1), so the
// vectors are stored as small coefficient matrices on Z and orthogonalised
// there (the tensor form): memory n (steps + 1), work O(n steps^2).
//
// Runs until `wanted` Ritz values have estimates below `tolerance` (checked
// every few steps) or `most_steps` steps; polls the budget's check at every
// step and spends one evaluation for the factorisation. Returns every Ritz
// value of the last check, nearest the shift first; empty when Delta(shift)
// does not factor (the shift is a root to rounding) or the budget is spent.
std::vector<ritz_value> infinite_arnoldi(const sparse_quorv& sys, characteristic_lu& lu, std::complex<double> shift,
                                         int wanted, int most_steps, double tolerance, work_budget& budget);

}  // namespace quorv
