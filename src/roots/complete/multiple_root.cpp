#include "roots/complete/multiple_root.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

#include "roots/complete/disk_index.h"
#include "roots/count/argument_count.h"
#include "roots/count/enclosure.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;
// Entries this close (relative) may be the scattered zeros of one multiple
// root: rounding scatters those of a root of multiplicity m by about
// 1e-16^{1/m}, 2e-3 for m = 6, times the root's condition.
constexpr double widest_group = 5e-2;
// No disk reaches further from its entries than this (relative).
constexpr double room_cap = 0.1;
// Up to this many nearby entries are enclosed in one disk.
constexpr std::size_t few_entries = 8;

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

// The points in order of real part, for searches that stop once the real
// parts alone are too far apart.
class sorted_points {
public:
    explicit sorted_points(const std::vector<cplx>& points) : points(points), order(points.size()) {
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return points[a].real() < points[b].real(); });
    }

    // Calls visit(j) for every point with |Re(point - z)| <= reach.
    template <typename Visit>
    void near(cplx z, double reach, Visit visit) const {
        auto it = std::lower_bound(order.begin(), order.end(), z.real() - reach,
                                   [&](std::size_t a, double x) { return points[a].real() < x; });
        for (; it != order.end() && points[*it].real() <= z.real() + reach; ++it) visit(*it);
    }

private:
    const std::vector<cplx>& points;
    std::vector<std::size_t> order;
};

class clusterer {
public:
    clusterer(log_determinant& f, const std::vector<cplx>& points)
        : cluster_of(points.size(), dropped), f(f), e(f), points(points), sorted(points),
          marked(points.size(), false) {}

    std::vector<root_cluster> clusters;
    std::vector<std::size_t> cluster_of;

    // Splits members into groups of points linked within tol relative, and
    // resolves each.
    void resolve(const std::vector<std::size_t>& members, double tol) {
        std::vector<int> label(points.size(), -1);
        for (std::size_t i : members) label[i] = 0;
        int groups = 0;
        for (std::size_t seed : members) {
            if (label[seed] != 0) continue;
            std::vector<std::size_t> linked{seed};
            label[seed] = ++groups;
            for (std::size_t k = 0; k < linked.size(); ++k) {
                const cplx z = points[linked[k]];
                const double reach = tol * root_scale(z);
                sorted.near(z, reach, [&](std::size_t j) {
                    if (label[j] == 0 && std::abs(points[j] - z) <= reach) label[j] = groups, linked.push_back(j);
                });
            }
            resolve_group(linked, tol);
        }
    }

    // Entry i, the mirror image of entry `image`, takes the mirror image of
    // that entry's disk, which holds as many zeros (det Delta takes conjugate
    // values at conjugate points), when that disk is certified and clear of
    // the axis; false otherwise.
    bool mirror(std::size_t i, std::size_t image) {
        const std::size_t c = cluster_of[image];
        if (c == dropped || !clusters[c].certified() || std::abs(clusters[c].z.imag()) <= clusters[c].radius)
            return false;
        mirrored.resize(clusters.size(), dropped);
        if (mirrored[c] == dropped) {
            mirrored[c] = clusters.size();
            clusters.push_back({std::conj(clusters[c].z), clusters[c].multiplicity, clusters[c].radius});
        }
        cluster_of[i] = mirrored[c];
        return true;
    }

private:
    log_determinant& f;
    encloser e;
    // The index of each cluster's mirror image, once made.
    std::vector<std::size_t> mirrored;
    const std::vector<cplx>& points;
    sorted_points sorted;
    std::vector<bool> marked;

    // A single entry is enclosed alone. A few entries are enclosed together,
    // and the disk around them separates its zeros or finds them one
    // multiple root (the mean of Newton's stalled iterates near a multiple
    // root is no better than the iterates, the mean of the disk's zeros is).
    // Many entries are first grouped more tightly.
    void resolve_group(const std::vector<std::size_t>& members, double tol) {
        cplx centre = 0;
        for (std::size_t i : members) centre += points[i];
        centre /= double(members.size());
        double spread = 0;
        for (std::size_t i : members) spread = std::max(spread, std::abs(points[i] - centre));
        if (members.size() > 1 && each_tightly(members)) return;
        if (members.size() <= few_entries && enclose(members, centre, members.size() > 1 ? 2 * spread : 0)) return;
        if (members.size() > 1 && tol > near_root) return resolve(members, tol / 10);
        keep_uncertified(members, centre);
    }

    // Disks around the members' centre stay within 0.45 of the distance to
    // the nearest other entry, so those of different groups are disjoint.
    double room(const std::vector<std::size_t>& members, cplx centre) {
        double nearest = room_cap * root_scale(centre) / 0.45;
        for (std::size_t i : members) marked[i] = true;
        sorted.near(centre, nearest, [&](std::size_t j) {
            if (!marked[j]) nearest = std::min(nearest, std::abs(points[j] - centre));
        });
        for (std::size_t i : members) marked[i] = false;
        return 0.45 * nearest;
    }

    // Nearby entries that Newton's method took to distinct simple roots are
    // each enclosed alone, in a disk grown fourfold from the tightest one.
    // The tightest disk may be too close to a root whose position rounding
    // moves by more than 1e-10 (eigenvectors of condition 1e5), where det
    // Delta is not trusted, while the next entry lies 5e-9 away: each disk
    // first grows within 0.45 of the distance to the nearest other entry,
    // then one that needs more takes what the disks already made leave it.
    // The scattered iterates near a multiple root are not enclosed alone:
    // no disk short of the others holds one zero.
    bool each_tightly(const std::vector<std::size_t>& members) {
        std::vector<cplx> centre(members.size());
        std::vector<double> radius(members.size());
        for (std::size_t k = 0; k < members.size(); ++k)
            radius[k] = alone(points[members[k]], 0.45 * nearest_other(members[k], members, {}), centre[k]);
        for (std::size_t k = 0; k < members.size(); ++k)
            if (radius[k] == 0 &&
                (radius[k] = alone(points[members[k]], nearest_other(members[k], members, radius), centre[k])) == 0)
                return false;
        for (std::size_t k = 0; k < members.size(); ++k)
            for (std::size_t j = 0; j < k; ++j)
                if (std::abs(centre[k] - centre[j]) <= radius[k] + radius[j]) return false;  // one zero twice
        if (misses_zeros(members, centre, radius)) return false;
        for (std::size_t k = 0; k < members.size(); ++k)
            cluster_of[members[k]] = clusters.size(), clusters.push_back({centre[k], 1, radius[k]});
        return true;
    }

    // Whether a disk around the members' disks holds zeros none of them
    // does: Newton's method from the pencil took two of four zeros 6e-9
    // apart to roots, and disks of their own would leave the others out,
    // while the moments of a disk around them all find every one.
    bool misses_zeros(const std::vector<std::size_t>& members, const std::vector<cplx>& centre,
                      const std::vector<double>& radius) {
        cplx mid = 0;
        for (const cplx& c : centre) mid += c;
        mid /= double(centre.size());
        double reach = 0;
        for (std::size_t k = 0; k < centre.size(); ++k) reach = std::max(reach, std::abs(centre[k] - mid) + radius[k]);
        const double outer = std::min(2 * reach, room(members, mid));
        if (!(outer > reach)) return false;
        const auto m = count_in_circle(f, mid, outer);
        return m && *m > long(members.size());
    }

    // The radius of a disk near z within room that holds one zero, and its
    // centre: the tightest disk around z when it does, else the encloser's
    // (which moves a loose centre, a stalled iterate, onto the zero); 0 when
    // no disk holds exactly one.
    double alone(cplx z, double room, cplx& centre) {
        centre = e.sharpened(z);
        const double tightest = tightest_disk * root_scale(centre);
        if (tightest < room && counts_one(centre, tightest)) return tightest;
        const std::vector<root_cluster> found = e.around(z, 0, room);
        if (found.size() != 1 || found.front().multiplicity != 1) return 0;
        centre = found.front().z;
        return std::abs(centre - z) + found.front().radius < room ? found.front().radius : 0;
    }

    // The distance from entry i to the nearest other entry, at most room_cap
    // relative, less that entry's radius when it is one of the members with
    // a disk made (radius, by member, when given).
    double nearest_other(std::size_t i, const std::vector<std::size_t>& members,
                         const std::vector<double>& radius) const {
        double nearest = room_cap * root_scale(points[i]);
        sorted.near(points[i], nearest, [&](std::size_t j) {
            if (j != i) nearest = std::min(nearest, std::abs(points[j] - points[i]));
        });
        for (std::size_t k = 0; k < radius.size(); ++k)
            if (members[k] != i) nearest = std::min(nearest, std::abs(points[members[k]] - points[i]) - radius[k]);
        return nearest;
    }

    bool counts_one(cplx z, double radius) {
        const auto m = count_in_circle(f, z, radius);
        return m && *m == 1;
    }

    // Whether a disk around the members resolved; the clusters it gives own
    // the members, each the one nearest to it.
    bool enclose(const std::vector<std::size_t>& members, cplx centre, double least) {
        const std::vector<root_cluster> found = e.around(centre, least, room(members, centre));
        if (found.empty()) return false;
        const std::size_t first = clusters.size();
        clusters.insert(clusters.end(), found.begin(), found.end());
        for (std::size_t i : members) {
            std::size_t best = first;
            for (std::size_t c = first; c < clusters.size(); ++c)
                if (std::abs(points[i] - clusters[c].z) < std::abs(points[i] - clusters[best].z)) best = c;
            cluster_of[i] = best;
        }
        return true;
    }

    // No disk resolved: the entries stay uncertified roots, unless a small
    // disk around them holds no zero at all.
    void keep_uncertified(const std::vector<std::size_t>& members, cplx centre) {
        const double radius = 0.9 * std::min(room(members, centre), near_root * root_scale(centre));
        const auto zeros = count_in_circle(f, centre, radius);
        if (zeros && *zeros == 0) return;
        for (std::size_t i : members) cluster_of[i] = clusters.size(), clusters.push_back({points[i], 1, 0});
    }
};

// For each entry well below the axis (further than the widest group, so
// that no group spans the axis) whose mirror image is listed too, to
// rounding, the index of that image; dropped for every other entry.
std::vector<std::size_t> mirror_images(const std::vector<cplx>& points) {
    const sorted_points sorted(points);
    std::vector<std::size_t> image(points.size(), dropped);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const cplx z = points[i];
        if (z.imag() >= -widest_group * root_scale(z)) continue;
        const double tol = same_root * root_scale(z);
        sorted.near(std::conj(z), tol, [&](std::size_t j) {
            if (image[i] == dropped && std::abs(points[j] - std::conj(z)) <= tol) image[i] = j;
        });
    }
    return image;
}

// How far the conjugate of c may lie from `mirror` for the two to be one
// conjugate pair: within their disks when both are certified (another root
// 6e-10 away has a disk of its own), else within rounding or c's disk.
double mirror_reach(const root_cluster& c, const root_cluster& mirror) {
    if (c.certified() && mirror.certified()) return c.radius + mirror.radius;
    return std::max(same_root * root_scale(c.z), c.radius);
}

}  // namespace

clustered_roots cluster_roots(log_determinant& f, const std::vector<cplx>& found) {
    std::vector<cplx> distinct;
    const std::vector<std::size_t> first =
        group(found, [](cplx z) { return tightest_disk * root_scale(z); }, distinct);
    clusterer grouped(f, distinct);
    // Only the entries above the axis, and those below it without a listed
    // mirror image, are enclosed by counts: the others take the mirror
    // images of their images' disks, which halves the counts for a system
    // whose roots are mostly complex.
    const std::vector<std::size_t> image = mirror_images(distinct);
    std::vector<std::size_t> counted, mirrors, rest;
    for (std::size_t i = 0; i < distinct.size(); ++i) (image[i] == dropped ? counted : mirrors).push_back(i);
    grouped.resolve(counted, widest_group);
    for (std::size_t i : mirrors)
        if (!grouped.mirror(i, image[i])) rest.push_back(i);
    grouped.resolve(rest, widest_group);
    clustered_roots result{std::move(grouped.clusters), {}};
    uncertify_overlaps(result.clusters);
    for (std::size_t i = 0; i < found.size(); ++i) result.owner.push_back(grouped.cluster_of[first[i]]);
    return result;
}

// The characteristic matrix is real, so its roots are symmetric about the
// real axis: a root whose mirror image is also listed is paired with it
// exactly, and a root the mirror maps onto itself is real.
void pair_conjugates(std::vector<root_cluster>& clusters) {
    // Indexed where they lie now; pairing and straightening move a centre by
    // at most its tolerance, which the search below allows for thrice.
    const disk_index index(clusters);
    for (root_cluster& c : clusters) {
        if (c.multiplicity == 0) continue;  // absorbed into another root
        const double lean = std::abs(c.z.imag());
        if (lean <= (c.certified() ? c.radius : same_root * root_scale(c.z))) {
            c.z.imag(0.0);
            if (c.certified()) c.radius += lean;
            continue;
        }
        if (c.z.imag() < 0) continue;
        // The first listed mirror image within reach.
        const double tolerance = std::max(same_root * root_scale(c.z), c.radius);
        std::size_t first = dropped;
        index.near(std::conj(c.z), 3 * tolerance, [&](std::size_t j) {
            const root_cluster& m = clusters[j];
            if (j < first && m.multiplicity > 0 && std::abs(m.z - std::conj(c.z)) <= mirror_reach(c, m)) first = j;
        });
        if (first == dropped) continue;
        root_cluster& mirror = clusters[first];
        const cplx paired = 0.5 * (c.z + std::conj(mirror.z));
        const double moved = std::abs(paired - c.z);
        const bool certified = c.certified() && mirror.certified();
        c.radius = mirror.radius = certified ? std::max(c.radius, mirror.radius) + moved : 0.0;
        c.z = paired;
        mirror.z = std::conj(paired);
    }
}

// Disks that meet lose their certificates: their zeros are not told apart.
void uncertify_overlaps(std::vector<root_cluster>& clusters) {
    std::vector<cplx> centres;
    double widest = 0;
    for (const root_cluster& c : clusters) centres.push_back(c.z), widest = std::max(widest, c.radius);
    const sorted_points sorted(centres);
    std::vector<bool> overlapping(clusters.size(), false);
    for (std::size_t i = 0; i < clusters.size(); ++i)
        sorted.near(clusters[i].z, clusters[i].radius + widest, [&](std::size_t j) {
            if (j != i && clusters[i].certified() && clusters[j].certified() && clusters[i].meets(clusters[j]))
                overlapping[i] = true;
        });
    for (std::size_t i = 0; i < clusters.size(); ++i)
        if (overlapping[i]) clusters[i].radius = 0;
}

}  // namespace quorv
