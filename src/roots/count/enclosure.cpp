#include "roots/count/enclosure.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>

#include <Eigen/Eigenvalues>

#include "roots/count/argument_count.h"
#include "roots/support/singular_values.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

// Each failed try widens the disk fourfold from tightest_disk.
constexpr double disk_growth = 4;
// A simple root's disk wider than this is tightened around Newton's
// iterate from the disk's mean.
constexpr double tight_enough = 1e-9;
// Delta at the mean of m zeros that are one multiple root is singular to
// the rounding of its terms (about 1e-16 relative, n epsilon of each row);
// at the mean of two distinct simple roots at relative distance d it is
// about d^2 from singular, or d / cond for roots whose eigenvectors have
// condition cond: four zeros 6e-9 apart under a similarity of condition
// 1e5 leave 5e-14 at their mean. The share keeps a guard of some fifty
// epsilon above rounding.
constexpr double singular_share = 1e-14;
// Trapezoid nodes of the moments: the error falls like (inner/outer)^nodes.
constexpr int moment_nodes = 128;
// Trapezoid nodes of a disk's mean.
constexpr int mean_nodes = 64;
// Polished zeros of one disk closer than this share of its radius are
// enclosed together.
constexpr double coincidence = 1e-2;
// Separated zeros are enclosed again, down to this depth.
constexpr int separation_depth = 3;
constexpr int tightening_passes = 3;
// Newton steps on det Delta when a loose disk is tightened, and how often
// one step may be halved.
constexpr int determinant_steps = 12;
constexpr int max_halvings = 30;
// A multiple root's disk is halved while it still holds all its zeros.
constexpr int shrink_steps = 4;

bool counts(determinant_samples& f, cplx centre, double radius, long m) {
    const auto counted = count_in_circle(f, centre, radius);
    return counted && *counted == m;
}

// How far Delta(z)'s rows move per unit of lambda, seen from its nearest
// singularity: |u^H T^{-1} Delta'(z) v| for the smallest singular triplet
// T^{-1} Delta(z) v = sigma u of the rows scaled by their terms T. Rounding
// perturbs each row by some epsilon of its terms, which moves a simple zero
// by epsilon over this rate: its reciprocal is the size the zero is known
// relative to, made of the rows that hold the zero alone. NaN where it cannot
// be told.
double rounding_rate(const quorv& sys, cplx z) {
    const Eigen::VectorXd terms = row_term_sums(sys, z);
    Eigen::MatrixXcd scaled = rows_scaled_by_terms(sys, z, terms);
    if (scaled.size() == 0) return std::numeric_limits<double>::quiet_NaN();
    const singular_triplet nearest = smallest_singular_triplet(scaled);
    if (!std::isfinite(nearest.sigma)) return std::numeric_limits<double>::quiet_NaN();
    // Delta'(z) = I + sum_k h_k e^{-z h_k} A_k.
    Eigen::MatrixXcd slope = Eigen::MatrixXcd::Identity(sys.n(), sys.n());
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) > 0) slope += (sys.hk(k) * std::exp(-z * sys.hk(k))) * sys.Ak(k).cast<cplx>();
    slope.array().colwise() /= terms.array();
    return std::abs(nearest.u.dot(slope * nearest.v));
}

}  // namespace

double encloser::scale(cplx z) { return zero_scale(system, z); }

double disk_encloser::tightest(cplx z) { return tightest_disk * scale(z); }

// The scale's singular vectors are dearer than an evaluation: they are
// sought only for a length below the tightest disk of root_scale, which
// bounds the scale from above.
bool disk_encloser::below_tightest(double length, cplx z) {
    return length < tightest_disk * root_scale(z) && length < tightest(z);
}

std::optional<cplx> encloser::polished(cplx start) {
    samples().budget().spend(refinement::steps);
    const auto p = polish.from(start);
    if (p && refinement::accepted(*p)) return p->root;
    return std::nullopt;
}

std::vector<root_cluster> disk_encloser::around(cplx z, double least, double room) { return around(z, least, room, 0); }

std::optional<cplx> disk_encloser::refined(cplx start, double reach) {
    const auto p = polished(start);
    if (p && std::abs(*p - start) < reach) return p;
    return std::nullopt;
}

cplx disk_encloser::sharpened(cplx z) {
    log_det_sample s;
    if (!f.evaluate(z, s)) return z;
    const cplx step = 1.0 / s.g;
    return finite(step) && below_tightest(std::abs(step), z) ? z - step : z;
}

std::vector<root_cluster> disk_encloser::around(cplx z, double least, double room, int depth) {
    if (least == 0) z = sharpened(z);
    // A room narrower than the tightest disk (a known zero 2e-10 away) starts
    // at a quarter of it: det Delta is trusted that close to a simple zero
    // of a well-conditioned system, and the counts say when it is not.
    for (double radius = std::max(least, std::min(tightest(z), room / 4)); radius < room;
         radius = next_radius(radius, room)) {
        const auto m = count_in_circle(f, z, radius);
        if (f.budget().exhausted()) return {};
        if (!m || *m == 0) continue;
        if (*m == 1) return {simple(z, radius, room)};
        return resolved(z, radius, *m, room, depth);
    }
    return {};
}

// Newton's method on det Delta itself, w - 1/g(w), from w towards a zero
// within |lambda - z| < reach: quadratic at a simple zero however small
// det Delta's derivative, where Newton's method on the eigenproblem stops as
// soon as its residual is small (near a close pair of roots, well before the
// root is accurate). Nothing if no step halved at most max_halvings times
// stays within reach, or the steps do not fall below the tightest disk.
std::optional<cplx> disk_encloser::newton_on_determinant(cplx w, cplx z, double reach) {
    log_det_sample s;
    for (int step = 0; step < determinant_steps; ++step) {
        // Delta exactly singular in floating point: w is the zero to
        // rounding (the count around it decides).
        if (!f.evaluate(w, s)) return step > 0 && !f.budget().exhausted() ? std::optional(w) : std::nullopt;
        cplx move = 1.0 / s.g;
        if (!finite(move)) break;
        // Between two close zeros their terms in g nearly cancel and the
        // step overshoots, though in the right direction: it is halved
        // until it stays within reach.
        int halvings = 0;
        while (std::abs(w - move - z) >= reach && halvings < max_halvings) move /= 2, ++halvings;
        if (std::abs(w - move - z) >= reach) break;
        w -= move;
        if (halvings == 0 && below_tightest(std::abs(move), w)) return w;
    }
    return std::nullopt;
}

// One zero in |lambda - z| <= radius. A loose disk (z a stalled iterate) is
// tightened: the mean of its zero, polished by Newton's method on det Delta,
// is a better centre, and a smaller disk around it holds the zero alone. The
// mean converges like the ratio of the zero's distance from the centre to
// that of the nearest zero outside, so a first wide disk may leave it
// inaccurate; Newton's method from there, and a second pass on the tighter
// disk, correct that.
root_cluster disk_encloser::simple(cplx z, double radius, double room) {
    const cplx origin = z;
    for (int pass = 0; pass < tightening_passes && radius > tight_enough * scale(z); ++pass) {
        cplx centre = zeros_mean(f, z, radius, 1);
        if (!finite(centre)) break;
        // Delta is real on the real axis, so Newton's method from the disk's
        // foot on the axis finds a real zero, the likely one when a stalled
        // iterate leans off the axis.
        // A disk's zero may lie on its edge (the disk grew until it was
        // inside), so Newton's method may leave the disk a little; the new
        // disk around its result is counted again, and stays in the room.
        const double reach = std::min(room, 2 * radius);
        std::optional<cplx> newton;
        if (std::abs(z.imag()) < radius) newton = newton_on_determinant(z.real(), z, reach);
        if (!newton) newton = newton_on_determinant(centre, z, reach);
        centre = newton.value_or(centre);
        // The new disk may reach beyond the first (its zero may lie near the
        // first one's edge), but not beyond the room: disks stay disjoint.
        const double moved = std::abs(centre - origin);
        double rho = tightest(centre);
        while (rho + moved < room && rho < radius && !counts(f, centre, rho, 1)) rho *= disk_growth;
        if (rho + moved >= room || rho >= radius) break;
        z = centre;
        radius = rho;
    }
    return {z, 1, radius};
}

// m >= 2 zeros in |lambda - z| <= radius: apart when they can be told
// apart, else one multiple root at their mean.
std::vector<root_cluster> disk_encloser::resolved(cplx z, double radius, long m, double room, int depth) {
    // The moments converge like (inner/outer)^nodes, so they are taken on a
    // circle three times wider when it holds no more zeros. A disk may hold
    // only some of the scattered zeros of a multiple root: when the wider
    // circle holds more, it is taken instead (three times at most).
    double wide = radius;
    for (int widening = 0; widening < 3 && 3 * radius < room; ++widening) {
        const auto wider = count_in_circle(f, z, 3 * radius);
        if (!wider || *wider < m) break;
        if (*wider == m) {
            wide = 3 * radius;
            break;
        }
        radius *= 3, wide = radius, m = *wider;
    }
    const auto [zeros, mean] = zeros_in_circle(f, z, wide, m);
    if (!finite(mean)) return {};
    // The moments' mean carries the rounding of the evaluations on the
    // circle, some 1e-16 of its radius; a centre z at which Delta is exactly
    // singular in floating point carries none (a zero matrix's root 0 stays
    // 0 instead of becoming -2e-26), and the root is listed there. Anywhere
    // short of exact, Delta's smallest singular value near a multiple root is
    // rounding and tells the two points apart no better than the mean does.
    // Zeros within the disk around such a point (1e-10 wide) are one root.
    const bool exact = f.singularity(z) == 0;
    if (!exact && depth < separation_depth && !singular_at(f, mean)) {
        std::vector<root_cluster> apart = gathered(z, radius, m, mean, room, depth);
        if (!apart.empty()) return apart;
        apart = separated(zeros, z, radius, m, depth);
        if (!apart.empty()) return apart;
        apart = deflated(z, radius, m, mean);
        if (!apart.empty()) return apart;
        apart = closer(z, radius, m, mean, room, depth);
        if (!apart.empty()) return apart;
    }
    return as_one(z, radius, m, exact ? z : mean, room);
}

// The m zeros one at a time by Newton's method on det Delta with the zeros
// found divided out, w - 1/(g(w) - sum_j 1/(w - z_j)), from points around
// their mean: where the moments of many zeros (twenty 9e-10 apart) are too
// ill-conditioned to place them, each zero is still simple, and Newton's
// method converges to one not yet found. Each is then enclosed in a disk of
// its own within 0.45 of the distance to the nearest other, inside the
// first disk; nothing unless the disks account for all m zeros.
std::vector<root_cluster> disk_encloser::deflated(cplx z, double radius, long m, cplx mean) {
    std::vector<cplx> found;
    for (long k = 0; k < m; ++k) {
        const auto zero = deflated_newton(mean + std::polar(radius / 8, 2.4 * double(k)), z, radius, found);
        if (!zero) return {};
        found.push_back(*zero);
    }
    std::vector<root_cluster> apart;
    for (std::size_t k = 0; k < found.size(); ++k) {
        double room = radius - std::abs(found[k] - z);
        for (std::size_t j = 0; j < found.size(); ++j)
            if (j != k) room = std::min(room, 0.45 * std::abs(found[k] - found[j]));
        double rho = std::min(tightest(found[k]), room / 4);
        while (rho < room && !counts(f, found[k], rho, 1)) rho = next_radius(rho, room);
        if (!(rho < room)) return {};
        apart.push_back({found[k], 1, rho});
    }
    return apart;
}

std::optional<cplx> disk_encloser::deflated_newton(cplx w, cplx z, double radius, const std::vector<cplx>& found) {
    log_det_sample s;
    for (int step = 0; step < 4 * determinant_steps; ++step) {
        // Delta singular to rounding: w is a zero to within what the
        // counts around it can tell.
        if (!f.evaluate(w, s)) return step > 0 && !f.budget().exhausted() ? std::optional(w) : std::nullopt;
        cplx g = s.g;
        for (const cplx& zj : found) g -= 1.0 / (w - zj);
        const cplx move = 1.0 / g;
        if (!finite(move)) return std::nullopt;
        w -= move;
        if (std::abs(w - z) >= radius) return std::nullopt;
        if (below_tightest(1e3 * std::abs(move), w)) return w;
    }
    return std::nullopt;
}

// Distinct zeros far closer together than the disk they were counted in
// (a disk grown from a point 1e-4 away around four zeros 6e-9 apart) leave
// its moments' Hankel matrix singular to rounding, and their eigenvalues
// tell nothing; the mean is accurate still. A disk around the mean a
// quarter as wide is counted while it holds all m zeros, and the zeros are
// resolved again in the last such disk, where they fill a good part of it.
std::vector<root_cluster> disk_encloser::closer(cplx z, double radius, long m, cplx mean, double room, int depth) {
    const double offset = std::abs(mean - z);
    double rho = std::min(radius, room - offset);
    const double floor = tightest(mean);
    while (rho > floor && counts(f, mean, rho / 4, m)) rho /= 4;
    if (!(rho < radius / 2)) return {};
    return resolved(mean, rho, m, room - offset, depth + 1);
}

// Zeros many orders closer together than their disk (a pair 1e-99 apart in
// a disk 1e-10 wide, around a slow mode beside a stiff one that sets the
// time unit): the moments' mean gains only sixteen orders a disk, the steps
// of cluster_centre as much per evaluation. The zeros are resolved again in
// a disk a few steps wide around the centre those reach, when it is at most
// a sixteenth of the first and holds all m; nothing otherwise.
std::vector<root_cluster> disk_encloser::gathered(cplx z, double radius, long m, cplx mean, double room, int depth) {
    const auto [centre, spread] = cluster_centre(mean, z, radius, m);
    const double offset = std::abs(centre - z);
    const double rho = std::max(4 * spread, tightest(centre));
    if (!(16 * rho < radius) || rho + offset >= room || !counts(f, centre, rho, m)) return {};
    return resolved(centre, rho, m, room - offset, depth);
}

// The centre of m zeros seen from w, by steps w - m/g(w) inside the disk
// |lambda - z| < radius: g sums 1/(w - z_j), so from a distance d of zeros
// spread s apart a step lands on their mean to within epsilon d + s^2/d,
// sixteen orders closer each step where the disk's moments gain them only
// on a disk sixteen orders smaller (a pair 1e-99 apart seen from 1e-9).
// The steps stop when they no longer shrink tenfold (the zeros' spread is
// reached) or fall below the tightest disk; with the last step's length,
// the distance the zeros may still lie from the centre. One step alone
// tells nothing (from the mean of zeros spread over the disk it lands
// anywhere), so the distance is the radius unless two or more were taken.
std::pair<cplx, double> disk_encloser::cluster_centre(cplx w, cplx z, double radius, long m) {
    constexpr int most_steps = 40;
    log_det_sample s;
    double last = radius;
    int step = 0;
    for (; step < most_steps && f.evaluate(w, s); ++step) {
        const cplx move = double(m) / s.g;
        const double length = std::abs(move);
        if (!finite(move) || !(length < 0.1 * last) || std::abs(w - move - z) >= radius) break;
        w -= move;
        last = length;
        if (below_tightest(length, w)) {
            ++step;
            break;
        }
    }
    return {w, step >= 2 ? last : radius};
}

// Each zero polished by Newton's method and enclosed in a disk of its own,
// inside the first disk and clear of the others; nothing unless the disks
// account for all m zeros. Points that nearly coincide, against the disk,
// are enclosed together from their mean: Newton's method converges only
// linearly to a multiple root and stalls at scattered points near it, and a
// multiple zero leaves the moments' Hankel matrix singular, so that one of
// its eigenvalues is spurious and polishes to the same root. A group that
// holds distinct zeros is told apart one level down, in its smaller disk.
std::vector<root_cluster> disk_encloser::separated(const std::vector<cplx>& zeros, cplx z, double radius, long m,
                                              int depth) {
    std::vector<std::vector<cplx>> groups;
    for (const cplx& w : zeros) {
        if (!finite(w)) return {};
        const auto p = polished(w);
        const cplx point = p && std::abs(*p - z) < radius ? *p : w;
        const auto near = std::find_if(groups.begin(), groups.end(), [&](const std::vector<cplx>& g) {
            return std::abs(g.front() - point) <= coincidence * radius;
        });
        if (near == groups.end()) groups.push_back({point});
        else near->push_back(point);
    }
    std::vector<cplx> centres;
    std::vector<double> spreads;
    for (const auto& g : groups) {
        const cplx centre = std::accumulate(g.begin(), g.end(), cplx(0)) / double(g.size());
        double spread = 0;
        for (const cplx& p : g) spread = std::max(spread, std::abs(p - centre));
        centres.push_back(centre);
        spreads.push_back(spread);
    }
    if (centres.size() < 2 && !(spreads.front() > 0 && spreads.front() < coincidence * radius / 2))
        return {};
    // Each group's disk stays within 0.45 of the distance to the other
    // groups; a group none fits then takes what the disks made leave it (a
    // zero near which det Delta is trusted only some way off needs more).
    std::vector<root_cluster> apart;
    std::vector<bool> done(centres.size(), false);
    long total = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t k = 0; k < centres.size(); ++k) {
            if (done[k]) continue;
            double room = radius - std::abs(centres[k] - z);
            for (std::size_t j = 0; j < centres.size(); ++j)
                if (j != k && !done[j]) room = std::min(room, (pass == 0 ? 0.45 : 1.0) * std::abs(centres[k] - centres[j]));
            for (const root_cluster& d : apart) room = std::min(room, std::abs(centres[k] - d.z) - d.radius);
            for (const root_cluster& c : around(centres[k], 2 * spreads[k], room, depth + 1))
                apart.push_back(c), total += c.multiplicity, done[k] = true;
        }
    return total == m ? apart : std::vector<root_cluster>{};
}

// The m zeros as one root at their mean: a disk centred there that holds
// them all, first as wide as needed to cover the disk they were counted in
// (and inside the room around z), then halved while it still holds all m.
std::vector<root_cluster> disk_encloser::as_one(cplx z, double radius, long m, cplx mean, double room) {
    const double offset = std::abs(mean - z);
    // A circle that passes too close to one of the zeros does not resolve:
    // a somewhat wider one is tried then.
    double rho = offset + radius;
    while (rho + offset < room && !counts(f, mean, rho, m)) rho *= 1.5;
    if (rho + offset >= room) return {};
    for (int step = 0; step < shrink_steps && counts(f, mean, rho / 2, m); ++step) rho /= 2;
    return {{mean, m, rho}};
}

circle_zeros zeros_in_circle(determinant_samples& f, cplx centre, double radius, long m) {
    std::vector<cplx> s(2 * std::size_t(m), 0.0);
    log_det_sample sample;
    for (int j = 0; j < moment_nodes; ++j) {
        const cplx w = std::polar(1.0, 2 * std::numbers::pi * j / moment_nodes);
        if (!f.evaluate(centre + radius * w, sample)) return {std::vector<cplx>(m, cplx(NAN, NAN)), cplx(NAN, NAN)};
        // (1/2 pi i) oint w^p g dlambda with dlambda = i radius w dtheta.
        cplx term = sample.g * radius * w;
        for (cplx& moment : s) moment += term, term *= w;
    }
    Eigen::MatrixXcd H0(m, m), H1(m, m);
    for (Eigen::Index i = 0; i < m; ++i)
        for (Eigen::Index j = 0; j < m; ++j) {
            H0(i, j) = s[std::size_t(i + j)] / double(moment_nodes);
            H1(i, j) = s[std::size_t(i + j + 1)] / double(moment_nodes);
        }
    const Eigen::VectorXcd w = Eigen::ComplexEigenSolver<Eigen::MatrixXcd>(H0.lu().solve(H1), false).eigenvalues();
    circle_zeros found{{}, centre + radius * s[1] / double(moment_nodes) / double(m)};
    for (const cplx& wk : w) found.zeros.push_back(centre + radius * wk);
    return found;
}

bool singular_at(determinant_samples& f, cplx z) { return f.singularity(z) <= singular_share; }

double zero_scale(const quorv& sys, cplx z) {
    const double size = std::abs(z), old = root_scale(z);
    // Beyond 1 the scale is |z| whatever the rows: no singular vectors.
    if (size >= 1) return size;
    const double known = 1 / rounding_rate(sys, z);
    if (std::isnan(known)) return (row_term_sums(sys, z).array() > 0).all() ? old : std::max(size, smallest_scale);
    return std::max({size, std::min(known, old), smallest_scale});
}

cplx zeros_mean(determinant_samples& f, cplx centre, double radius, long m) {
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
