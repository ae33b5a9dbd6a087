#include "roots/support/sparse_norm.h"

#include <algorithm>
#include <cmath>

namespace quorv {

double norm_1(const sparse_quorv::matrix& a) {
    double norm = 0;
    for (Eigen::Index j = 0; j < a.outerSize(); ++j) {
        double column = 0;
        for (sparse_quorv::matrix::InnerIterator it(a, j); it; ++it) column += std::abs(it.value());
        norm = std::max(norm, column);
    }
    return norm;
}

double spectral_norm_bound(const sparse_quorv::matrix& a) {
    const double scale = a.nonZeros() == 0 ? 0.0 : a.coeffs().cwiseAbs().maxCoeff();
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const sparse_quorv::matrix scaled = a.cwiseAbs() / scale;
    const Eigen::VectorXd column_sums = Eigen::VectorXd::Ones(a.rows()).transpose() * scaled;
    const Eigen::VectorXd row_sums = scaled * Eigen::VectorXd::Ones(a.cols());
    return scale * (std::sqrt(column_sums.maxCoeff()) * std::sqrt(row_sums.maxCoeff()));
}

}  // namespace quorv
