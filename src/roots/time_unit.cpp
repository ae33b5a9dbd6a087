#include "roots/time_unit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorv {

namespace {

double largest_delay(const quorv& sys) { return *std::max_element(sys.hA.begin(), sys.hA.end()); }

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

// The power of two that brings the norm of sum_k A_k into [1/2, 1), or one.
double size_unit(const quorv& sys) {
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    for (const Eigen::MatrixXd& a : sys.A) sum += a;
    const double norm = sum.norm();
    if (!(norm > 0) || !std::isfinite(norm)) return 1;
    int exponent = 0;
    std::frexp(norm, &exponent);
    return std::ldexp(1.0, -exponent);
}

}  // namespace

double time_unit(const quorv& sys) {
    const double h_max = largest_delay(sys);
    if (h_max > 0 && rescales_exactly_enough(sys, h_max)) return h_max;
    return size_unit(sys);
}

own_time_unit in_own_time_unit(const quorv& sys) {
    own_time_unit own{sys, time_unit(sys)};
    if (own.unit == 1) return own;
    for (Eigen::MatrixXd& a : own.sys.A) a *= own.unit;
    for (double& h : own.sys.hA) h /= own.unit;
    return own;
}

}  // namespace quorv
