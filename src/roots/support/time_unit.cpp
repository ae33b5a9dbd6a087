#include "roots/support/time_unit.h"

#include "roots/support/balance.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorv {

namespace {

// Whether u * A_k keeps every entry of every matrix a normal, finite double:
// a delay interval near the smallest subnormal would flush the matrices to
// zero and lose the system.
bool rescales_exactly_enough(const quorv& sys, double u) {
    for (const Eigen::MatrixXd& a : sys.A)
        for (const double x : a.reshaped())
            if (x != 0 && !(std::abs(u * x) >= std::numeric_limits<double>::min() &&
                            std::isfinite(u * x)))
                return false;
    return true;
}

// The time the matrices take to act: 1 / |sum_k A_k| for an undelayed
// system, whose roots are the eigenvalues of the sum; 1 / sum_k |A_k| for a
// delayed one, whose terms act separately. The norms scale before they
// square, so entries beyond 1e154 or below 1e-162 neither overflow nor
// vanish.
double size_unit(const quorv& sys) {
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    double norms = 0;
    for (const Eigen::MatrixXd& a : sys.A) sum += a, norms += a.stableNorm();
    return power_of_two_unit(largest_delay(sys) > 0 ? norms : sum.stableNorm());
}

}  // namespace

double power_of_two_unit(double size) {
    if (!(size > 0) || !std::isfinite(size)) return 1;
    int exponent = 0;
    std::frexp(size, &exponent);
    // A subnormal size (a lone entry of 5e-324) would need a unit beyond the
    // largest double: the unit stops at the largest normal power of two.
    constexpr int widest = std::numeric_limits<double>::max_exponent - 1;
    return std::ldexp(1.0, std::min(-exponent, widest));
}

double time_unit(const quorv& sys) {
    const double by_size = size_unit(sys);
    const double unit = std::max(largest_delay(sys), by_size);
    return rescales_exactly_enough(sys, unit) ? unit : by_size;
}

own_time_unit in_own_time_unit(const quorv& sys) {
    own_time_unit own{balanced(sys).sys, 1.0};
    own.unit = time_unit(own.sys);
    if (own.unit == 1) return own;
    for (Eigen::MatrixXd& a : own.sys.A) a *= own.unit;
    for (double& h : own.sys.hA) h /= own.unit;
    return own;
}

}  // namespace quorv
