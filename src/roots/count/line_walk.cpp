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

}  // namespace

double line_offset(double r) { return 1e-9 * std::max(1.0, std::abs(r)); }

region_count count_right_of_line(determinant_samples& f, zero_encloser& enclose, double r, double offset,
                                 const path_region_at& region_at) {
    work_budget& budget = f.budget();
    region_count result;
    double left = r - offset;
    std::vector<root_cluster> decided;
    for (int attempt = 0, moves = 0; attempt <= contour_moves;) {
        const path_region at = region_at(left, offset);
        if (at.state == path_region::kind::unbounded) {
            result.state = region_count::outcome::unbounded;
            return result;
        }
        if (at.state == path_region::kind::empty)
            return {region_count::outcome::counted, 0, left, at.region, std::move(decided)};
        path_probe probe;
        probe.near = near_line * std::max(1.0, std::abs(r));
        const auto count = count_in_symmetric_rectangle(f, at.region, &probe, at.factor);
        if (!count) {
            if (budget.exhausted()) break;
            ++attempt;
            left -= 15 * offset;
            offset *= 16;
            continue;
        }
        decide_passes(enclose, probe, r, decided);
        const double leftmost = left_of_decided(decided, left);
        if (leftmost < left && moves < contour_moves) {
            ++moves;
            left = leftmost - line_offset(leftmost);
            continue;
        }
        if (budget.exhausted()) break;
        return {region_count::outcome::counted, *count, left, at.region, std::move(decided)};
    }
    return result;
}

}  // namespace quorv
