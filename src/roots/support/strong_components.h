#pragma once

#include <vector>

#include <Eigen/Dense>

namespace quorv {

// The strongly connected components of the graph of a square matrix's
// nonzero pattern, an edge i -> j for every entry (i, j) != 0 off the
// diagonal: state i depends on state j. Each component lists its states in
// increasing order, and the components come dependencies first: for an
// entry (i, j) != 0 between two components, j's comes before i's. In those
// coordinates the matrix is block triangular, and its eigenvalues (and a
// time-delay system's roots) are those of the diagonal blocks.
std::vector<std::vector<Eigen::Index>> strong_components(const Eigen::MatrixXd& pattern);

}  // namespace quorv
