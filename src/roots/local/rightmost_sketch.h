#pragma once

#include <complex>
#include <vector>

#include "model/quorv.h"
#include "roots/support/interrupt.h"

namespace quorv {

// The rightmost roots of a system in its own time unit, roughly: a
// discretization of low degree resolves the roots of small modulus first,
// the rightmost ones of most systems among them, and its pencil of order
// (degree + 1) n costs little beside one count. Newton's method runs only
// from its rightmost eigenvalues in the upper half plane; the mirror image
// of each root is a root as well. An undelayed system's eigenvalues are its
// roots. Every entry is a root to the acceptance residual; none need be the
// rightmost one. check is polled before every refinement.
std::vector<std::complex<double>> rightmost_sketch(const quorv& own, const interrupt_check& check);

}  // namespace quorv
