#include "roots/support/sparse_time_unit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "roots/support/sparse_balance.h"
#include "roots/support/time_unit.h"

namespace quorv {

namespace {

// Whether u * A_k keeps every stored entry a normal, finite double.
bool rescales_exactly_enough(const sparse_quorv& sys, double u) {
    for (const sparse_quorv::matrix& a : sys.A)
        for (Eigen::Index i = 0; i < a.nonZeros(); ++i) {
            const double x = a.valuePtr()[i];
            if (x != 0 && !(std::abs(u * x) >= std::numeric_limits<double>::min() && std::isfinite(u * x)))
                return false;
        }
    return true;
}

double size_unit(const sparse_quorv& sys) {
    if (largest_delay(sys) == 0) {
        sparse_quorv::matrix sum(sys.n(), sys.n());
        for (const sparse_quorv::matrix& a : sys.A) sum += a;
        return power_of_two_unit(frobenius_norm(sum));
    }
    double norms = 0;
    for (const sparse_quorv::matrix& a : sys.A) norms += frobenius_norm(a);
    return power_of_two_unit(norms);
}

}  // namespace

own_sparse_time_unit in_own_time_unit(const sparse_quorv& sys) {
    own_sparse_time_unit own{balanced(sys), 1.0};
    const double by_size = size_unit(own.sys);
    own.unit = std::max(largest_delay(own.sys), by_size);
    if (!rescales_exactly_enough(own.sys, own.unit)) own.unit = by_size;
    if (own.unit == 1) return own;
    for (sparse_quorv::matrix& a : own.sys.A) a *= own.unit;
    for (double& h : own.sys.hA) h /= own.unit;
    return own;
}

}  // namespace quorv
