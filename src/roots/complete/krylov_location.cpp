#include "roots/complete/krylov_location.h"

#include <algorithm>
#include <cmath>

#include "roots/count/root_cluster.h"
#include "roots/count/sparse_root_bound.h"
#include "roots/krylov/infinite_arnoldi.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

// Ritz values within this relative estimate are worth Newton's steps; a
// search stops once its wanted values are within the tighter one.
constexpr double worth_polishing = 1e-4;
constexpr double converged_estimate = 1e-6;
constexpr int newton_steps = 30;
// The first disk tried around a polished root, relative to its size; it
// grows fourfold while its count fails, up to `widest_disk`, and sixteenfold
// while the count's first sample is refused: the root's neighbourhood, where
// rounding makes det Delta untrusted, then reaches past the disk, and near a
// simple root it shrinks only in proportion to the distance (a Laplacian
// with entries of 4e10 keeps some 1e-4 of it).
constexpr double first_radius = 1e-10;
constexpr double widest_disk = 1e-3;
constexpr double refused_growth = 16;
// Shifts per region, and the steps of one search: enough for some twenty
// roots per shift at n (steps + 1) complex numbers of memory.
constexpr int most_shifts = 16;
// A Ritz value within this estimate outlines where roots are; the next
// shift goes this share of the way from it back towards the last shift,
// and at most this many times.
constexpr double rough = 0.5;
constexpr double shift_ahead = 1e-2;
constexpr int most_moves = 4;
constexpr int wanted_per_shift = 20;
// The points of a column of shifts weighed for the widest gap between the
// roots found.
constexpr int gap_samples = 256;
constexpr double crowd_margin = 1.5;
// Where only the rightmost roots are wanted, the converged Ritz values
// further left of the rightmost than this share of its size are left alone:
// each polished and enclosed root costs a dozen factorisations, dear where
// the factors fill in.
constexpr double rightmost_band = 1e-2;


}  // namespace

krylov_locator::krylov_locator(const sparse_quorv& sys, determinant_samples& f) : sys(sys), f(f), lu(sys) {}

bool krylov_locator::known(cplx z) const {
    return std::any_of(found.begin(), found.end(),
                       [z](const root_cluster& c) { return std::abs(z - c.z) <= c.radius; });
}

long krylov_locator::located_in(const rectangle& region) const {
    long located = 0;
    for (const root_cluster& c : found)
        if (region.holds_disk(c.z, c.radius)) located += c.multiplicity;
    return located;
}

// Newton's method on det Delta, stopped where the steps stop shrinking
// quadratically (rounding) or are negligible; an evaluation refused on the
// way means Delta is singular to rounding: the iterate is at the root.
std::optional<cplx> krylov_locator::polish(cplx z) {
    double last = HUGE_VAL;
    for (int step = 0; step < newton_steps; ++step) {
        const auto stepped = f.newton_step(z);
        if (!stepped) return f.budget().exhausted() ? std::nullopt : std::optional<cplx>(z);
        const double length = std::abs(*stepped - z);
        const bool done = length <= 1e-14 * root_scale(z) || (length <= 1e-8 * root_scale(z) && length > 0.5 * last);
        z = *stepped, last = length;
        if (done) return z;
    }
    return std::nullopt;
}

// The smallest disk around z (from first_radius, fourfold) whose count
// resolves and finds zeros; kept when it holds one zero, lies in the region
// and meets no disk found before.
bool krylov_locator::enclose(cplx z, const rectangle& region) {
    const double widest = widest_disk * root_scale(z);
    double next = first_radius * root_scale(z);
    for (double radius = next; radius <= widest; radius = next) {
        if (!region.holds_disk(z, radius)) return false;
        const long before = f.budget().evaluations_left;
        const auto inside = count_in_circle(f, z, radius);
        if (f.budget().exhausted()) return false;
        const bool refused_at_once = !inside && before - f.budget().evaluations_left == 1;
        // A jump stops short of the region's sides and of the widest disk.
        const double room = std::min({z.real() - region.x0, region.x1 - z.real(), z.imag() - region.y0,
                                      region.y1 - z.imag(), widest});
        next = refused_at_once && 4 * radius < room ? std::min(refused_growth * radius, 0.9 * room) : 4 * radius;
        // A root nearer the region's side than four of these disks is tried
        // once in the room it has: a root beside the count's line, whose
        // disks the count itself drew that tight.
        if (next > room && radius < 0.9 * room) next = 0.9 * room;
        if (!inside || *inside == 0) continue;
        // Several zeros around a polished point are distinct roots close
        // together (four 6e-9 apart around a point where Newton's steps
        // stalled between them), not one root there: the region's bisection
        // tells them apart.
        if (*inside > 1) return false;
        const root_cluster disk{z, 1, radius};
        if (std::any_of(found.begin(), found.end(), [&](const root_cluster& c) { return c.meets(disk); }))
            return false;
        found.push_back(disk);
        // det Delta(conj lambda) = conj det Delta(lambda): the mirrored disk
        // holds as many zeros, and is another disk when it does not meet this one.
        if (std::abs(z.imag()) > radius) found.push_back({std::conj(z), *inside, radius});
        return true;
    }
    return false;
}

void krylov_locator::add(cplx near, const rectangle& region) {
    if (near.imag() < 0) near = std::conj(near);
    if (known(near)) return;
    const auto z = polish(near);
    if (!z || known(*z) || !region.contains(*z)) return;
    enclose(z->imag() < 0 ? std::conj(*z) : *z, region);
}

void krylov_locator::adopt(const std::vector<root_cluster>& disks, const rectangle& region) {
    for (const root_cluster& d : disks) {
        const bool apart = std::none_of(found.begin(), found.end(), [&](const root_cluster& c) { return c.meets(d); });
        // Only a disk within rounding of its zeros is a root: a wider one's
        // centre may be a point the count came near, or half of a disk
        // split by its path.
        const bool tight = d.radius <= same_root * root_scale(d.z);
        if (d.certified() && tight && !d.undecided && region.holds_disk(d.z, d.radius) && apart) found.push_back(d);
    }
}

void krylov_locator::seed(const std::vector<cplx>& near, const rectangle& region) {
    for (const cplx z : near) {
        if (f.budget().exhausted()) return;
        add(z, region);
    }
}

// Whether lambda lies in the box that holds every root with its real part
// or more.
bool krylov_locator::plausible(cplx lambda) const {
    const rectangle box = root_box(sys, lambda.real());
    return lambda.real() <= box.x1 && std::abs(lambda.imag()) <= box.y1;
}

krylov_locator::searched krylov_locator::search(cplx shift, const rectangle& region, int wanted, double band) {
    const int steps = std::min(3 * wanted + 20, 80);
    const auto values = infinite_arnoldi(sys, lu, shift, wanted, steps, converged_estimate, f.budget());
    searched result{0, shift};
    double& reach = result.reach;
    double right_edge = -HUGE_VAL;
    for (const ritz_value& v : values)
        if (v.estimate <= worth_polishing) right_edge = std::max(right_edge, v.lambda.real());
    const double kept_from = right_edge - band * root_scale(right_edge);
    for (const ritz_value& v : values) {
        // Spurious Ritz values of the truncated expansion lie far out, some
        // right of a shift placed right of every root, some outside the box
        // that bounds the roots: an outline lies left, and in the box.
        if (v.estimate <= rough && v.lambda.real() < shift.real() && plausible(v.lambda) &&
            (result.rightmost == shift || v.lambda.real() > result.rightmost.real()))
            result.rightmost = v.lambda;
        if (v.estimate > worth_polishing || v.lambda.real() < kept_from || f.budget().exhausted()) continue;
        if (v.estimate <= converged_estimate) reach = std::max(reach, std::abs(v.lambda - shift));
        if (region.contains(v.lambda) || region.contains(std::conj(v.lambda))) add(v.lambda, region);
    }
    return result;
}

krylov_locator::searched krylov_locator::closing_search(cplx shift, const rectangle& region, int wanted) {
    searched result = search(shift, region, wanted);
    for (int move = 0; move < most_moves && result.reach == 0 && result.rightmost != shift; ++move) {
        if (f.budget().exhausted()) break;
        shift = result.rightmost + shift_ahead * std::abs(shift - result.rightmost);
        result = search(shift, region, wanted);
    }
    return result;
}

void krylov_locator::rightmost(cplx shift, int wanted) {
    const rectangle plane{-HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL};
    for (int move = 0; move <= most_moves && found.empty() && !f.budget().exhausted(); ++move) {
        const cplx outline = search(shift, plane, wanted, rightmost_band).rightmost;
        if (outline == shift) return;
        shift = outline + shift_ahead * std::abs(shift - outline);
    }
}

// The point of the column at x, from the real axis up to `height`, farthest
// from every root found and every shift in `searched`, with that distance.
std::pair<cplx, double> krylov_locator::widest_gap(double x, double height, const std::vector<cplx>& searched) const {
    std::pair<cplx, double> widest{{x, 0}, -1};
    for (int i = 0; i < gap_samples; ++i) {
        const cplx point{x, height * (i + 0.5) / gap_samples};
        double nearest = HUGE_VAL;
        for (const root_cluster& c : found) nearest = std::min(nearest, std::abs(point - c.z));
        for (const cplx s : searched) nearest = std::min(nearest, std::abs(point - s));
        if (nearest > widest.second) widest = {point, nearest};
    }
    return widest;
}

// The height up to which the roots found in the region's upper half crowd,
// with room for as many again above the highest: the missing roots of a
// crowd lie among it, not in the empty height a count's region reaches to.
// Zero when no disk found keeps clear of the real axis: there is no crowd
// to go by, and a real root's disk may still be wide.
double krylov_locator::crowd_height(const rectangle& region) const {
    double highest = 0;
    for (const root_cluster& c : found)
        if (c.z.imag() > c.radius && region.holds_disk(c.z, c.radius)) highest = std::max(highest, c.z.imag());
    return std::min(region.y1, crowd_margin * highest);
}

// Roots crowded along the count's line are all about as far from a shift a
// unit right of it, and a search there converges only the rightmost few;
// the roots it misses lie in the gaps the found ones leave along the line.
// Shifts on the line itself, each at the point farthest from every root
// found and every shift tried, find them nearest first.
void krylov_locator::gap_column(const rectangle& region, long count) {
    std::vector<cplx> searched;
    for (int shift = 0; shift < most_shifts && located_in(region) < count; ++shift) {
        const double height = crowd_height(region);
        if (height <= 0 || f.budget().exhausted()) return;
        const auto [point, distance] = widest_gap(region.x0, height, searched);
        if (distance <= 0) return;
        searched.push_back(point);
        search(point, region, wanted_per_shift);
    }
}

// Shifts go up the region's upper half from the real axis, in a column a
// little right of its left side (a count's region reaches far right of its
// roots, which crowd towards the line it was counted from; in the model's
// own time unit, where the delays are at most 1, a chain's roots lie about
// 2 pi apart and a unit from the line is near), each the last
// search's converged reach above the one before, at least a sixteenth of
// the height.
located_roots krylov_locator::locate(const rectangle& region, long count) {
    const double width = region.x1 - region.x0, height = region.y1;
    double y = 0;
    for (int shift = 0; shift < most_shifts && located_in(region) < count && y <= height; ++shift) {
        if (f.budget().exhausted()) break;
        const double x = region.x0 + std::min(0.5 * width, 1.0);
        const int wanted = int(std::clamp<long>(count - located_in(region), 1, wanted_per_shift));
        const double reach = closing_search({x, y}, region, wanted).reach;
        y += std::max(reach, height / most_shifts);
    }
    gap_column(region, count);
    std::vector<root_cluster> inside;
    for (const root_cluster& c : found)
        if (region.holds_disk(c.z, c.radius)) inside.push_back(c);
    return locate_roots(f, region, count, inside);
}

}  // namespace quorv
