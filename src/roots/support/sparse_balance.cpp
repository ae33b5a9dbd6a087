#include "roots/support/sparse_balance.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorv {

namespace {

using matrix = sparse_quorv::matrix;

// LAPACK's guards: a factor is not applied when it would carry an entry
// within SFMIN1 = safe minimum / precision of the ends of the double range,
// and a sweep stops scaling state i once c + r falls by less than 5%.
const double sfmin1 = std::numeric_limits<double>::min() / std::numeric_limits<double>::epsilon();
const double sfmax1 = 1 / sfmin1;
const double sfmin2 = 2 * sfmin1;
const double sfmax2 = 1 / sfmin2;
constexpr double factor = 0.95;

// sum_k |A_k| off the diagonal; divided by a power of two near the largest
// entry when the sum overflows, as for the dense model.
matrix magnitude_sum(const sparse_quorv& sys) {
    const auto summed = [&](double down) {
        matrix sum(sys.n(), sys.n());
        for (const matrix& a : sys.A) sum += a.cwiseAbs() * down;
        sum.prune([](Eigen::Index i, Eigen::Index j, double) { return i != j; });
        return sum;
    };
    matrix sum = summed(1.0);
    if (sum.nonZeros() == 0 || std::isfinite(sum.coeffs().maxCoeff())) return sum;
    double largest = 0;
    for (const matrix& a : sys.A)
        if (a.nonZeros() > 0) largest = std::max(largest, a.coeffs().cwiseAbs().maxCoeff());
    int exponent = 0;
    std::frexp(largest, &exponent);
    return summed(std::ldexp(1.0, -exponent - 1) / double(sys.mA()));
}

// The 2-norm and the largest entry of column i of b D (entries b_pi d_i / d_p),
// where `b` holds the sum's columns (or, for rows, its transpose's, with
// the roles of d_i and d_p exchanged by `row`).
void column_sizes(const matrix& b, const Eigen::VectorXd& d, Eigen::Index i, bool row, double& norm,
                  double& largest) {
    double sum = 0;
    largest = 0;
    for (matrix::InnerIterator it(b, i); it; ++it) {
        const double x = row ? it.value() * d[it.row()] / d[i] : it.value() * d[i] / d[it.row()];
        sum += x * x, largest = std::max(largest, x);
    }
    norm = std::sqrt(sum);
}

}  // namespace

sparse_quorv balanced(const sparse_quorv& sys) {
    const Eigen::Index n = sys.n();
    if (n < 2) return sys;
    const matrix columns = magnitude_sum(sys);
    const matrix rows = columns.transpose();
    Eigen::VectorXd d = Eigen::VectorXd::Ones(n);
    for (bool changed = true; changed;) {
        changed = false;
        for (Eigen::Index i = 0; i < n; ++i) {
            double c, ca, r, ra;
            column_sizes(columns, d, i, false, c, ca);
            column_sizes(rows, d, i, true, r, ra);
            if (c == 0 || r == 0) continue;
            const double s = c + r;
            double f = 1, g = r / 2;
            while (c < g && std::max({f, c, ca}) < sfmax2 && std::min({r, g, ra}) > sfmin2)
                f *= 2, c *= 2, ca *= 2, r /= 2, g /= 2, ra /= 2;
            g = c / 2;
            while (g >= r && std::max(r, ra) < sfmax2 && std::min({f, c, g, ca}) > sfmin2)
                f /= 2, c /= 2, g /= 2, ca /= 2, r *= 2, ra *= 2;
            if (c + r >= factor * s) continue;
            if (f < 1 && d[i] < 1 && f * d[i] <= sfmin1) continue;
            if (f > 1 && d[i] > 1 && d[i] >= sfmax1 / f) continue;
            d[i] *= f;
            changed = true;
        }
    }
    if ((d.array() == 1.0).all()) return sys;
    sparse_quorv result = sys;
    for (matrix& a : result.A)
        for (Eigen::Index j = 0; j < a.outerSize(); ++j)
            for (matrix::InnerIterator it(a, j); it; ++it) it.valueRef() *= d[j] / d[it.row()];
    return result;
}

}  // namespace quorv
