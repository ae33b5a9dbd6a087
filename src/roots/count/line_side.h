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

// The zeros in `found` that no disk in `decided` meets, decided against
// the line Re = r and added to `decided` with their mirror images: det
// Delta takes conjugate values at conjugate points, so the mirror disk
// holds as many zeros on the same side. A disk that meets the real axis
// holds real zeros and is its own image. A zero two searches came near is
// so decided once.
void decide_new(zero_encloser& enclose, const std::vector<root_cluster>& found, double r,
                std::vector<root_cluster>& decided);

// The zeros near `at`, a point where a count's path passed close to them,
// each enclosed (around the root Newton's method reaches from `at`) and
// decided as decide_new does. Nothing when no disk near `at` resolves.
void decide_near(zero_encloser& enclose, std::complex<double> at, double r, std::vector<root_cluster>& decided);

// The zeros near every place where a count's path passed close to them
// (`probe`), decided as decide_near does. The path's left side is followed
// in the upper half only: the mirror images stand for the lower half.
void decide_passes(zero_encloser& enclose, const path_probe& probe, double r, std::vector<root_cluster>& decided);

}  // namespace quorv
