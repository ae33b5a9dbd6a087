#pragma once

#include <complex>
#include <vector>

#include "roots/count/argument_count.h"
#include "roots/count/enclosure.h"
#include "roots/count/root_cluster.h"

namespace quorv {

// Which side of the line Re = r a certified disk of zeros lies on. This is
// the one rule by which every function decides "on or right of the line":
// a disk wholly left of it is left; wholly right (or touching it) is
// right; a disk that meets the line is tightened, its zeros enclosed again
// in disks that stay clear of the line, and only when that fails (its
// zeros lie within rounding of the line, or are too close to each other to
// be enclosed apart) is it on the line, which counts as right of it.
// Returns the disks decided, with left_of_line set on those left of it;
// their multiplicities add up to c's.
std::vector<root_cluster> decide_side(zero_encloser& enclose, const root_cluster& c, double r);

// The zeros near `at`, a point where a count's path passed close to them,
// each enclosed (around the root Newton's method reaches from `at`) and
// decided against the line Re = r; `known` disks are
// skipped, so that a zero two passes came near is decided once. Empty when
// no disk near `at` resolves.
std::vector<root_cluster> decide_near(zero_encloser& enclose, std::complex<double> at, double r,
                                      const std::vector<root_cluster>& known);

// The zeros near every place where a count's path passed close to them
// (`probe`), decided against the line Re = r and added to `decided` with
// their mirror images: det Delta takes conjugate values at conjugate
// points, so the mirror disk holds as many zeros on the same side. The
// path's left side is followed in the upper half only; a disk that meets
// the real axis holds real zeros and is its own image.
void decide_passes(zero_encloser& enclose, const path_probe& probe, double r, std::vector<root_cluster>& decided);

// The leftmost point of the decided disks that reach across the path at
// `left`: their zeros may lie on either side of it.
double left_of_decided(const std::vector<root_cluster>& decided, double left);

}  // namespace quorv
