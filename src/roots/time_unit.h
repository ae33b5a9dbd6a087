#pragma once

#include "model/quorv.h"

namespace quorv {

// A computation runs in the system's own time unit, so that its absolute
// tolerances (Newton's, the acceptance residual) mean the same at every time
// scale. With the time unit u, the system with matrices u*A_k and delays h_k/u
// has exactly the roots u*lambda. The unit is the largest delay: the degree
// curves of the estimate are calibrated for a delay interval of length one,
// and the pencil of the rescaled system has the rescaled eigenvalues. An
// undelayed system x' = (sum_k A_k) x has no delay to measure time by; its
// roots are the eigenvalues of the sum, whose size is the only time scale it
// has, so the unit is the power of two that brings the norm of the sum into
// [1/2, 1) (a power of two, so the rescaling itself rounds nothing), or one
// for a zero sum. The same size unit serves a delayed system whose matrices
// the delay unit would push out of the range of normal doubles.
struct own_time_unit {
    quorv sys;
    double unit;
};

// The unit of sys's own time scale (validated sys, at least one matrix).
double time_unit(const quorv& sys);

// sys rescaled to its own time unit: roots of the result are unit * lambda.
own_time_unit in_own_time_unit(const quorv& sys);

}  // namespace quorv
