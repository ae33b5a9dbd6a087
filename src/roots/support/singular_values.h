#pragma once

#include <Eigen/Core>

namespace quorv {

// The singular values of a complex matrix, largest first, by LAPACK's
// bidiagonal QR iteration (zgesvd, no singular vectors). A is overwritten.
// All of them are NaN in the practically unseen case that the iteration
// does not converge, so that no comparison with a threshold holds.
Eigen::VectorXd singular_values(Eigen::MatrixXcd& A);

// The smallest singular value sigma of a square complex matrix with unit
// singular vectors, A v = sigma u, by the same iteration; sigma NaN when it
// does not converge or A is empty. A is overwritten.
struct singular_triplet {
    double sigma;
    Eigen::VectorXcd u, v;
};
singular_triplet smallest_singular_triplet(Eigen::MatrixXcd& A);

}  // namespace quorv
