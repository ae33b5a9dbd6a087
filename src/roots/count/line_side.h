#pragma once

#include <array>
#include <complex>
#include <optional>
#include <vector>

#include "roots/count/argument_count.h"
#include "roots/count/enclosure.h"
#include "roots/count/root_cluster.h"

namespace quorv {

// Which side of the line Re = r a certified disk of zeros lies on. This is
// the one rule by which every function decides "on or right of the line":
// a disk wholly left of it is left; wholly right (or touching it) is
// right; a disk that meets the line is tightened, its zeros enclosed again
// in disks that stay clear of the line, and only when that fails and its
// zeros are one root within rounding of the line (what the evaluations of
// det Delta resolve there, not a share of the root's size) is it on the
// line, which counts as right of it; otherwise it is marked undecided.
// Returns the disks decided, with left_of_line set on those left of it;
// their multiplicities add up to c's.
std::vector<root_cluster> decide_side(zero_encloser& enclose, const root_cluster& c, double r);

// The widest disk inside c's on one side of the line Re = at (side -1:
// left, +1: right) that c reaches across, on the level of c's centre,
// holding the zeros a count on its boundary finds there; left_of_line is
// c's. Nothing when that count does not resolve. A badly conditioned zero,
// about which det Delta is trusted only some way off, is counted on such a
// disk's boundary where the disks around it that stay clear of the line
// come too close to it.
std::optional<root_cluster> side_part(determinant_samples& f, const root_cluster& c, double at, double side);

// c's zeros either side of the line Re = at, each side's in the widest disk
// inside c's there (see side_part), the right side's first; nothing when
// the two do not hold all of c's zeros.
std::optional<std::array<root_cluster, 2>> split_by(determinant_samples& f, const root_cluster& c, double at);

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
