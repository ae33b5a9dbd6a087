#include "roots/support/damped_norm.h"

#include <cmath>

namespace quorv {

double damped(double norm, double r, double h) {
    if (h == 0 || norm == 0) return norm;
    const double factor = std::exp(-r * h);
    if (factor > 0 && std::isfinite(factor)) return factor * norm;
    return std::exp(std::log(norm) - r * h);
}

}  // namespace quorv
