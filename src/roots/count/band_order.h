#pragma once

#include <vector>

#include <Eigen/Core>

#include "model/quorv.h"

namespace quorv {

// The band of a matrix pattern: nonzeros only where -lower <= j - i <= upper.
struct band {
    Eigen::Index lower = 0;
    Eigen::Index upper = 0;
};

// An order of the unknowns, order[new] = old, that gathers the union pattern
// of the A_k near the diagonal: reverse Cuthill-McKee on the symmetrised
// pattern, each connected part from a node of least degree. A ring of
// coupled units, banded but for its corners, comes out with a band of twice
// its coupling reach. Reordering the unknowns alike in rows and columns,
// P Delta P^T, changes neither det Delta nor tr(Delta^{-1} Delta').
std::vector<Eigen::Index> banding_order(const quorv& sys);

// The band of the union of the patterns of the A_k (and of the identity),
// with the unknowns in the given order (the natural one when empty).
band union_band(const quorv& sys, const std::vector<Eigen::Index>& order = {});

}  // namespace quorv
