#pragma once

#include <functional>

#include "roots/count/argument_count.h"
#include "roots/count/determinant_samples.h"
#include "roots/count/enclosure.h"
#include "roots/count/root_count.h"

namespace quorv {

// How far left of r the path runs, in the system's own time unit. A root on
// the line Re = r must not lie on the path, where its phase cannot be
// followed; 1e-9 relative keeps it clear of the path while a well-conditioned
// root's real part is known to some 1e-15 relative. The margin is relative
// to the line alone, not to the size of the whole system, so that a stiff
// mode far left does not widen the margin of a slow mode near the line.
double line_offset(double r);

// Where a count's path may run when its left side lies at a given line: no
// where when the bound on the roots right of that line is not finite, the
// empty region when no root can lie right of it, else the rectangle that
// holds every root right of it with a margin on its other three sides, and
// the factor the walk around it divides out of det Delta (none by default).
struct path_region {
    enum class kind { unbounded, empty, region };
    kind state = kind::region;
    rectangle region{};
    known_factor factor{};
};
using path_region_at = std::function<path_region(double left, double offset)>;

// The count of the zeros right of a path that runs `offset` left of the
// line Re = r, 16 times further when it meets a zero (at most three times);
// where the path's left side passes near zeros, they are enclosed and
// decided against the line (line_side.h), and the path moves left of each
// decided disk that reaches across it (at most three times), so that every
// one of them is wholly inside or wholly outside the counted region. A path
// that moved takes in the zeros of the strip it skipped: a second path
// right of the line counts the zeros beyond the strip, and the strip's
// zeros must all lie in decided disks (a disk a path still reaches across
// split in two by it), else the outcome is `undecided`. The same walk for
// every model: region_at gives the model's region. `known` are certified
// disks found before (a Krylov search's roots): decided against the line
// first, so that a path passing near their zeros does not enclose them again.
region_count count_right_of_line(determinant_samples& f, zero_encloser& enclose, double r, double offset,
                                 const path_region_at& region_at, const std::vector<root_cluster>& known = {});

}  // namespace quorv
