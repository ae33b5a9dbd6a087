#include <array>
#include "roots/count/line_side.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace quorv {

namespace {

using cplx = std::complex<double>;

// Newton's method on det Delta from a seed while it stays inside c: a disk
// that the system's scale made wide (the tightest disk is 1e-10 of the
// largest entry) has a centre, and moments, far from its zeros, and only a
// seed near a zero leaves room for a disk clear of the line.
cplx polished(zero_encloser& enclose, const root_cluster& c, cplx seed) {
    constexpr int steps = 12;
    cplx z = seed;
    for (int step = 0; step < steps; ++step) {
        const auto next = enclose.samples().newton_step(z);
        if (!next || !finite(*next) || !(std::abs(*next - c.z) < c.radius)) break;
        const double moved = std::abs(*next - z);
        z = *next;
        if (moved <= 1e-15 * std::abs(z)) break;
    }
    return z;
}

root_cluster marked(root_cluster c, double r) {
    c.left_of_line = c.z.real() + c.radius < r;
    return c;
}

// A zero polished from a seed, counted alone in a disk around the seed from
// a quarter of the room up to it: a model's encloser may start wider than
// the room (a root 1e-11 from the line, where det Delta is trusted some
// 1e-13 from it). Empty when no such disk holds exactly one zero.
std::vector<root_cluster> counted_alone(determinant_samples& f, cplx seed, double room) {
    for (double rho = room / 4; rho < room && !f.budget().exhausted(); rho = next_radius(rho, room)) {
        const auto m = count_in_circle(f, seed, rho);
        if (m && *m == 1) return {{seed, 1, rho}};
    }
    return {};
}

// The zeros of c enclosed again, each in a disk inside c's and clear of the
// line: first around c's centre, then around the zeros its moments place
// (for several zeros), each disk kept within its seed's distance from the
// line and from the disks already found. Empty unless the disks hold all of
// c's zeros.
std::vector<root_cluster> tightened(zero_encloser& enclose, const root_cluster& c, double r) {
    std::vector<cplx> seeds{c.z};
    if (c.multiplicity > 1) {
        const circle_zeros moments = zeros_in_circle(enclose.samples(), c.z, c.radius, c.multiplicity);
        seeds.insert(seeds.end(), moments.zeros.begin(), moments.zeros.end());
    }
    // det Delta takes conjugate values at conjugate points: a disk across
    // the real axis holds the mirror image of each zero Newton's method finds.
    for (std::size_t k = 0, given = seeds.size(); k < given; ++k) {
        if (!finite(seeds[k])) continue;
        seeds[k] = polished(enclose, c, seeds[k]);
        const cplx mirror = std::conj(seeds[k]);
        if (mirror != seeds[k] && std::abs(mirror - c.z) < c.radius) seeds.push_back(mirror);
    }
    std::vector<root_cluster> found;
    long total = 0;
    for (const cplx& seed : seeds) {
        if (total >= c.multiplicity || enclose.samples().budget().exhausted()) break;
        if (!finite(seed)) continue;
        double room = std::min(std::abs(seed.real() - r), c.radius - std::abs(seed - c.z));
        for (const root_cluster& d : found) room = std::min(room, std::abs(seed - d.z) - d.radius);
        if (!(room > 0)) continue;
        std::vector<root_cluster> disks = enclose.around(seed, 0, room);
        if (disks.empty()) disks = counted_alone(enclose.samples(), seed, room);
        for (const root_cluster& d : disks) {
            // around() may move its centre by a last Newton step: the
            // disk must still lie inside c's and clear of the line.
            const bool inside = std::abs(d.z - c.z) + d.radius <= c.radius;
            const bool clear = std::abs(d.z.real() - r) > d.radius;
            if (!inside || !clear) return {};
            found.push_back(d);
            total += d.multiplicity;
        }
    }
    return total == c.multiplicity ? found : std::vector<root_cluster>{};
}

// c's zeros enclosed anew as a disk found around c's centre is, the
// encloser separating them (by their moments, by deflation, or in a smaller
// disk around their mean) where the seeds of `tightened` fell short; empty
// unless each disk lies inside c's and clear of the line.
std::vector<root_cluster> separated(zero_encloser& enclose, const root_cluster& c, double r) {
    std::vector<root_cluster> found = enclose.around(c.z, c.radius, c.radius * (1 + 1e-9));
    long total = 0;
    for (const root_cluster& d : found) {
        const bool inside = std::abs(d.z - c.z) + d.radius <= c.radius * (1 + 1e-9);
        const bool clear = std::abs(d.z.real() - r) > d.radius;
        if (!inside || !clear) return {};
        total += d.multiplicity;
    }
    return total == c.multiplicity ? found : std::vector<root_cluster>{};
}

// Whether the evaluations of det Delta at p tell where m zeros at `root`
// are: p lies some units in the last place of the root away from it (a
// count's circle around the root narrower than that has too few distinct
// points to follow the phase: at |lambda| = 6e3 a disk 1e-12 wide), p is
// evaluated, and the step p - m/g(p), Newton's for m coinciding zeros, lands
// nearer the root than half p's distance from it, which it does not where
// Delta's terms near p cannot be told from their rounding.
bool resolved_from(determinant_samples& f, cplx p, cplx root, long m) {
    constexpr double distinct_points = 32;
    if (std::abs(p - root) <= distinct_points * std::numeric_limits<double>::epsilon() * std::abs(root)) return false;
    log_det_sample s;
    if (!f.evaluate(p, s)) return false;
    return std::abs(p - double(m) / s.g - root) < 0.5 * std::abs(p - root);
}

// Whether c's zeros lie within rounding of the line: they are one root to
// rounding (one zero, or several at whose mean Delta is singular to the
// rounding of its terms, the rule by which zeros are one multiple root;
// distinct zeros are not, as the line may run between them), and det Delta
// does not resolve that root from halfway between it and the line. A count
// certifies a disk only where det Delta is resolved on its boundary, and the
// root at its centre is known only to within the radius where it is not:
// the tightest disk it can certify reaches across any line nearer than about
// twice that radius. What the evaluations resolve at the root, not a share
// of its scale: a simple root of a well-conditioned system is placed against
// a line 1e-13 from it, one of a badly conditioned similarity only some 1e-9
// away, a double root some 1e-7 away. A mean within its own rounding
// (some 1e-16 of the disk) of 0 is taken at 0: a state with no term but
// lambda (x' = 0) leaves Delta = lambda there, which is singular at 0
// exactly and, its row scaled by its terms, nowhere else.
bool within_rounding(zero_encloser& enclose, const root_cluster& c, double r) {
    determinant_samples& f = enclose.samples();
    const bool at_zero = c.multiplicity > 1 && std::abs(c.z) <= 1e-14 * c.radius;
    const cplx root = c.multiplicity == 1 ? polished(enclose, c, c.z) : at_zero ? cplx(0) : c.z;
    if (c.multiplicity > 1 && !singular_at(f, root)) return false;
    const cplx halfway{0.5 * (root.real() + r), root.imag()};
    return !resolved_from(f, halfway, root, c.multiplicity) && !f.budget().exhausted();
}

}  // namespace

std::optional<root_cluster> side_part(determinant_samples& f, const root_cluster& c, double at, double side) {
    // The disk touches c's boundary, free of zeros since c's count resolved
    // there, and stays a hair off the line, which may pass close to a zero.
    const double far_edge = c.z.real() + side * c.radius;
    const double near_edge = at + side * 1e-6 * std::abs(far_edge - at);
    root_cluster part{{0.5 * (far_edge + near_edge), c.z.imag()}, 0, 0.5 * std::abs(far_edge - near_edge),
                      c.left_of_line};
    const auto m = count_in_circle(f, part.z, part.radius);
    if (!m) return std::nullopt;
    part.multiplicity = *m;
    return part;
}

std::optional<std::array<root_cluster, 2>> split_by(determinant_samples& f, const root_cluster& c, double at) {
    const auto right = side_part(f, c, at, +1), left = side_part(f, c, at, -1);
    if (!right || !left || right->multiplicity + left->multiplicity != c.multiplicity) return std::nullopt;
    return std::array{*right, *left};
}

std::vector<root_cluster> decide_side(zero_encloser& enclose, const root_cluster& c, double r) {
    const bool meets = c.z.real() - c.radius < r && c.z.real() + c.radius >= r;
    if (!meets) return {marked(c, r)};
    std::vector<root_cluster> apart = tightened(enclose, c, r);
    if (apart.empty()) apart = separated(enclose, c, r);
    if (!apart.empty()) {
        for (root_cluster& d : apart) d = marked(d, r);
        return apart;
    }
    // All of c's zeros in the widest disk inside c's and left of the line
    // are left of it. Zeros right of the line need no such disk: c itself
    // counts them as right of it.
    const auto left = side_part(enclose.samples(), c, r, -1);
    if (left && left->multiplicity == c.multiplicity) {
        root_cluster all_left = *left;
        all_left.left_of_line = true;
        return {all_left};
    }
    // Zeros that no disk clear of the line holds are on it only when they
    // are one root within rounding of it; a disk with some zeros certainly
    // left of the line and others it cannot place is not on it either.
    root_cluster on_line = marked(c, r);
    on_line.undecided = (left && left->multiplicity > 0) || !within_rounding(enclose, c, r);
    return {on_line};
}

void decide_new(zero_encloser& enclose, const std::vector<root_cluster>& found, double r,
                std::vector<root_cluster>& decided) {
    const auto held = [&](const root_cluster& c) {
        return std::any_of(decided.begin(), decided.end(), [&](const root_cluster& k) { return k.meets(c); });
    };
    for (const root_cluster& c : found) {
        if (held(c)) continue;
        // A disk across the real axis that was tightened holds both halves
        // of a pair already, each the other's image: each is kept once.
        for (const root_cluster& d : decide_side(enclose, c, r)) {
            if (held(d)) continue;
            decided.push_back(d);
            const root_cluster mirror{std::conj(d.z), d.multiplicity, d.radius, d.left_of_line};
            if (std::abs(d.z.imag()) > d.radius && !held(mirror)) decided.push_back(mirror);
        }
    }
}

void decide_near(zero_encloser& enclose, cplx at, double r, std::vector<root_cluster>& decided) {
    const double room = 0.25 * root_scale(at);
    const cplx centre = enclose.refined(at, room).value_or(at);
    // A zero that a disk decided already holds is decided.
    if (std::any_of(decided.begin(), decided.end(), [&](const root_cluster& c) { return std::abs(centre - c.z) <= c.radius; }))
        return;
    decide_new(enclose, enclose.around(centre, 0, room), r, decided);
}

void decide_passes(zero_encloser& enclose, const path_probe& probe, double r, std::vector<root_cluster>& decided) {
    for (const path_probe_pass& pass : probe.passes) decide_near(enclose, pass.at, r, decided);
}

}  // namespace quorv
