#pragma once

#include <complex>
#include <optional>
#include <vector>

#include "roots/count/determinant_samples.h"
#include "roots/count/root_cluster.h"

namespace quorv {

// What the line's decision (line_side.h) asks of a model: certified disks
// around the zeros near a point, and Newton's method towards one. The dense
// and the sparse models each enclose zeros their own way (the dense one can
// polish on the eigenproblem and test Delta's singularity directly; the
// sparse one only factors Delta), so that one rule decides both.
class zero_encloser {
public:
    virtual ~zero_encloser() = default;
    // The zeros near z, each in a certified disk inside |lambda - z| < room,
    // with radius at least `least`; empty when none resolves.
    virtual std::vector<root_cluster> around(std::complex<double> z, double least, double room) = 0;
    // The root Newton's method reaches from start within `reach` of it.
    virtual std::optional<std::complex<double>> refined(std::complex<double> start, double reach) = 0;
    virtual determinant_samples& samples() = 0;
    // The size a zero near z is known relative to, which the tightest disk
    // around it and the line's rounding level are shares of.
    virtual double scale(std::complex<double> z) { return root_scale(z); }
};

}  // namespace quorv
