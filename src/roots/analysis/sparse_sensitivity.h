#pragma once

#include <complex>
#include <vector>

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include "model/sparse_quorv.h"

namespace quorv {

// The derivatives of a simple root of a sparse model: A[k] holds
// d lambda / d (A_k)_{ij} at every stored entry of A_k (its pattern, so
// that nothing of order n^2 is formed; the derivative at any other entry
// is e^{-lambda h_k} conj(u_i) v_j / d as for the dense model), and
// h[k] = d lambda / d h_k.
struct sparse_root_sensitivity {
    using matrix = Eigen::SparseMatrix<std::complex<double>, Eigen::ColMajor, int>;
    std::vector<matrix> A;
    Eigen::VectorXcd h;
};

// The same derivatives, refusals and messages as sensitivity for the dense
// model, with the null vectors from sparse LU factorisations of Delta(lambda)
// instead of a dense singular value decomposition: inverse iteration with
// Delta^{-1} Delta^{-H} on two vectors gives the two smallest singular
// values (to tell a root, and a simple one, from the rest) and the right
// null vector v, and u = Delta^{-H} v, normalised, the left one.
sparse_root_sensitivity sensitivity(const sparse_quorv& sys, std::complex<double> lambda);

}  // namespace quorv
