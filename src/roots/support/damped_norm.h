#pragma once

namespace quorv {

// e^{-r h} norm, the bound a delayed term's norm reaches at Re lambda >= r,
// computed through the logarithm when the factor alone leaves the double
// range, so that it does not turn a finite product into inf (or 0 * inf into
// NaN). An undelayed term keeps its norm whatever r is.
double damped(double norm, double r, double h);

}  // namespace quorv
