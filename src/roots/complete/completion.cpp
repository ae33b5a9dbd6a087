#include "roots/complete/completion.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "roots/complete/disk_index.h"
#include "roots/count/enclosure.h"
#include "roots/local/refinement.h"
#include "roots/support/two_pi.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

constexpr int depth_limit = 60;
constexpr int locate_restarts = 3;
// Where a piece is cut, as shares of its longer side: off the middle first,
// so that a cut does not run along the real axis of a symmetric piece.
constexpr double cuts[] = {0.5 + 1.0 / 64, 0.5 - 3.0 / 64, 0.5 + 5.0 / 64, 0.5 - 7.0 / 64, 0.5 + 11.0 / 64};

class filler {
public:
    filler(log_determinant& f, const rectangle& region, double left, std::vector<root_cluster>& known)
        : f(f), region(region), left(left), known(known), index(known), polish(f.system()), enclose(f) {}

    completion_outcome outcome;

    // The roots of a delay system lie on chains along which neighbours are
    // about 2 pi / h_max apart in Im far out: there the term of the largest
    // delay balances lambda, lambda ~ a e^{-lambda h_max}, whose solutions
    // repeat with that period. Newton's method started one period above and
    // below every known root, and every root found that way, finds the
    // roots of regular chains for some ten evaluations each, where a count
    // of a piece costs hundreds; the pieces are counted only for the rest.
    void follow_chains(long count) {
        const double h_max = largest_delay(f.system());
        if (h_max <= 0) return;
        const cplx period(0, two_pi / h_max);
        long inside = known_in(region);
        for (std::size_t i = 0; i < known.size() && inside < count; ++i) {
            const cplx z = known[i].z;
            if (known[i].multiplicity == 0) continue;
            for (const cplx step : {period, -period}) {
                if (f.budget().exhausted()) return;
                const std::size_t before = known.size();
                if (try_locate(z + step))
                    for (std::size_t j = before; j < known.size(); ++j) inside += known[j].multiplicity;
            }
        }
    }

    // Makes `known` account for the `count` roots in rect.
    void fill(const rectangle& rect, long count, int depth) {
        long inside = known_in(rect);
        if (count <= inside) return;
        if (depth > depth_limit || f.budget().exhausted()) {
            outcome.complete = false;
            return;
        }
        if (count - inside == 1 || diameter(rect) < near_root * root_scale(centre(rect))) {
            if (try_locate(centre(rect))) inside = known_in(rect);
            if (count <= inside) return;
        }
        split(rect, count, depth);
    }

private:
    log_determinant& f;
    rectangle region;
    double left;
    std::vector<root_cluster>& known;
    disk_index index;
    refinement polish;
    encloser enclose;

    static cplx centre(const rectangle& r) { return {0.5 * (r.x0 + r.x1), 0.5 * (r.y0 + r.y1)}; }
    static double diameter(const rectangle& r) { return std::hypot(r.x1 - r.x0, r.y1 - r.y0); }

    long known_in(const rectangle& rect) const {
        long sum = 0;
        index.in_band(rect.y0, rect.y1, [&](std::size_t i) {
            if (rect.contains(known[i].z)) sum += known[i].multiplicity;
        });
        return sum;
    }

    // A point inside a known root's disk is that root, whatever its
    // multiplicity; an uncertified known root has only rounding around it.
    // A certified disk holds no other zero, so a point outside it is
    // another root however close (two roots 6e-10 apart beside a disk of
    // 1e-10).
    bool is_known(cplx z) const {
        const double tolerance = same_root * root_scale(z);
        bool found = false;
        index.near(z, tolerance, [&](std::size_t i) {
            const root_cluster& c = known[i];
            found = found || std::abs(c.z - z) <= (c.certified() ? c.radius : tolerance);
        });
        return found;
    }

    // How far a disk around z may reach: short of every known disk, and no
    // further than 1e-2 relative.
    double room(cplx z) const {
        const double most = 1e-2 * root_scale(z);
        double space = most;
        // Only a disk within most / 0.9 of its radius from z can shorten it.
        index.near(z, most / 0.9, [&](std::size_t i) {
            space = std::min(space, 0.9 * (std::abs(known[i].z - z) - known[i].radius));
        });
        return space;
    }

    // Newton's method from start, restarted from where a run ended up to
    // three runs in all, until the residual is small; each run is charged to
    // the budget as the evaluations of its steps.
    std::optional<cplx> locate(cplx start) {
        for (int run = 0; run < locate_restarts; ++run) {
            f.budget().spend(refinement::steps);
            const auto refined = polish.from(start);
            if (!refined) return std::nullopt;
            if (refinement::accepted(*refined)) return refined->root;
            start = refined->root;
        }
        return std::nullopt;
    }

    // A located root is enclosed in a disk clear of every known one; each
    // zero the disk resolves is added with its conjugate's disk, unless
    // that meets it (a real root) or a known one.
    bool try_locate(cplx start) {
        const auto z = locate(start);
        if (!z || !region.contains(*z) || z->real() < left || is_known(*z)) return false;
        bool added = false;
        for (const root_cluster& c : enclose.around(*z, 0, room(*z))) {
            if (meets_known(c)) continue;
            add(c);
            added = true;
            const root_cluster mirror{std::conj(c.z), c.multiplicity, c.radius};
            if (!meets_known(mirror)) add(mirror);
        }
        return added;
    }

    bool meets_known(const root_cluster& c) const {
        bool met = false;
        index.near(c.z, c.radius, [&](std::size_t i) { met = met || known[i].meets(c); });
        return met;
    }

    void add(const root_cluster& c) {
        known.push_back(c);
        index.add(known.size() - 1);
        outcome.added.push_back(c);
    }

    // Cuts rect across its longer side, away from the known roots, counts the
    // lower piece and leaves the rest of the count to the upper one.
    void split(const rectangle& rect, long count, int depth) {
        const bool across_real = rect.x1 - rect.x0 >= rect.y1 - rect.y0;
        const double lo = across_real ? rect.x0 : rect.y0, hi = across_real ? rect.x1 : rect.y1;
        for (const double cut : cuts_by_clearance(rect, across_real, lo, hi)) {
            rectangle lower = rect, upper = rect;
            (across_real ? lower.x1 : lower.y1) = cut;
            (across_real ? upper.x0 : upper.y0) = cut;
            const auto lower_count = count_in_rectangle(f, lower);
            if (f.budget().exhausted()) break;
            if (!lower_count || *lower_count > count) continue;
            fill(lower, *lower_count, depth + 1);
            fill(upper, count - *lower_count, depth + 1);
            return;
        }
        outcome.complete = false;
    }

    // Where to cut rect: a count along a cut that passes close to a zero
    // needs short steps there, and fails on one. The cuts that keep a margin
    // of 1e-3 of the side from every known root come first, in their order;
    // then the others, farthest from the known roots first.
    std::vector<double> cuts_by_clearance(const rectangle& rect, bool across_real, double lo, double hi) const {
        const double margin = 1e-3 * (hi - lo);
        std::vector<std::pair<double, double>> by_clearance;
        for (const double share : cuts) {
            const double cut = lo + share * (hi - lo);
            double clearance = margin;
            index.in_band(rect.y0, rect.y1, [&](std::size_t i) {
                const cplx z = known[i].z;
                if (rect.contains(z)) clearance = std::min(clearance, std::abs((across_real ? z.real() : z.imag()) - cut));
            });
            by_clearance.emplace_back(clearance, cut);
        }
        std::stable_sort(by_clearance.begin(), by_clearance.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        std::vector<double> ordered;
        for (const auto& [clearance, cut] : by_clearance) ordered.push_back(cut);
        return ordered;
    }
};

}  // namespace

completion_outcome complete_roots(log_determinant& f, const rectangle& region, long count, double left,
                                  std::vector<root_cluster>& known) {
    filler fill(f, region, left, known);
    fill.follow_chains(count);
    fill.fill(region, count, 0);
    return fill.outcome;
}

}  // namespace quorv
