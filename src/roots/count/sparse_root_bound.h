#pragma once

#include "model/sparse_quorv.h"
#include "roots/count/argument_count.h"

namespace quorv {

// R(r) = sum_k e^{-r h_k} |A_k|_F for a sparse model, as for the dense one.
double root_bound(const sparse_quorv& sys, double r);

// The rectangle [r, x1] x [-y1, y1] that holds every root with Re >= r,
// by the argument of root_box for the dense model, with bounds that cost
// a few passes over the entries instead of dense decompositions: the
// numerical radius of each delayed term and of the skew part, and the top
// of the symmetric part's spectrum, by Gershgorin's discs of the matrices
// scaled by positive weights from power steps (or sqrt(|A|_1 |A|_inf) where
// that is smaller). For a symmetric undelayed part (a discretized
// diffusion) the skew part is zero, so the height depends only on the
// delayed terms, however stiff the undelayed part is.
rectangle root_box(const sparse_quorv& sys, double r);

}  // namespace quorv
