#include "roots/count/root_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Eigenvalues>

#include "roots/support/damped_norm.h"
#include "roots/support/spectral_norm.h"

namespace quorv {

// Why root_box holds. Let lambda be a root with Re lambda >= r and v a unit
// vector with Delta(lambda) v = 0, that is
//     lambda = v* U v + sum_{h_k > 0} e^{-lambda h_k} v* A_k v,
// where U is the sum of the undelayed matrices. Write D(r) for
// sum_{h_k > 0} e^{-r h_k} |A_k|_2. Since h_k > 0 and Re lambda >= r,
// |e^{-lambda h_k}| <= e^{-r h_k}, and |v* A_k v| <= |A_k|_2, so the delayed
// sum is a complex number of modulus at most D(r). Split the real U into
// H = (U + U^T)/2 and K = (U - U^T)/2: v* H v is real and at most mu_2, the
// largest eigenvalue of H; v* K v is imaginary (K is skew) of modulus at most
// |K|_2. Hence
//     Re lambda  <= mu_2 + D(r),
//     |Im lambda| <= |K|_2 + D(r),
// and, lambda being an eigenvalue of U + sum_{h_k>0} e^{-lambda h_k} A_k,
//     |lambda| <= |U|_2 + D(r),
// which bounds both sides again. For a symmetric undelayed part (a
// discretized diffusion) K = 0 and mu_2 is its top eigenvalue, however
// large |U| is; for a skew one (a rotation) H = 0.

namespace {

// The largest eigenvalue of the symmetric part of a, with a scaled by its
// largest entry first, as for spectral_norm.
double top_of_symmetric_part(const Eigen::MatrixXd& a) {
    if (a.size() == 0) return -std::numeric_limits<double>::infinity();
    const double scale = a.cwiseAbs().maxCoeff();
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const Eigen::MatrixXd h = 0.5 * (a / scale + a.transpose() / scale);
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(h, Eigen::EigenvaluesOnly);
    return scale * eig.eigenvalues().maxCoeff();
}

// The sum of the undelayed matrices, divided by the largest entry among them
// so that the sum cannot overflow; `scale` receives that entry.
Eigen::MatrixXd undelayed_sum(const quorv& sys, double& scale) {
    scale = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) == 0 && sys.Ak(k).size() > 0) scale = std::max(scale, sys.Ak(k).cwiseAbs().maxCoeff());
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    if (scale == 0 || !std::isfinite(scale)) return sum;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) == 0) sum += sys.Ak(k) / scale;
    return sum;
}

}  // namespace

double root_bound(const quorv& sys, double r) {
    double bound = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k) bound += damped(sys.Ak(k).stableNorm(), r, sys.hk(k));
    return bound;
}

rectangle root_box(const quorv& sys, double r) {
    double delayed = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) != 0) delayed += damped(spectral_norm(sys.Ak(k)), r, sys.hk(k));
    double scale = 0;
    const Eigen::MatrixXd u = undelayed_sum(sys, scale);
    if (!std::isfinite(scale)) return {r, scale, -scale, scale};
    const Eigen::MatrixXd skew = 0.5 * (u - u.transpose());
    const double modulus = scale * spectral_norm(u) + delayed;
    const double right = std::min(modulus, scale * top_of_symmetric_part(u) + delayed);
    const double top = std::min(modulus, scale * spectral_norm(skew) + delayed);
    return {r, right, -top, top};
}

rectangle with_margin(const rectangle& box, double margin) {
    const double right = std::max(box.x1, box.x0);
    const double pad = 0.05 * std::max(right - box.x0, box.y1) + margin;
    return {box.x0, right + pad, box.y0 - pad, box.y1 + pad};
}

}  // namespace quorv
