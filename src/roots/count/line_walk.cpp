#include "roots/count/line_walk.h"

#include <algorithm>
#include <cmath>
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
        const auto count = count_in_symmetric_rectangle(f, region.region, &probe);
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

// The zeros of the decided disks that lie wholly between the lines Re = left
// and Re = right.
long decided_between(const std::vector<root_cluster>& decided, double left, double right) {
    long sum = 0;
    for (const root_cluster& c : decided)
        if (c.z.real() - c.radius >= left && c.z.real() + c.radius < right) sum += c.multiplicity;
    return sum;
}

// Whether every zero in the strip between the path at counted.left and a
// path right of the line is enclosed in a decided disk. The strip's zeros
// are the difference of the two counts; those the paths passed near are
// decided already, those where a path was blocked are enclosed from there,
// and any still missing are sought in disks across the strip at each place
// a path came near a zero (a cluster whose closest zero alone drew the
// path's attention).
bool strip_decided(determinant_samples& f, zero_encloser& enclose, double r, double offset,
                   const path_region_at& region_at, const region_count& counted,
                   std::vector<root_cluster>& decided, path_marks& marks) {
    const region_count right = walk(f, enclose, r, offset, +1, region_at, decided, marks);
    if (right.state != region_count::outcome::counted) return false;
    const long in_strip = counted.count - right.count;
    const auto missing = [&] { return in_strip - decided_between(decided, counted.left, right.left); };
    for (const std::complex<double>& at : marks.blocked)
        if (missing() > 0) decide_near(enclose, at, r, decided);
    const double width = right.left - counted.left;
    const double middle = counted.left + 0.5 * width;
    for (const auto* places : {&marks.blocked, &marks.passed})
        for (const std::complex<double>& at : *places)
            if (missing() > 0) decide_new(enclose, enclose.around({middle, at.imag()}, width, 4 * width), r, decided);
    return missing() == 0 && !f.budget().exhausted();
}

}  // namespace

double line_offset(double r) { return 1e-9 * std::max(1.0, std::abs(r)); }

region_count count_right_of_line(determinant_samples& f, zero_encloser& enclose, double r, double offset,
                                 const path_region_at& region_at) {
    std::vector<root_cluster> decided;
    path_marks marks;
    region_count counted = walk(f, enclose, r, offset, -1, region_at, decided, marks);
    // A path moved left of where it started takes in the zeros of the strip
    // it skipped: each must be decided against the line like those it
    // passed near, or the count cannot say which of them are right of it.
    const bool moved = counted.left < r - offset;
    if (counted.state == region_count::outcome::counted && moved &&
        !strip_decided(f, enclose, r, offset, region_at, counted, decided, marks))
        counted.state = region_count::outcome::undecided;
    counted.near_line = std::move(decided);
    return counted;
}

}  // namespace quorv
