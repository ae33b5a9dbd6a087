#include "roots/count/root_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Eigenvalues>

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

// The largest singular value of a, the square root of the largest
// eigenvalue of a^T a, with the matrix scaled by its largest entry first, so
// that entries near the ends of the double range neither overflow nor
// underflow in the product; the result is +inf only when the norm itself is.
// The largest eigenvalue of the symmetric a^T a is computed to a relative
// accuracy of a few units of rounding, and so is its root; only small
// singular values suffer from squaring.
double spectral_norm(const Eigen::MatrixXd& a) {
    if (a.size() == 0) return 0;
    const double scale = a.cwiseAbs().maxCoeff();
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const Eigen::MatrixXd b = a / scale;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(b.transpose() * b, Eigen::EigenvaluesOnly);
    return scale * std::sqrt(std::max(eig.eigenvalues().maxCoeff(), 0.0));
}

// The largest eigenvalue of the symmetric part of a, scaled as above.
double top_of_symmetric_part(const Eigen::MatrixXd& a) {
    if (a.size() == 0) return -std::numeric_limits<double>::infinity();
    const double scale = a.cwiseAbs().maxCoeff();
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const Eigen::MatrixXd h = 0.5 * (a / scale + a.transpose() / scale);
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(h, Eigen::EigenvaluesOnly);
    return scale * eig.eigenvalues().maxCoeff();
}

// e^{-r h} |a|; as exp(log|a| - r h) when the factor alone leaves the double
// range, so that it does not turn a finite product into inf (or 0 * inf into
// NaN). An undelayed term keeps its norm whatever r is.
double damped(double norm, double r, double h) {
    if (h == 0 || norm == 0) return norm;
    const double factor = std::exp(-r * h);
    if (factor > 0 && std::isfinite(factor)) return factor * norm;
    return std::exp(std::log(norm) - r * h);
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
