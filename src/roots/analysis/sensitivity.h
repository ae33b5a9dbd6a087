#pragma once

#include <complex>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"

namespace quorv {

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
