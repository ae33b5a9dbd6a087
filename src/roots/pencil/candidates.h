#pragma once

#include <functional>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/pencil/eigenvalues.h"
#include "roots/support/interrupt.h"

namespace quorv {

// How the eigenvalues of a real square matrix are computed: overwrites the
// matrix, writes the eigenvalues and tells whether the iteration converged.
using eigenvalue_routine = std::function<bool(Eigen::MatrixXd&, Eigen::VectorXcd&)>;

// The start values of the Newton refinement for a delayed system: the
// generalized eigenvalues of the pencil discretize(sys, N), in the order the
// solver gives them, from the standard form companion(sys, N). When that
// iteration does not converge, Eigen's QZ on the pencil is the second
// attempt; std::runtime_error when neither converges. A pencil beyond this
// machine's memory or beyond 32-bit element counts is refused with
// std::bad_alloc before it is allocated. Both eigenvalue computations are
// single LAPACK or Eigen calls of up to minutes that cannot poll; for a
// pencil large enough to matter they run on a thread of their own, and a
// stop through check leaves them to finish there (see run_abandonable), so
// the call ends with interrupted within a few milliseconds of the check
// answering.
Eigen::VectorXcd pencil_candidates(const quorv& sys, int N, const interrupt_check& check = {},
                                   const eigenvalue_routine& standard = real_eigenvalues);

// With every delay zero the system is x' = (sum_k A_k) x, whose roots are the
// eigenvalues of that sum; Eigen's real eigen-solver is the second attempt.
// Interruptible as the pencil's eigenvalues are.
Eigen::VectorXcd undelayed_candidates(const quorv& sys, const interrupt_check& check = {},
                                      const eigenvalue_routine& standard = real_eigenvalues);

}  // namespace quorv
