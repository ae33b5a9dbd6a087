#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

#include "roots/count/log_determinant.h"
#include "roots/count/root_cluster.h"

namespace quorv {

// The roots a computation found, each entry once more per candidate that
// reached it, grouped into distinct roots, each enclosed in a disk of its
// own (see encloser). owner[i] is the cluster of found[i], or `dropped` for
// an entry that is no root (a Newton iterate that stalled with a small
// residual but no zero near it). Entries within the tightest disk (1e-10
// relative) are one entry. Entries within 1e-2 relative of each other are one
// multiple root when Delta is singular at their mean to rounding; else they
// are grouped ever more tightly, and within 1e-4 relative the zeros of a
// disk around them are separated by their moments. An entry well below the
// axis whose conjugate is listed takes the mirror image of that entry's
// disk. The disks of different clusters are disjoint; a cluster whose disk
// could not be certified, or meets another's, has radius 0.
inline constexpr std::size_t dropped = static_cast<std::size_t>(-1);
struct clustered_roots {
    std::vector<root_cluster> clusters;
    std::vector<std::size_t> owner;
};
clustered_roots cluster_roots(log_determinant& f, const std::vector<std::complex<double>>& found);

// The characteristic matrix is real, so its roots are symmetric about the
// real axis: a root whose mirror image is also listed is paired with it
// exactly, and a root whose disk meets the axis, where its mirror disk meets
// it, is real. The disks grow by the distance their centres move.
void pair_conjugates(std::vector<root_cluster>& clusters);

// Disks that meet lose their certificates (radius 0): their zeros are not
// told apart.
void uncertify_overlaps(std::vector<root_cluster>& clusters);


}  // namespace quorv
