#include "roots/roots.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>


#include "roots/pencil/candidates.h"
#include "roots/complete/completion.h"
#include "roots/count/log_determinant.h"
#include "roots/complete/multiple_root.h"
#include "roots/support/out_of_memory.h"
#include "roots/local/refinement.h"
#include "roots/count/root_bound.h"
#include "roots/count/root_count.h"
#include "roots/estimate/size_estimate.h"
#include "roots/support/diagonal_blocks.h"
#include "roots/support/time_unit.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

constexpr std::uint32_t phase_samples = 20;
// Beyond order 20 a grid of 20 phases per delayed term, (10 + 1) * 20^(mA-2)
// eigenvalue problems of order n per pass, costs more than the pencil itself
// with three or four matrices; 8 phases per term cut that 5.5 and 14 fold.
// The coarser grid widens pass 2's range (B scales with sin(2 pi / count)),
// and the degree comes out the same or up to a quarter higher (measured on
// rings, chains and random systems of order 40 and 80); a pencil a little
// larger than needed costs less than the finer grid.
constexpr Eigen::Index fine_grid_up_to_order = 20;
constexpr std::uint32_t coarse_phase_samples = 8;
constexpr int degree_cap = 100;
// Evaluations of the characteristic matrix the completion may spend, and
// per root expected in the counted region when that is more: locating a
// root on a chain costs a Newton run and the counts of its disk.
constexpr long completion_evaluations = 400000;
constexpr double completion_evaluations_per_root = 256;
constexpr double count_per_root = 64;

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

// The estimate on the rescaled system (delays at most 1, the interval its
// degree curves are calibrated for). A degree that would overflow int
// counts as beyond the cap rather than as none.
int estimate(const quorv& sys, double r_own, const interrupt_check& check) {
    const quorv sorted = sorted_by_delay(sys);
    if (degree_may_overflow(sorted, r_own)) return INT_MAX;
    const bool coarse = sorted.n() > fine_grid_up_to_order && (sorted.mA() == 3 || sorted.mA() == 4);
    return estimate_degree(sorted, r_own, coarse ? coarse_phase_samples : phase_samples, check);
}

// How far left of r a candidate is still refined, in the system's own time
// unit (delays at most 1, roots of order one). The degree is chosen so that
// the pencil's eigenvalues right of r match the roots there far more closely
// than a tenth of that scale; a candidate further left belongs to a root
// left of r or to the pencil's poorly resolved part. Should Newton's method
// have carried it to a root right of r all the same, the count finds that
// root missing and the completion locates it, so skipping it loses nothing
// but a repeated entry of the list.
double refinement_margin(double r_own) { return 0.1 * std::max(1.0, std::abs(r_own)); }

// The candidates that can matter refined by Newton's method; a refined root
// is kept when its residual is small, wherever it lies (the caller compares
// it with r in the user's units). check is polled before every candidate.
std::vector<std::complex<double>> refine(const quorv& sys, const Eigen::VectorXcd& candidates, double r_own,
                                         const interrupt_check& check) {
    std::vector<std::complex<double>> found;
    found.reserve(candidates.size());
    refinement polish(sys);
    const double lowest = r_own - refinement_margin(r_own);
    // The pencil is real: its complex eigenvalues come as exact conjugate
    // pairs, one after the other, and Delta(conj mu) = conj Delta(mu), so the
    // second of a pair refines to the conjugate of the first's root.
    std::optional<std::complex<double>> pair_first, pair_root;
    for (const std::complex<double>& mu : candidates) {
        check.poll();
        if (pair_first && mu.imag() != 0 && mu == std::conj(*pair_first)) {
            if (pair_root) found.push_back(std::conj(*pair_root));
            pair_first.reset();
            continue;
        }
        pair_first = mu;
        pair_root.reset();
        if (mu.real() < lowest) continue;
        const auto refined = polish.from(mu);
        if (refined && refinement::accepted(*refined)) found.push_back(refined->root), pair_root = refined->root;
    }
    return found;
}

std::string order_of(const quorv& sys) { return "of order " + std::to_string(sys.n()); }

using stopwatch = std::chrono::steady_clock;

double seconds_since(stopwatch::time_point start) {
    return std::chrono::duration<double>(stopwatch::now() - start).count();
}

// The candidates of the rescaled system, and the degree of the pencil that
// gave them. r_own is r in the system's own time unit.
Eigen::VectorXcd candidates(const quorv& sys, double r_own, root_search& search,
                            const interrupt_check& check) {
    if (largest_delay(sys) == 0)
        return naming_allocation_failure("the eigenvalues of the summed matrices " + order_of(sys),
                                         [&] { return undelayed_candidates(sys, check); });
    auto start = stopwatch::now();
    search.degree_needed = naming_allocation_failure(
        "the degree estimate of the system " + order_of(sys), [&] { return estimate(sys, r_own, check); });
    search.seconds.estimate = seconds_since(start);
    // Compared as unsigned, so an estimate that overflowed to a negative value
    // is capped as well.
    search.degree_used =
        static_cast<std::uint32_t>(search.degree_needed) > degree_cap ? degree_cap : search.degree_needed;
    check.poll();
    const std::string pencil =
        "the eigenvalues of the pencil of order " +
        std::to_string(sys.n() * (Eigen::Index(search.degree_used) + 1)) + " (the system " +
        order_of(sys) + " at degree " + std::to_string(search.degree_used) + ")";
    start = stopwatch::now();
    Eigen::VectorXcd lambda =
        naming_allocation_failure(pencil, [&] { return pencil_candidates(sys, search.degree_used, check); });
    search.seconds.pencil = seconds_since(start);
    return lambda;
}

// The global stage: the candidates that can matter refined; every root that
// reaches a small residual, wherever it lies.
std::vector<std::complex<double>> global_stage(const quorv& sys, double r, root_search& search,
                                               const interrupt_check& check) {
    const Eigen::VectorXcd start = candidates(sys, r, search, check);
    check.poll();
    const auto begin = stopwatch::now();
    std::vector<std::complex<double>> found = naming_allocation_failure(
        "the Newton refinement of " + std::to_string(start.size()) + " candidates of the system " +
            order_of(sys),
        [&] { return refine(sys, start, r, check); });
    search.seconds.refinement = seconds_since(begin);
    return found;
}

std::vector<std::complex<double>> on_or_right_of(const std::vector<std::complex<double>>& z, double r) {
    std::vector<std::complex<double>> kept;
    std::copy_if(z.begin(), z.end(), std::back_inserter(kept),
                 [r](std::complex<double> w) { return w.real() >= r; });
    return kept;
}

// Each distinct root in the counted region as often as its multiplicity:
// those the pencil's roots reached, in the order of the first entry that
// reached each; then the pencil's clusters no entry owns (zeros a disk
// separated from its entry's); then the added roots in the order found.
std::vector<std::complex<double>> assemble(const clustered_roots& pencil, const std::vector<root_cluster>& known,
                                           const completion_outcome& added, const rectangle& region) {
    std::vector<std::complex<double>> result;
    const auto emit = [&](const root_cluster& c) {
        if (region.contains(c.z) && !c.left_of_line) result.insert(result.end(), c.multiplicity, c.z);
    };
    std::vector<bool> emitted(pencil.clusters.size(), false);
    for (const std::size_t owner : pencil.owner)
        if (owner != dropped && !emitted[owner]) emit(known[owner]), emitted[owner] = true;
    for (std::size_t j = 0; j < pencil.clusters.size(); ++j)
        if (!emitted[j]) emit(known[j]);
    for (const root_cluster& c : added.added) emit(c);
    return result;
}

bool accounted_for(const std::vector<root_cluster>& known, const region_count& region) {
    long inside = 0;
    for (const root_cluster& c : known) {
        if (!region.region.contains(c.z) || c.multiplicity == 0) continue;
        if (!c.certified() || c.z.real() - c.radius < region.left) return false;
        inside += c.multiplicity;
    }
    return inside == region.count;
}

// The search's results, found in the system's own time unit, in the
// caller's units.
void to_callers_units(root_search& s, double unit) {
    for (auto* list : {&s.refined, &s.right_of_left})
        for (std::complex<double>& z : *list) z /= unit;
    for (auto* clusters : {&s.pencil.clusters, &s.known, &s.added.added})
        for (root_cluster& c : *clusters) c.z /= unit, c.radius /= unit;
    for (root_cluster& c : s.region.near_line) c.z /= unit, c.radius /= unit;
    s.region.left /= unit;
    s.region.region = {s.region.region.x0 / unit, s.region.region.x1 / unit,
                       s.region.region.y0 / unit, s.region.region.y1 / unit};
}

// The pencil's entries that the count's disks near the line do not
// already hold.
std::vector<std::complex<double>> outside(const std::vector<std::complex<double>>& z,
                                          const std::vector<root_cluster>& disks) {
    std::vector<std::complex<double>> kept;
    std::copy_if(z.begin(), z.end(), std::back_inserter(kept), [&](std::complex<double> w) {
        return std::none_of(disks.begin(), disks.end(),
                            [&](const root_cluster& c) { return std::abs(w - c.z) <= c.radius; });
    });
    return kept;
}

// The pencil's roots near or right of the counted region grouped into
// distinct roots, each enclosed in a disk, and the roots the count says are
// missing located. The disks the count decided against the line are taken
// as they are, so that the roots listed are those the count counts: a
// pencil root whose disk meets one of them is that root.
void complete(const quorv& scaled, root_search& s, const interrupt_check& check) {
    // Once the count has resolved (its own budget bounds how many roots it
    // can hold), the completion may spend per root counted as well as per
    // root expected, beyond the cap of a budget made from the expectation
    // alone: a count that holds 383 030 roots is followed by their listing,
    // not by a warning with a subset.
    const long for_count = long(std::min(completion_evaluations_per_root * double(s.region.count), 1e15));
    const long for_expected =
        evaluations_for(scaled, s.region.left, completion_evaluations, completion_evaluations_per_root);
    work_budget budget{std::max(for_expected, for_count), check};
    log_determinant f(scaled, budget);
    const double band = near_root * std::max(1.0, std::abs(s.region.left));
    s.right_of_left = outside(on_or_right_of(s.refined, s.region.left - band), s.region.near_line);
    const auto start = stopwatch::now();
    s.pencil = cluster_roots(f, s.right_of_left);
    s.seconds.enclosure = seconds_since(start);
    for (root_cluster& c : s.pencil.clusters)
        for (const root_cluster& d : s.region.near_line)
            if (c.certified() && c.meets(d)) c.multiplicity = 0, c.radius = 0;
    s.pencil.clusters.insert(s.pencil.clusters.end(), s.region.near_line.begin(), s.region.near_line.end());
    s.known = s.pencil.clusters;
    s.added = complete_roots(f, s.region.region, s.region.count, s.region.left, s.known);
    // Pairing moves centres and widens disks, which may then meet.
    pair_conjugates(s.known);
    uncertify_overlaps(s.known);
    s.pencil.clusters.assign(s.known.begin(), s.known.begin() + std::ptrdiff_t(s.pencil.clusters.size()));
    s.added.added.assign(s.known.begin() + std::ptrdiff_t(s.pencil.clusters.size()), s.known.end());
    s.certified = accounted_for(s.known, s.region);
}

}  // namespace

// The whole search runs in the system's own time unit, so that every
// tolerance in it is relative to the system's time scale; its results are
// brought back to the caller's units before anything is compared with r.
root_search search_roots(const quorv& sys, double r, const interrupt_check& check) {
    const own_time_unit own = naming_allocation_failure(
        "a rescaled copy of the system " + order_of(sys), [&] { return in_own_time_unit(sys); });
    const quorv& scaled = own.sys;
    const double r_own = r * own.unit;
    root_search s;
    if (!std::isfinite(root_bound(scaled, r_own))) {
        // No count is possible, and the pencil's roots alone would be an
        // arbitrary subset.
        s.region.state = region_count::outcome::unbounded;
        return s;
    }
    auto start = stopwatch::now();
    s.refined = global_stage(scaled, r_own, s, check);
    s.seconds.global = seconds_since(start);
    start = stopwatch::now();
    {
        work_budget budget{evaluations_for(scaled, r_own, count_evaluations, count_per_root), check};
        s.region = naming_allocation_failure("the count of the roots of the system " + order_of(sys),
                                             [&] { return count_region(scaled, r_own, budget); });
    }
    s.seconds.count = seconds_since(start);
    start = stopwatch::now();
    if (s.region.state == region_count::outcome::counted)
        naming_allocation_failure("the completion of the roots of the system " + order_of(sys), [&] {
            complete(scaled, s, check);
            return 0;
        });
    s.seconds.completion = seconds_since(start);
    to_callers_units(s, own.unit);
    return s;
}

namespace {

bool disks_meet(const std::vector<root_cluster>& a, const std::vector<root_cluster>& b) {
    return std::any_of(a.begin(), a.end(), [&](const root_cluster& c) {
        return c.multiplicity > 0 &&
               std::any_of(b.begin(), b.end(), [&](const root_cluster& d) { return d.multiplicity > 0 && c.meets(d); });
    });
}

// The worse of two completeness states: a root not located outweighs one
// located but not certified.
roots_report::completeness worse(roots_report::completeness a, roots_report::completeness b) {
    using state = roots_report::completeness;
    if (a == state::incomplete || b == state::incomplete) return state::incomplete;
    return a == state::uncertified || b == state::uncertified ? state::uncertified : state::confirmed;
}

// One search's roots appended to `result` and its figures added to the
// report; its error when it did not count.
void list_search(const root_search& s, double r, roots_report& report, std::vector<std::complex<double>>& result) {
    report.degree_needed = std::max(report.degree_needed, s.degree_needed);
    report.degree_used = std::max(report.degree_used, s.degree_used);
    stage_seconds& t = report.seconds;
    t.global += s.seconds.global, t.estimate += s.seconds.estimate, t.pencil += s.seconds.pencil;
    t.refinement += s.seconds.refinement, t.count += s.seconds.count, t.completion += s.seconds.completion;
    t.enclosure += s.seconds.enclosure;
    if (s.region.state == region_count::outcome::counted) {
        const long counted = s.region.on_or_right();
        long found = 0;
        for (const root_cluster& c : s.known)
            if (s.region.region.contains(c.z) && !c.left_of_line) found += c.multiplicity;
        report.counted += counted;
        report.found += found;
        report.state = worse(report.state, s.certified       ? roots_report::completeness::confirmed
                                           : found < counted ? roots_report::completeness::incomplete
                                                             : roots_report::completeness::uncertified);
        const std::vector<std::complex<double>> own = assemble(s.pencil, s.known, s.added, s.region.region);
        result.insert(result.end(), own.begin(), own.end());
        return;
    }
    // Without a count, whatever the pencil reached would be an arbitrary
    // subset of the roots, which reads as all of them.
    if (s.region.state == region_count::outcome::unbounded)
        throw std::runtime_error("the roots right of r can neither be bounded nor counted: the "
                                 "damping factors overflow; a larger r is needed");
    counted_or_throw(s.region, r, "roots");
}

// Whether two blocks are the same system (a Jordan block, a cascade of
// identical stages): every root of one is a root of the other, and their
// disks would meet.
bool repeated(const std::vector<quorv>& blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (blocks[i].hA == blocks[j].hA &&
                std::equal(blocks[i].A.begin(), blocks[i].A.end(), blocks[j].A.begin(), blocks[j].A.end(),
                           [](const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
                               return a.rows() == b.rows() && a == b;
                           }))
                return true;
    return false;
}

}  // namespace

std::optional<std::vector<root_search>> block_searches(const quorv& sys, double r, const interrupt_check& check) {
    const std::vector<quorv> blocks = diagonal_blocks(sys);
    if (blocks.empty() || repeated(blocks)) return std::nullopt;
    std::vector<root_search> searches;
    for (const quorv& block : blocks) {
        if (r > root_bound(block, r)) {
            root_search none;
            none.region.state = region_count::outcome::counted;
            none.certified = true;
            searches.push_back(std::move(none));
            continue;
        }
        root_search s = search_roots(block, r, check);
        for (const root_search& earlier : searches)
            if (disks_meet(s.known, earlier.known)) return std::nullopt;
        searches.push_back(std::move(s));
    }
    return searches;
}

std::vector<std::complex<double>> roots(const quorv& sys, double r, roots_report& report,
                                        const interrupt_check& check) {
    validate(sys);
    report = {};
    if (std::isnan(r) || sys.n() == 0) return {};
    // |lambda| <= bound for every root with Re lambda >= r, and r > bound
    // leaves no such lambda.
    if (r > root_bound(sys, r)) return {};
    std::vector<std::complex<double>> result;
    if (const auto blocks = block_searches(sys, r, check)) {
        for (const root_search& s : *blocks) list_search(s, r, report, result);
        return result;
    }
    list_search(search_roots(sys, r, check), r, report, result);
    return result;
}

std::vector<std::complex<double>> roots(const quorv& sys, double r, const interrupt_check& check) {
    roots_report report;
    return roots(sys, r, report, check);
}

}  // namespace quorv
