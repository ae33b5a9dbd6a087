#pragma once

#include <complex>
#include <vector>

#include "roots/count/argument_count.h"
#include "roots/count/log_determinant.h"
#include "roots/complete/multiple_root.h"

namespace quorv {

struct completion_outcome {
    // The roots added, in the order they were found; a root of multiplicity m
    // once, with its multiplicity in the matching entry of `clusters`.
    std::vector<root_cluster> added;
    // False when the work budget or the depth of subdivision ran out first.
    bool complete = true;
};

// Finds the roots that `known` misses among the `count` roots in `region`
// (those with Re >= left): first Newton's method from one period 2 pi / h_max
// above and below every known root, following the chains the roots lie on;
// then, for what is still missing, the region is bisected, each half
// counted, and in a piece that holds more roots than are known there,
// Newton's method from its centre locates one. A root located inside a known
// root's disk is that root, whatever its multiplicity; any other is enclosed
// in a disk of its own clear of the known ones (see encloser), and added with
// its conjugate's disk. `known` gains the added roots.
completion_outcome complete_roots(log_determinant& f, const rectangle& region, long count, double left,
                                  std::vector<root_cluster>& known);

}  // namespace quorv
