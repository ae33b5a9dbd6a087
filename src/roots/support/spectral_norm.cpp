#include "roots/support/spectral_norm.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Eigenvalues>

namespace quorv {

double spectral_norm(const Eigen::MatrixXd& a) {
    if (a.size() == 0) return 0;
    const double scale = a.cwiseAbs().maxCoeff();
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const Eigen::MatrixXd b = a / scale;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(b.transpose() * b, Eigen::EigenvaluesOnly);
    return scale * std::sqrt(std::max(eig.eigenvalues().maxCoeff(), 0.0));
}

}  // namespace quorv
