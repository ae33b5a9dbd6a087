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

}  // namespace quorv
