#pragma once

#include "roots/crossing/crossing_matrix.h"

namespace quorv {

// The box around the zero (w, phi), located to rounding, in which it is the
// only zero. With u, v the singular vectors of Delta's smallest singular
// value at the zero, the bordered matrix M(p) = [Delta(p) u; v^H 0] stays
// nonsingular near it, and g(p) = det Delta(p) / det M(p), the last entry of
// M(p)^{-1} e, vanishes exactly where Delta is singular. g maps the plane to
// the plane; where its Jacobian differs from the one G at the zero by less
// than the smallest singular value of G, on a convex set, g is one-to-one
// there, so it has at most one zero: the one located. The difference is
// bounded through the Banach lemma on M(p) = M(p*) + (M(p) - M(p*)), the
// derivatives of Delta at the zero and bounds on its second derivatives;
// the box is halved from a start until the bound holds.
isolation_box isolate(crossing_matrix& Delta, double w, double phi);

}  // namespace quorv
