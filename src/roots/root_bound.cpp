#include "roots/root_bound.h"

#include <cmath>

namespace quorv {

double root_bound(const quorv& sys, double r) {
    double bound = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const double h = sys.hk(k);
        // An undelayed term has the factor 1 whatever r is (also r = -inf,
        // where -r*h would be inf*0). The norm scales before it squares, so
        // that large or tiny entries neither overflow nor vanish.
        const double factor = h == 0 ? 1.0 : std::exp(-r * h);
        bound += factor * sys.Ak(k).stableNorm();
    }
    return bound;
}

}  // namespace quorv
