#pragma once

#include <complex>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

// What the dense and the sparse model's derivatives decide by.
// A root refined by roots has a backward error near machine precision. Up to
// 1e-8 relative to the size of Delta's terms still leaves the first-order
// derivatives about that accurate; beyond it lambda is not a root.
inline constexpr double root_tolerance = 1e-8;
// At a double root, a point with backward error eta lies about sqrt(eta)
// from it, and u^H Delta' v is of that size there (smaller still at a higher
// multiplicity); at a simple root it stays away from zero however small eta is.
// u^H Delta' v within ten times sqrt(eta) of zero is therefore a multiple root,
// or a point too close to one for its first-order derivative to mean anything.
inline constexpr double multiple_root_factor = 10.0;
// The left and right null vectors of Delta(lambda) at a root, and the
// backward error at which they were found (the smallest singular value).
struct null_vectors {
    Eigen::VectorXcd u;
    Eigen::VectorXcd v;
    double backward_error = 0.0;
};

// First-order derivatives of one simple characteristic root lambda:
// A[k](i, j) = d lambda / d (A_k)_{ij} and h[k] = d lambda / d h_k.
struct root_sensitivity {
    std::vector<Eigen::MatrixXcd> A;
    Eigen::VectorXcd h;
};

// The derivatives of the simple root lambda of sys with respect to every
// entry of every matrix and every delay. Validates sys as roots does, and
// throws std::invalid_argument when lambda is not finite, not a root, or a
// multiple root.
root_sensitivity sensitivity(const quorv& sys, std::complex<double> lambda);

}  // namespace quorv
