#include "roots/count/sparse_root_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "roots/support/damped_norm.h"
#include "roots/support/sparse_norm.h"

namespace quorv {

namespace {

using matrix = sparse_quorv::matrix;

double largest_entry(const matrix& a) { return a.nonZeros() == 0 ? 0.0 : a.coeffs().cwiseAbs().maxCoeff(); }

// An upper bound on the largest eigenvalue of the symmetric
// M = diag(h) + |offdiag(h)| for a symmetric or skew h, which bounds v* h v
// and |v* h v| for every unit v (|v| in place of v can only raise the
// off-diagonal terms). For any positive x, D^{-1} M D
// with D = diag(x) has M's eigenvalues, and Gershgorin's discs of its rows
// give
//     lambda_max(M) <= max_i (M x)_i / x_i,
// since M's off-diagonal entries are nonnegative. x = 1 is the plain
// Gershgorin bound; power steps with M + cI (c lifts the diagonal to >= 0,
// so x stays positive) turn x toward M's top eigenvector, where the bound
// becomes the eigenvalue itself. For a random non-normal coupling that is a
// third of the plain bound. Every x gives a bound, so the steps only have to
// improve it, and stop when they no longer do. Each ratio is raised by its
// rounding error, (terms + 4) units of rounding times the sum of its terms'
// moduli, so that the bound holds for the computed x as it stands.
double weighted_gershgorin_top(const matrix& h) {
    const Eigen::Index n = h.rows();
    if (n == 0) return -std::numeric_limits<double>::infinity();
    matrix off = h.cwiseAbs();
    off.prune([](Eigen::Index i, Eigen::Index j, double) { return i != j; });
    const Eigen::VectorXd d = h.diagonal();
    Eigen::VectorXd terms(n);
    for (Eigen::Index i = 0; i < n; ++i) terms[i] = double(off.col(i).nonZeros() + 5);
    const double radius = (off * Eigen::VectorXd::Ones(n)).maxCoeff();
    const double lift = std::max(0.0, -d.minCoeff()) + 1e-2 * radius;
    const double eps = std::numeric_limits<double>::epsilon();
    Eigen::VectorXd x = Eigen::VectorXd::Ones(n);
    double best = std::numeric_limits<double>::infinity();
    for (int step = 0, idle = 0; step < 60 && idle < 5; ++step) {
        const Eigen::VectorXd spread = off * x;
        const Eigen::VectorXd mx = d.cwiseProduct(x) + spread;
        const Eigen::VectorXd error = eps * terms.cwiseProduct(d.cwiseAbs().cwiseProduct(x) + spread);
        const double bound = ((mx + error).array() / x.array()).maxCoeff();
        idle = bound < best - 1e-3 * radius ? 0 : idle + 1;
        best = std::min(best, bound);
        const Eigen::VectorXd next = mx + lift * x;
        const double top = next.maxCoeff();
        if (!(top > 0) || !std::isfinite(top) || !(next.minCoeff() > 0)) break;
        x = next / top;
    }
    return best;
}

// |v* a v| <= |v|^T |a| |v| = |v|^T ((|a| + |a|^T) / 2) |v|: the numerical
// radius of a, which is all the delayed terms contribute, is at most the
// top of that nonnegative symmetric matrix, often well under
// sqrt(|a|_1 |a|_inf) (a non-normal coupling); the smaller of the two.
double numerical_radius_bound(const matrix& a) {
    const double scale = largest_entry(a);
    if (scale == 0 || !std::isfinite(scale)) return scale;
    const matrix scaled = a.cwiseAbs() / scale;
    const matrix transposed = scaled.transpose();
    const matrix symmetric = 0.5 * (scaled + transposed);
    return std::min(spectral_norm_bound(a), scale * weighted_gershgorin_top(symmetric));
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
        if (sys.hk(k) != 0) delayed += damped(numerical_radius_bound(sys.A[k]), r, sys.hk(k));
    double scale = 0;
    const matrix u = undelayed_sum(sys, scale);
    if (!std::isfinite(scale)) return {r, scale, -scale, scale};
    const matrix transposed = u.transpose();
    const matrix symmetric = 0.5 * (u + transposed);
    const matrix skew = 0.5 * (u - transposed);
    const double modulus = scale * numerical_radius_bound(u) + delayed;
    const double right = std::min(modulus, scale * weighted_gershgorin_top(symmetric) + delayed);
    const double top = std::min(modulus, scale * std::min(spectral_norm_bound(skew), weighted_gershgorin_top(skew)) + delayed);
    return {r, right, -top, top};
}

}  // namespace quorv
