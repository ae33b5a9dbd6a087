#include "roots/roots.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <numbers>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

#include <Eigen/SVD>

#include "roots/candidates.h"
#include "roots/completion.h"
#include "roots/log_determinant.h"
#include "roots/multiple_root.h"
#include "roots/newton.h"
#include "roots/residual.h"
#include "roots/root_bound.h"
#include "roots/root_count.h"
#include "roots/size_estimate.h"
#include "roots/validate.h"

namespace quorv {

namespace {

constexpr std::uint32_t phase_samples = 20;
constexpr int degree_cap = 100;
constexpr double newton_tolerance = 1e-10;
constexpr int newton_steps = 10;
constexpr double acceptance_residual = 1e-5;
// Evaluations of the characteristic matrix the completion may spend.
constexpr long completion_evaluations = 400000;

// The estimate reads term 0 as the undelayed part of the system, while the
// roots do not depend on the order of the terms: it sees them sorted by
// delay (stably, so equal delays keep their order); delays stored beyond the
// last matrix stay at the end.
quorv sorted_by_delay(const quorv& sys) {
    std::vector<std::size_t> order(sys.mA());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return sys.hA[a] < sys.hA[b]; });
    quorv sorted({}, {});
    for (std::size_t k : order) {
        sorted.A.push_back(sys.A[k]);
        sorted.hA.push_back(sys.hA[k]);
    }
    sorted.hA.insert(sorted.hA.end(), sys.hA.begin() + sys.mA(), sys.hA.end());
    return sorted;
}

// The estimate drops an eigenvalue estimate whose degree does not fit in an
// int, so a system that needs the most would get the least. Such a degree
// needs |mu| beyond 2^31 times the smallest slope of the degree curves; the
// sampled matrices are bounded by sum_k e^{-r h_k} |A_k| + |r| sqrt(n), times
// e^{|r|/40} for the estimate's rounding of the delays (by at most h_max/40,
// and h_max <= 1 here).
bool degree_may_overflow(const quorv& sys, double r) {
    const double pi = std::numbers::pi;
    const cubic_spline F(0.0, pi / 64, degree_slope), G(0.0, pi / 64, degree_offset);
    const double largest = root_bound(sys, r) * std::exp(std::abs(r) / 40) + std::abs(r) * std::sqrt(double(sys.n()));
    return !std::isfinite(largest) || required_degree({largest, 0.0}, F, G) == INT_MIN ||
           required_degree({0.0, largest}, F, G) == INT_MIN;
}

// The degree curves of the estimate are calibrated for a delay interval of
// length at most one. A longer interval is measured in units of h_max: the
// system with matrices h_max*A_k and delays h_k/h_max has exactly the roots
// h_max*lambda, and the pencil does not change under that scaling, so the
// degree that resolves those roots right of h_max*r resolves ours.
int estimate(const quorv& sys, double r, double h_max) {
    quorv scaled = sorted_by_delay(sys);
    if (h_max > 1) {
        for (Eigen::MatrixXd& a : scaled.A) a *= h_max;
        for (double& h : scaled.hA) h /= h_max;
        r *= h_max;
    }
    if (degree_may_overflow(scaled, r)) return INT_MAX;
    return estimate_degree(scaled, r, phase_samples);
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

// The global stage: the candidates of the pencil, or of the undelayed system,
// refined; every root that reaches a small residual, wherever it lies.
std::vector<std::complex<double>> global_stage(const quorv& sys, double r, root_search& s) {
    const double everywhere = -std::numeric_limits<double>::infinity();
    const double h_max = *std::max_element(sys.hA.begin(), sys.hA.end());
    if (h_max == 0) return refine(sys, everywhere, undelayed_candidates(sys));
    s.degree_needed = estimate(sys, r, h_max);
    // Compared as unsigned, so an estimate that overflowed to a negative value
    // is capped as well.
    s.degree_used = static_cast<std::uint32_t>(s.degree_needed) > degree_cap ? degree_cap : s.degree_needed;
    return refine(sys, everywhere, pencil_candidates(sys, s.degree_used));
}

std::vector<std::complex<double>> on_or_right_of(const std::vector<std::complex<double>>& z, double r) {
    std::vector<std::complex<double>> kept;
    std::copy_if(z.begin(), z.end(), std::back_inserter(kept),
                 [r](std::complex<double> w) { return w.real() >= r; });
    return kept;
}

// The pencil's roots in candidate order, a multiple root at the mean of its
// zeros and at least as often as its multiplicity; then the added roots, each
// as often as its multiplicity.
std::vector<std::complex<double>> assemble(const std::vector<std::complex<double>>& found,
                                           const clustered_roots& pencil,
                                           const std::vector<root_cluster>& known,
                                           const completion_outcome& added, double r) {
    std::vector<std::complex<double>> result;
    std::vector<long> appearances(known.size(), 0);
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (pencil.owner[i] == dropped) continue;
        const root_cluster& c = known[pencil.owner[i]];
        const std::complex<double> z = c.multiplicity > 1 ? c.z : found[i];
        if (z.real() < r) continue;
        result.push_back(z);
        ++appearances[pencil.owner[i]];
    }
    for (std::size_t j = 0; j < pencil.clusters.size(); ++j)
        if (known[j].z.real() >= r)
            for (long copies = appearances[j]; copies < known[j].multiplicity; ++copies) result.push_back(known[j].z);
    for (const root_cluster& c : added.added)
        if (c.z.real() >= r) result.insert(result.end(), c.multiplicity, c.z);
    return result;
}

}  // namespace

root_search search_roots(const quorv& sys, double r) {
    root_search s;
    s.refined = global_stage(sys, r, s);
    if (std::isfinite(root_bound(sys, r))) {
        work_budget budget{count_evaluations};
        s.region = count_region(sys, r, budget);
    } else {
        s.region.state = region_count::outcome::unbounded;
    }
    if (s.region.state != region_count::outcome::counted) return s;
    // The pencil's roots grouped into distinct ones with their
    // multiplicities, and the ones the count says are missing located.
    work_budget budget{completion_evaluations};
    log_determinant f(sys, budget);
    s.right_of_left = on_or_right_of(s.refined, s.region.left);
    s.pencil = cluster_roots(f, s.right_of_left);
    s.known = s.pencil.clusters;
    s.added = complete_roots(f, s.region.region, s.region.count, s.region.left, s.known);
    return s;
}

std::vector<std::complex<double>> roots(const quorv& sys, double r, roots_report& report) {
    validate(sys);
    report = {};
    if (std::isnan(r) || sys.n() == 0) return {};
    // |lambda| <= bound for every root with Re lambda >= r, and r > bound
    // leaves no such lambda.
    if (r > root_bound(sys, r)) return {};
    const root_search s = search_roots(sys, r);
    report.degree_needed = s.degree_needed;
    report.degree_used = s.degree_used;
    if (s.region.state == region_count::outcome::counted) {
        report.counted = s.region.count;
        for (const root_cluster& c : s.known)
            if (s.region.region.contains(c.z)) report.found += c.multiplicity;
        report.state = report.found >= report.counted ? roots_report::completeness::confirmed
                                                      : roots_report::completeness::incomplete;
        return assemble(s.right_of_left, s.pencil, s.known, s.added, r);
    }
    report.state = s.region.state == region_count::outcome::unbounded ? roots_report::completeness::unbounded
                                                                      : roots_report::completeness::uncounted;
    std::vector<std::complex<double>> result = on_or_right_of(s.refined, r);
    // With nothing found and nothing counted, an empty list would read as
    // "no roots right of r".
    if (result.empty() && report.state == roots_report::completeness::unbounded && std::isfinite(r))
        throw std::runtime_error("the roots right of r can neither be bounded nor counted: the "
                                 "damping factors overflow; a larger r is needed");
    report.found = static_cast<long>(result.size());
    return result;
}

std::vector<std::complex<double>> roots(const quorv& sys, double r) {
    roots_report report;
    return roots(sys, r, report);
}

}  // namespace quorv
