#pragma once

#include "model/quorv.h"

namespace quorv {

// R(r) = sum_k e^{-r h_k} |A_k|_F. A root lambda with Re lambda >= r is an
// eigenvalue of sum_k e^{-lambda h_k} A_k, whose terms have norm at most
// e^{-r h_k} |A_k|_F there, so |lambda| <= R(r). +inf when a factor
// overflows or r = -inf; NaN when r is NaN.
double root_bound(const quorv& sys, double r);

}  // namespace quorv
