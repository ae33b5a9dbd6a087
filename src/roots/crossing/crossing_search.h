#pragma once

#include <cstddef>
#include <queue>
#include <vector>

#include "roots/crossing/crossing_model.h"
#include "roots/support/work_budget.h"

namespace quorv {

// A point where a root sits on the imaginary axis, at jw, when the growing
// delays are longer by delta = (phi + 2 pi l) / w.
struct axis_crossing {
    double w = 0, phi = 0, delta = 0;
};

// The crossings of the imaginary axis in the order of their added delay.
// The zeros of Delta(w, phi) on [0, W] x [0, 2 pi] are sought by branch and
// bound. A cell is dropped only when Delta is provably nonsingular on all
// of it: Delta(p) = Delta(c) (I + Delta(c)^{-1} (Delta(p) - Delta(c))) for
// its centre c, and a bound on the second factor's perturbation stays
// below 1 (from dense inverses or from sparse factors: crossing_model).
// Other cells are halved, in the order of the smallest delay phi / w any of
// their points could give, and a zero is located by Newton's method once a
// cell is small. So when the cells left all give delays of at least d,
// every crossing with a smaller delay has been located: a crossing cannot
// be passed over; only its location is limited by the finest cell, whose
// extent moves Delta by 1e-9 of the size of its terms.
class crossing_search {
public:
    // Delta: of a validated system in its own time unit, dense or sparse,
    // which outlives the search; budget: evaluations of Delta the search may
    // spend.
    crossing_search(crossing_model& Delta, work_budget& budget);

    enum class outcome { crossing, none, unresolved };
    struct result {
        outcome state;
        axis_crossing at;    // the crossing, when there is one
        double bound = 0;    // the crossing's delay; unresolved: none lies below it; none: +inf
    };
    // The crossing with the next larger delay (each delay of each zero in
    // turn); none when there is no further one; unresolved when the budget
    // ran out first.
    result next();

private:
    struct cell {
        double w0, w1, phi0, phi1;
        // Whether Newton's method ran from this cell or one it came from:
        // it runs once per small cell, not again in each of its parts.
        bool newton_tried = false;
        double least_delay() const;
        bool operator<(const cell& other) const { return least_delay() > other.least_delay(); }
    };
    struct branch {
        double delta;
        std::size_t zero;
        bool operator<(const branch& other) const { return delta > other.delta; }
    };

    crossing_model& Delta;
    work_budget& budget;
    std::priority_queue<cell> cells;
    std::vector<axis_crossing> zeros;
    // Around each zero, the box in which it is the only one.
    std::vector<isolation_box> isolated;
    std::priority_queue<branch> branches;

    void examine(const cell& c);
    // Whether (w, phi) lies within reach of z, Delta's change between them bounded by it.
    bool near(const axis_crossing& z, double w, double phi, double reach) const;
    bool near_known_zero(double w, double phi, double reach) const;
    bool isolated_by_known_zero(const cell& c) const;
    bool locate(double w, double phi, axis_crossing& zero);
    void add_zero(axis_crossing zero);
};

}  // namespace quorv
