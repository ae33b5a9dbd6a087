#pragma once

#include <optional>

#include "model/sparse_quorv.h"
#include "roots/analysis/spectrum.h"
#include "roots/support/interrupt.h"

namespace quorv {

// spectrum and spectral_abscissa for a sparse model, with the dense
// model's meaning, errors and messages. The roots right of r are located
// within the counted region by the argument principle (locate_roots), so
// every one is certified by construction; complete says whether all of
// them were enclosed within the work budget. degree is 0: no pencil is formed.
spectrum_result spectrum(const sparse_quorv& sys, double r, const interrupt_check& check = {});
// The same for roots, with the dense roots' errors: the root bound not
// finite at r is a std::runtime_error (no count, so no roots to list), and
// a count that does not resolve is led by "roots".
spectrum_result spectrum_for_roots(const sparse_quorv& sys, double r, const interrupt_check& check = {});

// The rightmost real part: the count at lines moving left from the axis
// finds the first that holds roots, bisection on the count narrows the
// strip between it and the last empty line, and the roots in the strip are
// located. Its sign follows the count at Re = 0, as for the dense model.
double spectral_abscissa(const sparse_quorv& sys, const interrupt_check& check = {});

// The same when the Krylov search finds a root to start from, empty when it
// finds none (the caller then takes a route of its own): for dense models
// that try the sparse route first.
std::optional<double> krylov_spectral_abscissa(const sparse_quorv& sys, const interrupt_check& check = {});

}  // namespace quorv
