#pragma once

#include <Eigen/Core>

namespace quorv {

// The singular values of a complex matrix, largest first, by LAPACK's
// bidiagonal QR iteration (zgesvd, no singular vectors). A is overwritten.
// All of them are NaN in the practically unseen case that the iteration
// does not converge, so that no comparison with a threshold holds.
Eigen::VectorXd singular_values(Eigen::MatrixXcd& A);

}  // namespace quorv
