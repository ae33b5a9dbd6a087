#include "roots/crossing/isolated_zero.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace quorv {

namespace {

using cplx = std::complex<double>;

// The smallest singular value of the real 2 x 2 matrix [a b; c d].
double smallest_singular_value(double a, double b, double c, double d) {
    const double frobenius = a * a + b * b + c * c + d * d, det = std::abs(a * d - b * c);
    const double gap = std::sqrt(std::max(0.0, frobenius * frobenius - 4 * det * det));
    const double largest = std::sqrt(0.5 * (frobenius + gap));
    return largest > 0 ? det / largest : 0.0;
}

// Boxes tried, each half the last, from a tenth of the scale of the
// Lipschitz-scaled plane.
constexpr int halvings = 40;
constexpr double first_share = 0.1;

}  // namespace

isolation_box isolate(crossing_matrix& Delta, double w, double phi) {
    const Eigen::MatrixXcd& at = Delta.at(w, phi);
    const Eigen::Index n = at.rows();
    const Eigen::JacobiSVD<Eigen::MatrixXcd> svd(at, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::MatrixXcd bordered = Eigen::MatrixXcd::Zero(n + 1, n + 1);
    bordered.topLeftCorner(n, n) = at;
    bordered.topRightCorner(n, 1) = svd.matrixU().col(n - 1);
    bordered.bottomLeftCorner(1, n) = svd.matrixV().col(n - 1).adjoint();
    const Eigen::PartialPivLU<Eigen::MatrixXcd> lu(bordered);
    const Eigen::MatrixXcd inverse = lu.inverse();
    Eigen::MatrixXcd by_w, by_phi;
    Delta.derivatives(by_w, by_phi);
    // dg = -e^T M^{-1} dM M^{-1} e: the last row and column of the inverse.
    const Eigen::VectorXcd right = inverse.col(n).head(n);
    const Eigen::RowVectorXcd left = inverse.row(n).head(n);
    const cplx g_w = -(left * by_w * right)(0, 0), g_phi = -(left * by_phi * right)(0, 0);
    const double sigma = smallest_singular_value(g_w.real(), g_phi.real(), g_w.imag(), g_phi.imag());
    const double a = spectral_norm_bound(inverse);
    const double norm_w = spectral_norm_bound(by_w), norm_phi = spectral_norm_bound(by_phi);
    if (!(sigma > 0) || !std::isfinite(a)) return {};
    double reach = first_share * Delta.scale(w);
    for (int i = 0; i < halvings; ++i, reach *= 0.5) {
        const double dw = reach / Delta.lipschitz_w(), dphi = reach / Delta.lipschitz_phi();
        // |M(p) - M(p*)| <= t over the box; then |M(p)^{-1}| <= b = a / (1 - a t)
        // and |M(p)^{-1} - M(p*)^{-1}| <= a b t.
        const double t = Delta.lipschitz_w() * dw + Delta.lipschitz_phi() * dphi;
        if (!(a * t < 1)) continue;
        const double b = a / (1 - a * t);
        const double change_w = Delta.second_ww() * dw + Delta.second_wphi() * dphi;
        const double change_phi = Delta.second_wphi() * dw + Delta.second_phiphi() * dphi;
        // |g_w(p) - g_w(p*)| <= a b t (|Delta_w| + change_w) b + a change_w b + a |Delta_w| a b t, and likewise.
        const double drift_w = a * b * t * (norm_w + change_w) * b + a * change_w * b + a * norm_w * a * b * t;
        const double drift_phi =
            a * b * t * (norm_phi + change_phi) * b + a * change_phi * b + a * norm_phi * a * b * t;
        if (std::hypot(drift_w, drift_phi) < 0.5 * sigma) return {dw, dphi};
    }
    return {};
}

}  // namespace quorv
