#pragma once

#include <complex>
#include <vector>

#include "roots/complete/multiple_root.h"
#include "roots/count/argument_count.h"
#include "roots/count/determinant_samples.h"

namespace quorv {

// The roots a count holds in a rectangle, located by the argument principle
// alone, for models whose characteristic matrix is only ever factored (the
// sparse ones): the rectangle is cut in two across its longer side, the
// count of one half gives the other's, and a piece that holds one root
// hands it to Newton's method on det Delta (lambda <- lambda - 1/g), whose
// result is enclosed in a disk inside the piece that the argument principle
// shows to hold exactly one zero. A piece that holds several zeros and has
// shrunk below the scatter of double precision is one multiple root, at its
// centre, in the disk around the piece, counted again to show it holds
// exactly the piece's zeros. Every root is certified by construction: the
// pieces are disjoint and their counts add up. `known` are disjoint
// certified disks found by other means (the Krylov stage): a piece whose
// count they account for is not cut further.
struct located_roots {
    std::vector<root_cluster> roots;
    // Whether every zero of the count was enclosed.
    bool complete = false;
};

located_roots locate_roots(determinant_samples& f, const rectangle& region, long count,
                           const std::vector<root_cluster>& known = {});

}  // namespace quorv
