#include "roots/multiple_root.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "roots/argument_count.h"
#include "roots/residual.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;
constexpr double reach_cap = 1e-2;
// Rounding scatters the zeros of a root of multiplicity m by about
// 1e-16^{1/m} relative: this disk holds those of a double or triple root.
constexpr double on_root_disk = 1e-4;
constexpr int mean_nodes = 64;
// Delta at a root of multiplicity m computed to O(1e-16) has a smallest
// singular value of about 1e-16 relative, or 1e-16^{1/m}-scattered zeros
// would not coincide; two distinct simple roots at distance s leave it near
// s^2 or s at their mean, far above this threshold unless s < 1e-6.
constexpr double singular_share = 1e-12;

// Greedy grouping: an entry joins the first group whose first member lies
// within tolerance(member) of it.
template <typename Tolerance>
std::vector<std::size_t> group(const std::vector<cplx>& points, Tolerance tolerance,
                               std::vector<cplx>& seeds) {
    std::vector<std::size_t> owner(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::size_t g = 0;
        while (g < seeds.size() && std::abs(points[i] - seeds[g]) > tolerance(seeds[g])) ++g;
        if (g == seeds.size()) seeds.push_back(points[i]);
        owner[i] = g;
    }
    return owner;
}

// How far z may lie from the zeros of det Delta next to it: about m/|g(z)|
// for m zeros at one point, since g = (log det Delta)' = m/(lambda - zero) +
// an analytic part. Zero when Delta(z) is singular to rounding.
double distance_to_zeros(log_determinant& f, cplx z) {
    log_det_sample s;
    if (!f.evaluate(z, s)) return 0;
    return 1 / std::abs(s.g);
}

// Whether Delta(z) is singular to within singular_share of the size of the
// terms that cancel in it, |z| + sum_k |e^{-z h_k}| |A_k|: the mean of
// several zeros is one multiple root only then.
bool singular(const quorv& sys, cplx z) {
    Eigen::MatrixXcd Delta(sys.n(), sys.n());
    characteristic_matrix(sys, z, Delta);
    if (!Delta.allFinite()) return false;
    double terms = std::abs(z);
    for (std::size_t k = 0; k < sys.mA(); ++k) terms += std::exp(-z.real() * sys.hk(k)) * sys.Ak(k).norm();
    const Eigen::VectorXd sigma = Eigen::JacobiSVD<Eigen::MatrixXcd>(Delta).singularValues();
    return sigma[sigma.size() - 1] <= singular_share * terms;
}

// A group of nearby distinct entries as clusters. A single entry Newton's
// method took to a zero (within 1e-9 relative) is a simple root. Otherwise
// the entries are the scattered or stalled approximations of Newton's method
// near a multiple root (at a root of multiplicity m it converges linearly, and
// rounding scatters its approximations by about 1e-16^{1/m}): the disk around
// them holds the root, taken at the mean of its zeros with their count as
// multiplicity, when Delta is singular there. A disk with no zero leaves no
// root for the entries.
void resolve_group(log_determinant& f, const std::vector<cplx>& members, std::vector<root_cluster>& out,
                   std::vector<std::size_t>& slot, std::vector<double>& disk) {
    cplx centre = 0;
    for (const cplx& z : members) centre += z;
    centre /= double(members.size());
    double spread = 0;
    for (const cplx& z : members) spread = std::max(spread, std::abs(z - centre));
    const double reach = distance_to_zeros(f, centre);
    // Delta exactly singular at a single entry: a root, whose multiplicity
    // only a count on a small disk around it tells (Newton's method can land
    // exactly on a double root, as on 0 for lambda = 1 - e^{-lambda}).
    const bool on_root = members.size() == 1 && reach == 0 && !f.budget().exhausted();
    if (members.size() > 1 || on_root || reach > same_root * root_scale(centre)) {
        // g is small, not large, at the centre of zeros scattered evenly
        // around it, so the reach alone may overshoot: it is capped.
        const double least = on_root ? on_root_disk * root_scale(centre) : 0;
        const double radius =
            std::max({least, 4 * spread, std::min(8 * reach, reach_cap * root_scale(centre))});
        const auto m = count_in_circle(f, centre, radius);
        const cplx mean = m && *m >= 1 ? zeros_mean(f, centre, radius, *m) : cplx(NAN, NAN);
        if (m && *m == 0) {
            slot.assign(members.size(), dropped);
            return;
        }
        if (std::isfinite(mean.real()) && std::isfinite(mean.imag()) && (*m == 1 || singular(f.system(), mean))) {
            slot.assign(members.size(), out.size());
            out.push_back({on_root && *m == 1 ? centre : mean, *m});
            disk.push_back(radius);
            return;
        }
    }
    slot.clear();
    for (const cplx& z : members) {
        slot.push_back(out.size());
        out.push_back({z, 1});
        disk.push_back(0);
    }
}

// A simple root inside the disk of a multiple one is one of the
// approximations of that root: its entries move to the multiple root, and
// it keeps multiplicity 0.
void absorb(clustered_roots& result, const std::vector<double>& disk) {
    for (std::size_t j = 0; j < result.clusters.size(); ++j)
        for (std::size_t k = 0; k < result.clusters.size(); ++k) {
            root_cluster& simple = result.clusters[k];
            if (disk[j] == 0 || k == j || simple.multiplicity != 1 ||
                std::abs(simple.z - result.clusters[j].z) > disk[j])
                continue;
            simple.multiplicity = 0;
            std::replace(result.owner.begin(), result.owner.end(), k, j);
        }
}

}  // namespace

clustered_roots cluster_roots(log_determinant& f, const std::vector<cplx>& found) {
    std::vector<cplx> distinct;
    const std::vector<std::size_t> first =
        group(found, [](cplx z) { return same_root * root_scale(z); }, distinct);
    std::vector<cplx> seeds;
    const std::vector<std::size_t> second =
        group(distinct, [](cplx z) { return near_root * root_scale(z); }, seeds);

    clustered_roots result;
    std::vector<std::size_t> cluster_of(distinct.size());
    std::vector<double> disk;
    for (std::size_t g = 0; g < seeds.size(); ++g) {
        std::vector<cplx> members;
        std::vector<std::size_t> index;
        for (std::size_t d = 0; d < distinct.size(); ++d)
            if (second[d] == g) members.push_back(distinct[d]), index.push_back(d);
        std::vector<std::size_t> slot;
        resolve_group(f, members, result.clusters, slot, disk);
        for (std::size_t j = 0; j < index.size(); ++j) cluster_of[index[j]] = slot[j];
    }
    result.owner.resize(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) result.owner[i] = cluster_of[first[i]];
    absorb(result, disk);
    return result;
}

std::optional<root_cluster> checked_root(log_determinant& f, cplx z) {
    std::vector<root_cluster> out;
    std::vector<std::size_t> slot;
    std::vector<double> disk;
    resolve_group(f, {z}, out, slot, disk);
    if (slot.front() == dropped) return std::nullopt;
    return out.front();
}

cplx zeros_mean(log_determinant& f, cplx centre, double radius, long m) {
    // With lambda = centre + radius e^{i theta}, (1/2 pi i) oint (lambda - centre) g dlambda
    // is the mean over theta of g (lambda - centre)^2: the sum of (zero - centre).
    cplx sum = 0;
    log_det_sample s;
    for (int j = 0; j < mean_nodes; ++j) {
        const cplx offset = std::polar(radius, 2 * std::numbers::pi * j / mean_nodes);
        if (!f.evaluate(centre + offset, s)) return {NAN, NAN};
        sum += s.g * offset * offset;
    }
    return centre + sum / double(mean_nodes) / double(m);
}

}  // namespace quorv
