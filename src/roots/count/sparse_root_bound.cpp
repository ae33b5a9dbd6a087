#include "roots/count/sparse_root_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorv {

namespace {

using matrix = sparse_quorv::matrix;

// sqrt(|a|_1 |a|_inf) >= |a|_2, for a matrix whose entries are all finite.
double norm_bound(const matrix& a) {
    const Eigen::VectorXd column_sums = Eigen::VectorXd::Ones(a.rows()).transpose() * a.cwiseAbs();
    const Eigen::VectorXd row_sums = a.cwiseAbs() * Eigen::VectorXd::Ones(a.cols());
    if (a.nonZeros() == 0) return 0;
    return std::sqrt(column_sums.maxCoeff()) * std::sqrt(row_sums.maxCoeff());
}

// The largest Gershgorin bound h_ii + sum_{j != i} |h_ij| of a symmetric h.
double gershgorin_top(const matrix& h) {
    Eigen::VectorXd top = Eigen::VectorXd::Zero(h.rows());
    for (Eigen::Index j = 0; j < h.outerSize(); ++j)
        for (matrix::InnerIterator it(h, j); it; ++it)
            top[it.row()] += it.row() == it.col() ? it.value() : std::abs(it.value());
    return h.rows() == 0 ? -std::numeric_limits<double>::infinity() : top.maxCoeff();
}

// e^{-r h} norm without 0 * inf, as for the dense model.
double damped(double norm, double r, double h) {
    if (h == 0 || norm == 0) return norm;
    const double factor = std::exp(-r * h);
    if (factor > 0 && std::isfinite(factor)) return factor * norm;
    return std::exp(std::log(norm) - r * h);
}

}  // namespace

double root_bound(const sparse_quorv& sys, double r) {
    double bound = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k) bound += damped(frobenius_norm(sys.A[k]), r, sys.hk(k));
    return bound;
}

rectangle root_box(const sparse_quorv& sys, double r) {
    double delayed = 0;
    matrix undelayed(sys.n(), sys.n());
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        if (sys.hk(k) != 0) delayed += damped(norm_bound(sys.A[k]), r, sys.hk(k));
        else undelayed += sys.A[k];
    }
    const matrix transposed = undelayed.transpose();
    const matrix symmetric = 0.5 * (undelayed + transposed);
    const matrix skew = 0.5 * (undelayed - transposed);
    const double modulus = norm_bound(undelayed) + delayed;
    const double right = std::min(modulus, gershgorin_top(symmetric) + delayed);
    const double top = std::min(modulus, norm_bound(skew) + delayed);
    if (!std::isfinite(modulus)) return {r, modulus, -modulus, modulus};
    return {r, right, -top, top};
}

}  // namespace quorv
