#include "roots/count/line_walk.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "roots/count/line_side.h"

namespace quorv {

namespace {

constexpr int contour_moves = 3;
// Where the path's left side passes this close (relative to the line) to
// zeros, they are enclosed and decided against the line.
constexpr double near_line = 1e-4;

// Where the count's paths came near zeros: where one met a zero it could
// not pass, and where one passed close to zeros.
struct path_marks {
    std::vector<std::complex<double>> blocked, passed;
};

// The farthest point, in `direction` (-1 leftwards, +1 rightwards), of the
// decided disks that reach across the path at `at`: their zeros may lie on
// either side of it.
double beyond_decided(const std::vector<root_cluster>& decided, double at, double direction) {
    double farthest = at;
    for (const root_cluster& c : decided)
        if (std::abs(c.z.real() - at) <= c.radius)
            farthest = direction < 0 ? std::min(farthest, c.z.real() - c.radius)
                                     : std::max(farthest, c.z.real() + c.radius);
    return farthest;
}

// The count right of a path that starts `offset` from the line Re = r in
// `direction` and moves further that way: 16 times further when it meets a
// zero (at most three times), and past each decided disk that reaches
// across it (at most three times). The zeros the path passes near are
// decided against the line into `decided`; `marks` learns where they were.
region_count walk(determinant_samples& f, zero_encloser& enclose, double r, double offset, double direction,
                  const path_region_at& region_at, std::vector<root_cluster>& decided, path_marks& marks) {
    work_budget& budget = f.budget();
    region_count result;
    double at = r + direction * offset;
    for (int attempt = 0, moves = 0; attempt <= contour_moves;) {
        const path_region region = region_at(at, offset);
        if (region.state == path_region::kind::unbounded) {
            result.state = region_count::outcome::unbounded;
            return result;
        }
        if (region.state == path_region::kind::empty) return {region_count::outcome::counted, 0, at, region.region};
        path_probe probe;
        probe.near = near_line * std::max(1.0, std::abs(r));
        const auto count = count_in_symmetric_rectangle(f, region.region, &probe, region.factor);
        if (!count) {
            if (budget.exhausted()) break;
            if (probe.reach == 0) marks.blocked.push_back(probe.at);
            ++attempt;
            at += direction * 15 * offset;
            offset *= 16;
            continue;
        }
        decide_passes(enclose, probe, r, decided);
        for (const path_probe_pass& pass : probe.passes) marks.passed.push_back(pass.at);
        const double beyond = beyond_decided(decided, at, direction);
        if (beyond != at && moves < contour_moves) {
            ++moves;
            at = beyond + direction * line_offset(beyond);
            continue;
        }
        if (budget.exhausted()) break;
        return {region_count::outcome::counted, *count, at, region.region};
    }
    return result;
}

bool reaches_across(const root_cluster& c, double at) { return std::abs(c.z.real() - at) < c.radius; }

// The zeros of c on the `inward` side (+1: right, -1: left) of the line
// Re = at: all or none for a disk wholly on one side, its part's there for
// one that reaches across it.
std::optional<long> inside_of(determinant_samples& f, const root_cluster& c, double at, double inward) {
    if (!reaches_across(c, at)) return (c.z.real() - at) * inward > 0 ? c.multiplicity : 0;
    const auto parts = split_by(f, c, at);
    if (!parts) return std::nullopt;
    return (*parts)[inward > 0 ? 0 : 1].multiplicity;
}

// The zeros of the decided disks between the lines Re = left and Re =
// right; nothing when a disk's cannot be told.
std::optional<long> decided_between(determinant_samples& f, const std::vector<root_cluster>& decided, double left,
                                    double right) {
    long sum = 0;
    for (const root_cluster& c : decided) {
        const auto right_of_left = inside_of(f, c, left, +1), left_of_right = inside_of(f, c, right, -1);
        if (!right_of_left || !left_of_right) return std::nullopt;
        if (*right_of_left == c.multiplicity) sum += *left_of_right;
        else if (*left_of_right == c.multiplicity) sum += *right_of_left;
        else if (*right_of_left != 0 && *left_of_right != 0) return std::nullopt;  // across both lines
    }
    return sum;
}

// Each disk decided left of the line that reaches across the path at `left`
// replaced by its parts either side of the path, so that the count less the
// disks decided left is the zeros on or right of the line; false when the
// parts do not hold all its zeros.
bool split_at_path(determinant_samples& f, std::vector<root_cluster>& decided, double left) {
    std::vector<root_cluster> split;
    for (const root_cluster& c : decided) {
        if (!c.left_of_line || !reaches_across(c, left)) {
            split.push_back(c);
            continue;
        }
        const auto parts = split_by(f, c, left);
        if (!parts) return false;
        for (const root_cluster& part : *parts)
            if (part.multiplicity > 0) split.push_back(part);
    }
    decided = std::move(split);
    return true;
}

// The zeros between the path at `left` and the path right of the line at
// `right`, of which there are `in_strip`, that no decided disk holds;
// nothing when the disks' zeros cannot be told.
std::optional<long> missing_between(determinant_samples& f, std::vector<root_cluster>& decided, double left,
                                    double right, long in_strip) {
    if (!split_at_path(f, decided, left)) return std::nullopt;
    const auto known = decided_between(f, decided, left, right);
    if (!known) return std::nullopt;
    return in_strip - *known;
}

// Whether every zero in the strip between the path at counted.left and a
// path right of the line is in a decided disk. The strip's zeros are the
// difference of the two counts; those the paths passed near are decided
// already, those where a path was blocked are enclosed from there, and any
// still missing are sought in disks across the strip at each place a path
// came near a zero (a cluster whose closest zero alone drew the path's
// attention).
bool strip_decided(determinant_samples& f, zero_encloser& enclose, double r, double offset,
                   const path_region_at& region_at, const region_count& counted,
                   std::vector<root_cluster>& decided, path_marks& marks) {
    const region_count right = walk(f, enclose, r, offset, +1, region_at, decided, marks);
    if (right.state != region_count::outcome::counted) return false;
    const double left = counted.left, width = right.left - left;
    const long in_strip = counted.count - right.count;
    std::optional<long> missing = missing_between(f, decided, left, right.left, in_strip);
    const auto search = [&](const std::vector<std::complex<double>>& places, auto&& decide) {
        for (const std::complex<double>& at : places) {
            if (!missing || *missing <= 0 || f.budget().exhausted()) return;
            const std::size_t known = decided.size();
            decide(at);
            if (decided.size() != known) missing = missing_between(f, decided, left, right.left, in_strip);
        }
    };
    search(marks.blocked, [&](std::complex<double> at) { decide_near(enclose, at, r, decided); });
    const auto across = [&](std::complex<double> at) {
        decide_new(enclose, enclose.around({left + 0.5 * width, at.imag()}, width, 4 * width), r, decided);
    };
    search(marks.blocked, across);
    search(marks.passed, across);
    return missing == 0 && !f.budget().exhausted();
}

}  // namespace

double line_offset(double r) { return 1e-9 * std::max(1.0, std::abs(r)); }

region_count count_right_of_line(determinant_samples& f, zero_encloser& enclose, double r, double offset,
                                 const path_region_at& region_at, const std::vector<root_cluster>& known) {
    std::vector<root_cluster> decided;
    decide_new(enclose, known, r, decided);
    path_marks marks;
    region_count counted = walk(f, enclose, r, offset, -1, region_at, decided, marks);
    // A path moved left of where it started takes in the zeros of the strip
    // it skipped: each must be decided against the line like those it
    // passed near, or the count cannot say which of them are right of it.
    const bool moved = counted.left < r - offset;
    if (counted.state == region_count::outcome::counted && moved &&
        !strip_decided(f, enclose, r, offset, region_at, counted, decided, marks))
        counted.state = region_count::outcome::undecided;
    const bool split = std::any_of(decided.begin(), decided.end(), [](const root_cluster& c) { return c.undecided; });
    if (counted.state == region_count::outcome::counted && split) counted.state = region_count::outcome::undecided;
    counted.near_line = std::move(decided);
    return counted;
}

}  // namespace quorv
