#include "roots/roots.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include <unistd.h>

#include <Eigen/Eigenvalues>

#include "roots/discretize.h"
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

// Memory exhaustion with a message that says which pencil did not fit.
class pencil_too_large : public std::bad_alloc {
public:
    explicit pencil_too_large(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

private:
    std::string message;
};

std::string gibibytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", bytes / (1024.0 * 1024.0 * 1024.0));
    return text;
}

// The pencil and the copies the QZ reduction works on (the two Schur forms,
// the triangular factorisation of M2 and its orthogonal factor) are six
// D-by-D matrices alive at once. Beyond physical memory the operating system
// would kill the process instead of refusing the allocation, so refuse first.
void check_memory(Eigen::Index D) {
    const double needed = 6.0 * double(D) * double(D) * sizeof(double);
    const double physical = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGE_SIZE));
    if (needed > physical)
        throw pencil_too_large("the pencil of order " + std::to_string(D) + " needs " +
                               gibibytes(needed) + " of memory, more than this machine's " +
                               gibibytes(physical) + "; a larger r needs a smaller pencil");
}

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

// The pencil's generalized eigenvalues, in the solver's order. Eigenvectors
// are never read, so the QZ reduction skips accumulating them.
Eigen::VectorXcd pencil_candidates(const quorv& sys, int N) {
    const Eigen::Index D = sys.n() * (N + 1);
    if (D == 0) return {};
    check_memory(D);
    const auto [M1, M2] = discretize(sys, N);
    Eigen::GeneralizedEigenSolver<Eigen::MatrixXd> qz;
    qz.compute(M1, M2, false);
    if (qz.info() != Eigen::Success)
        throw std::runtime_error("the QZ iteration did not converge on the pencil of order " +
                                 std::to_string(D));
    // Each part of the numerator is divided by the real denominator; a zero
    // denominator gives a candidate that is not finite and is dropped later.
    const Eigen::VectorXcd& alpha = qz.alphas();
    const Eigen::VectorXd& beta = qz.betas();
    Eigen::VectorXcd lambda(beta.size());
    for (Eigen::Index i = 0; i < beta.size(); ++i)
        lambda[i] = {alpha[i].real() / beta[i], alpha[i].imag() / beta[i]};
    return lambda;
}

// With every delay zero the system is the ordinary differential equation
// x' = (sum_k A_k) x, whose roots are the eigenvalues of that sum. A system
// of order 0 has none (and the eigen-solver does not take an empty matrix).
Eigen::VectorXcd undelayed_candidates(const quorv& sys) {
    if (sys.n() == 0) return {};
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    for (const Eigen::MatrixXd& a : sys.A) sum += a;
    Eigen::EigenSolver<Eigen::MatrixXd> solver(sum, false);
    if (solver.info() != Eigen::Success)
        throw std::runtime_error("the eigenvalue iteration did not converge on the sum of the matrices");
    return solver.eigenvalues();
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
