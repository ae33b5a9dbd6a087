#include "roots/count/sparse_root_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "roots/support/damped_norm.h"

namespace quorv {

namespace {

using matrix = sparse_quorv::matrix;

double largest_entry(const matrix& a) { return a.nonZeros() == 0 ? 0.0 : a.coeffs().cwiseAbs().maxCoeff(); }

// sqrt(|a|_1 |a|_inf) >= |a|_2, with the entries divided by the largest
// first, so that the row and column sums cannot overflow: the bound is
// infinite only when it exceeds the double range itself.
double norm_bound(const matrix& a) {
    const double scale = largest_entry(a);
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const matrix scaled = a.cwiseAbs() / scale;
    const Eigen::VectorXd column_sums = Eigen::VectorXd::Ones(a.rows()).transpose() * scaled;
    const Eigen::VectorXd row_sums = scaled * Eigen::VectorXd::Ones(a.cols());
    return scale * (std::sqrt(column_sums.maxCoeff()) * std::sqrt(row_sums.maxCoeff()));
}

// The largest Gershgorin bound h_ii + sum_{j != i} |h_ij| of a symmetric h.
double gershgorin_top(const matrix& h) {
    Eigen::VectorXd top = Eigen::VectorXd::Zero(h.rows());
    for (Eigen::Index j = 0; j < h.outerSize(); ++j)
        for (matrix::InnerIterator it(h, j); it; ++it)
            top[it.row()] += it.row() == it.col() ? it.value() : std::abs(it.value());
    return h.rows() == 0 ? -std::numeric_limits<double>::infinity() : top.maxCoeff();
}

// The sum of the undelayed matrices divided by the largest entry among
// them, so that neither the sum nor its symmetric and skew parts overflow;
// `scale` receives that entry.
matrix undelayed_sum(const sparse_quorv& sys, double& scale) {
    scale = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) == 0) scale = std::max(scale, largest_entry(sys.A[k]));
    matrix sum(sys.n(), sys.n());
    if (scale == 0 || !std::isfinite(scale)) return sum;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) == 0) sum += sys.A[k] / scale;
    return sum;
}

}  // namespace

double root_bound(const sparse_quorv& sys, double r) {
    double bound = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k) bound += damped(frobenius_norm(sys.A[k]), r, sys.hk(k));
    return bound;
}

// The modulus bound |U|_2 + D(r) may overflow where the bounds on the real
// and imaginary parts stay finite (a stiff symmetric U near the end of the
// double range): the box keeps whichever is smaller, as for the dense model.
rectangle root_box(const sparse_quorv& sys, double r) {
    double delayed = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) != 0) delayed += damped(norm_bound(sys.A[k]), r, sys.hk(k));
    double scale = 0;
    const matrix u = undelayed_sum(sys, scale);
    if (!std::isfinite(scale)) return {r, scale, -scale, scale};
    const matrix transposed = u.transpose();
    const matrix symmetric = 0.5 * (u + transposed);
    const matrix skew = 0.5 * (u - transposed);
    const double modulus = scale * norm_bound(u) + delayed;
    const double right = std::min(modulus, scale * gershgorin_top(symmetric) + delayed);
    const double top = std::min(modulus, scale * norm_bound(skew) + delayed);
    return {r, right, -top, top};
}

}  // namespace quorv
