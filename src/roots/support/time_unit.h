#pragma once

#include "model/quorv.h"

namespace quorv {

// A computation runs in the system's own time unit, so that its absolute
// tolerances (Newton's, the acceptance residual) mean the same at every time
// scale. With the time unit u, the system with matrices u*A_k and delays h_k/u
// has exactly the roots u*lambda. A delay system has two time scales: the
// largest delay, and the time its matrices take to act, 1 / sum_k |A_k|; the
// unit is the slower of the two. So the rescaled delays are at most 1, the
// interval the estimate's degree curves are calibrated for, and the norms of
// the rescaled matrices sum to at least 1/2, so that the roots the matrices
// drive are of order one or more rather than below the absolute tolerances
// (x' = -x + 0.5 x(t - 1e-300) measured in its delay would have its root
// at -5e-301). An undelayed system x' = (sum_k A_k) x has only the second
// scale, 1 / |sum_k A_k|. The size unit is a power of two, so the rescaling
// itself rounds nothing; it is also the unit of a system whose matrices the
// delay unit would push out of the range of normal doubles.
struct own_time_unit {
    quorv sys;
    double unit;
};

// The power of two that brings a size into [1/2, 1) (as near as the
// largest double allows for a subnormal size), or one for a size that is
// zero or not finite.
double power_of_two_unit(double size);

// The unit of sys's own time scale (validated sys, at least one matrix).
double time_unit(const quorv& sys);

// sys balanced (see balance.h), then rescaled to its own time unit: roots
// of the result are unit * lambda. Every decision of the computation is
// made on this system, so that neither the time unit nor the units of the
// states change a verdict.
own_time_unit in_own_time_unit(const quorv& sys);

}  // namespace quorv
