#pragma once

#include "model/quorv.h"
#include "roots/count/argument_count.h"

namespace quorv {

// R(r) = sum_k e^{-r h_k} |A_k|_F. A root lambda with Re lambda >= r is an
// eigenvalue of sum_k e^{-lambda h_k} A_k, whose terms have norm at most
// e^{-r h_k} |A_k|_F there, so |lambda| <= R(r). +inf when a term overflows
// or r = -inf; NaN when r is NaN. Cheap (one pass over the entries), so it
// serves every test "can a root lie right of r at all".
double root_bound(const quorv& sys, double r);

// The rectangle [r, x1] x [-y1, y1] that holds every root with Re >= r,
// from spectral norms and the numerical range (derived in root_bound.cpp);
// x1 < r when no root can lie right of r. Costs a few dense factorisations
// of order n. Sides +inf when a damped norm overflows or r = -inf.
rectangle root_box(const quorv& sys, double r);

// The box widened on its right, top and bottom by 5 % of its extent plus
// `margin`, so that a path along those sides keeps clear of roots lying on
// the bound itself; its right side at least `margin` right of its left one.
rectangle with_margin(const rectangle& box, double margin);

}  // namespace quorv
