#pragma once

#include <vector>

#include "model/quorv.h"
#include "model/sparse_quorv.h"
#include "roots/support/interrupt.h"

namespace quorv {

// The delay margin: the largest d >= 0 such that the system with the delays
// of the terms `terms` longer by d' (together: one loop delay that appears
// in several terms; the other delays fixed) is asymptotically stable for
// every d' in [0, d). 0 when the system is not stable as given, +inf when
// no added delay destabilises it.
struct margin_result {
    double margin = 0;
    // False when the search for crossings ran out of its work budget before
    // it could exclude every crossing: margin is then only a lower bound.
    bool certified = true;
};

// Every delay at which a root sits on the imaginary axis comes from a zero
// of the crossing matrix (roots/crossing), all of which below a delay are
// located by a search that cannot pass one; in the order of their delays,
// the first at which the count right of the axis is 0 just before and
// positive just after is where stability is lost. A root that touches the
// axis and returns does not end the margin. Computed in the system's own
// time unit. Throws std::invalid_argument for no term, a term index out of
// range or given twice, std::runtime_error when the counts contradict the
// crossings found, interrupted when check asks to stop, and validates sys
// as roots does.
margin_result delay_margin(const quorv& sys, const std::vector<long long>& terms, const interrupt_check& check = {});
// The same for a sparse model, whose crossing matrix is answered with sparse
// LU factors (sparse_crossing_matrix.h) and whose counts are the sparse
// is_stable's: no n x n matrix is formed.
margin_result delay_margin(const sparse_quorv& sys, const std::vector<long long>& terms,
                           const interrupt_check& check = {});

}  // namespace quorv
