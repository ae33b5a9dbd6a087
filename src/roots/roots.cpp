#include "roots/roots.h"

#include <algorithm>
#include <cstdint>

#include <Eigen/SVD>

#include "roots/candidates.h"
#include "roots/newton.h"
#include "roots/residual.h"
#include "roots/size_estimate.h"
#include "roots/validate.h"

namespace quorv {

namespace {

constexpr std::uint32_t phase_samples = 20;
constexpr int degree_cap = 100;
constexpr double newton_tolerance = 1e-10;
constexpr int newton_steps = 10;
constexpr double acceptance_residual = 1e-5;

// The degree curves of the estimate are calibrated for a delay interval of
// length at most one. A longer interval is measured in units of h_max: the
// system with matrices h_max*A_k and delays h_k/h_max has exactly the roots
// h_max*lambda, and the pencil does not change under that scaling, so the
// degree that resolves those roots right of h_max*r resolves ours.
int estimate(const quorv& sys, double r, double h_max) {
    if (h_max <= 1) return estimate_degree(sys, r, phase_samples);
    quorv scaled = sys;
    for (Eigen::MatrixXd& a : scaled.A) a *= h_max;
    for (double& h : scaled.hA) h /= h_max;
    return estimate_degree(scaled, r * h_max, phase_samples);
}

// Newton's method on Delta(lambda) v = 0, |v| = 1 from every candidate, started
// at the right singular vector of Delta's smallest singular value; a refined
// root is kept when its residual is small and it lies on or right of r.
std::vector<std::complex<double>> refine(const quorv& sys, double r,
                                         const Eigen::VectorXcd& candidates) {
    std::vector<std::complex<double>> found;
    found.reserve(candidates.size());
    const Eigen::Index n = sys.n();
    newton solver(static_cast<int>(n + 1));
    Eigen::VectorXcd x(n + 1);
    Eigen::MatrixXcd Delta(n, n);
    Eigen::JacobiSVD<Eigen::MatrixXcd> svd(n, n, Eigen::ComputeThinV);
    const residual_function f = characteristic_residual(sys);
    for (const std::complex<double>& lambda : candidates) {
        characteristic_matrix(sys, lambda, Delta);
        // A candidate that is not finite can never reach a small residual,
        // and the SVD refuses such a matrix: drop it here.
        if (!Delta.allFinite()) continue;
        svd.compute(Delta, Eigen::ComputeThinV);
        x[0] = lambda;
        x.tail(n) = svd.matrixV().col(n - 1);
        const double residual = solver.solve(x, f, newton_tolerance, newton_steps);
        if (residual < acceptance_residual && x[0].real() >= r) found.push_back(x[0]);
    }
    return found;
}

}  // namespace

std::vector<std::complex<double>> roots(const quorv& sys, double r, discretization_degree& degree) {
    validate(sys);
    const double h_max = *std::max_element(sys.hA.begin(), sys.hA.end());
    if (h_max == 0) {
        degree = {};
        return refine(sys, r, undelayed_candidates(sys));
    }
    degree.needed = estimate(sys, r, h_max);
    // Compared as unsigned, so an estimate that overflowed to a negative value
    // is capped as well.
    degree.used = static_cast<std::uint32_t>(degree.needed) > degree_cap ? degree_cap : degree.needed;
    return refine(sys, r, pencil_candidates(sys, degree.used));
}

std::vector<std::complex<double>> roots(const quorv& sys, double r) {
    discretization_degree degree;
    return roots(sys, r, degree);
}

}  // namespace quorv
