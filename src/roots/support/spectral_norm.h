#pragma once

#include <Eigen/Core>

namespace quorv {

// The largest singular value of a, the square root of the largest
// eigenvalue of a^T a, with the matrix scaled by its largest entry first, so
// that entries near the ends of the double range neither overflow nor
// underflow in the product; the result is +inf only when the norm itself is.
// The largest eigenvalue of the symmetric a^T a is computed to a relative
// accuracy of a few units of rounding, and so is its root; only small
// singular values suffer from squaring.
double spectral_norm(const Eigen::MatrixXd& a);

}  // namespace quorv
