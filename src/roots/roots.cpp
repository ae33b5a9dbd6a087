#include "roots/roots.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <Eigen/SVD>

#include "roots/candidates.h"
#include "roots/newton.h"
#include "roots/out_of_memory.h"
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

// The computation runs in the system's own time unit, so that its absolute
// tolerances (Newton's, the acceptance residual) mean the same at every time
// scale. With the time unit u, the system with matrices u*A_k and delays h_k/u
// has exactly the roots u*lambda. The unit is the largest delay: the degree
// curves of the estimate are calibrated for a delay interval of length one,
// and the pencil of the rescaled system has the rescaled eigenvalues. An
// undelayed system x' = (sum_k A_k) x has no delay to measure time by; its
// roots are the eigenvalues of the sum, whose size is the only time scale it
// has, so the unit is the power of two that brings the norm of the sum into
// [1/2, 1) (a power of two, so the rescaling itself rounds nothing), or one
// for a zero sum.
struct own_time_unit {
    quorv sys;
    double unit;
};

double largest_delay(const quorv& sys) { return *std::max_element(sys.hA.begin(), sys.hA.end()); }

double time_unit(const quorv& sys) {
    const double h_max = largest_delay(sys);
    if (h_max > 0) return h_max;
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    for (const Eigen::MatrixXd& a : sys.A) sum += a;
    const double norm = sum.norm();
    if (!(norm > 0)) return 1;
    int exponent = 0;
    std::frexp(norm, &exponent);
    return std::ldexp(1.0, -exponent);
}

own_time_unit in_own_time_unit(const quorv& sys) {
    own_time_unit own{sys, time_unit(sys)};
    if (own.unit == 1) return own;
    for (Eigen::MatrixXd& a : own.sys.A) a *= own.unit;
    for (double& h : own.sys.hA) h /= own.unit;
    return own;
}

// Newton's method on Delta(mu) v = 0, |v| = 1 from every candidate mu of the
// rescaled system, started at the right singular vector of Delta's smallest
// singular value; a refined root is kept when its residual is small and it
// lies on or right of r in the caller's units, the units it is returned in.
// check is polled after every candidate.
std::vector<std::complex<double>> refine(const own_time_unit& own, double r,
                                         const Eigen::VectorXcd& candidates,
                                         const interrupt_check& check) {
    const quorv& sys = own.sys;
    std::vector<std::complex<double>> found;
    found.reserve(candidates.size());
    const Eigen::Index n = sys.n();
    newton solver(static_cast<int>(n + 1));
    Eigen::VectorXcd x(n + 1);
    Eigen::MatrixXcd Delta(n, n);
    Eigen::JacobiSVD<Eigen::MatrixXcd> svd(n, n, Eigen::ComputeThinV);
    const residual_function f = characteristic_residual(sys);
    for (const std::complex<double>& mu : candidates) {
        check.poll();
        characteristic_matrix(sys, mu, Delta);
        // A candidate that is not finite can never reach a small residual,
        // and the SVD refuses such a matrix: drop it here.
        if (!Delta.allFinite()) continue;
        svd.compute(Delta, Eigen::ComputeThinV);
        x[0] = mu;
        x.tail(n) = svd.matrixV().col(n - 1);
        const double residual = solver.solve(x, f, newton_tolerance, newton_steps);
        const std::complex<double> lambda = x[0] / own.unit;
        if (residual < acceptance_residual && lambda.real() >= r) found.push_back(lambda);
    }
    return found;
}

std::string order_of(const quorv& sys) { return "of order " + std::to_string(sys.n()); }

// The candidates of the rescaled system, and the degree of the pencil that
// gave them. r_own is r in the system's own time unit.
Eigen::VectorXcd candidates(const quorv& sys, double r_own, discretization_degree& degree,
                            const interrupt_check& check) {
    if (largest_delay(sys) == 0) {
        degree = {};
        return naming_allocation_failure("the eigenvalues of the summed matrices " + order_of(sys),
                                         [&] { return undelayed_candidates(sys); });
    }
    degree.needed =
        naming_allocation_failure("the degree estimate of the system " + order_of(sys),
                                  [&] { return estimate_degree(sys, r_own, phase_samples, check); });
    // Compared as unsigned, so an estimate that overflowed to a negative value
    // is capped as well.
    degree.used = static_cast<std::uint32_t>(degree.needed) > degree_cap ? degree_cap : degree.needed;
    check.poll();
    const std::string pencil =
        "the eigenvalues of the pencil of order " +
        std::to_string(sys.n() * (Eigen::Index(degree.used) + 1)) + " (the system " +
        order_of(sys) + " at degree " + std::to_string(degree.used) + ")";
    return naming_allocation_failure(pencil, [&] { return pencil_candidates(sys, degree.used); });
}

}  // namespace

std::vector<std::complex<double>> roots(const quorv& sys, double r, discretization_degree& degree,
                                        const interrupt_check& check) {
    validate(sys);
    const own_time_unit own = naming_allocation_failure(
        "a rescaled copy of the system " + order_of(sys), [&] { return in_own_time_unit(sys); });
    const Eigen::VectorXcd start = candidates(own.sys, r * own.unit, degree, check);
    check.poll();
    return naming_allocation_failure(
        "the Newton refinement of " + std::to_string(start.size()) + " candidates of the system " +
            order_of(sys),
        [&] { return refine(own, r, start, check); });
}

std::vector<std::complex<double>> roots(const quorv& sys, double r, const interrupt_check& check) {
    discretization_degree degree;
    return roots(sys, r, degree, check);
}

}  // namespace quorv
