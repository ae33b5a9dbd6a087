#include "roots/analysis/delay_margin.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "roots/count/root_count.h"
#include "roots/count/sparse_count.h"
#include "roots/crossing/crossing_matrix.h"
#include "roots/crossing/crossing_search.h"
#include "roots/crossing/sparse_crossing_matrix.h"
#include "roots/support/sparse_time_unit.h"
#include "roots/support/time_unit.h"
#include "roots/support/validate.h"
#include "roots/support/validate_sparse.h"

namespace quorv {

namespace {

// Evaluations of the crossing matrix the search may spend.
constexpr long search_evaluations = 200000;
// The counts that confirm a loss of stability lie this share of the
// crossing's delay, or of the system's own time unit when that is longer,
// before and after it: far enough that a root crossing at an ordinary
// speed is clear of the count's 1e-9 margin at the axis. A root that slow
// before the crossing is looked at once more, further before. Neither
// point passes halfway to the crossing before or after: the verdict there
// is that of the interval between the two.
constexpr double confirm_shares[] = {1e-6, 1e-4};
// Crossings examined before giving up: every one of them a touch that
// returns is a system built to defeat the search.
constexpr int most_crossings = 1000;

template <class model>
std::vector<std::size_t> checked_terms(const model& sys, const std::vector<long long>& terms) {
    if (terms.empty()) throw std::invalid_argument("delay_margin: no term given; k names the terms whose delay grows");
    std::vector<std::size_t> indices;
    for (const long long k : terms) {
        std::ostringstream message;
        if (k < 0 || static_cast<unsigned long long>(k) >= sys.mA()) {
            message << "delay_margin: term index " << k << " is out of range for a system of " << sys.mA()
                    << " terms (0 to " << sys.mA() - 1 << ")";
            throw std::invalid_argument(message.str());
        }
        if (std::find(indices.begin(), indices.end(), static_cast<std::size_t>(k)) != indices.end()) {
            message << "delay_margin: term index " << k << " is given twice";
            throw std::invalid_argument(message.str());
        }
        indices.push_back(static_cast<std::size_t>(k));
    }
    return indices;
}

// Whether sys with the growing delays longer by `added` has a root on or
// right of the axis, by the count is_stable decides by.
template <class model>
bool unstable_with(const model& sys, const std::vector<std::size_t>& growing, double added,
                   const interrupt_check& check) {
    model longer = sys;
    for (const std::size_t k : growing) longer.hA[k] += added;
    return !is_stable(longer, check);
}

// The delays, in the system's units, of the crossings around the one
// examined: the one before it (0 for the first) and the one after it (or
// the delay below which none lies, or +inf).
struct neighbours {
    double before, after;
};

// Whether stability is lost at the crossing delay d: stable just before,
// unstable just after. The system as given is stable.
template <class model>
bool loses_stability(const model& sys, const std::vector<std::size_t>& growing, double d, neighbours around,
                     double unit, const interrupt_check& check) {
    const auto offset = [&](double share) { return share * std::max(d, unit); };
    if (!unstable_with(sys, growing, std::min(d + offset(confirm_shares[0]), 0.5 * (d + around.after)), check))
        return false;
    for (const double share : confirm_shares) {
        const double before = std::max(d - offset(share), 0.5 * (around.before + d));
        if (before <= 0 || !unstable_with(sys, growing, before, check)) return true;
    }
    std::ostringstream message;
    message << "delay_margin: the count right of the axis finds roots just below the added delay " << d
            << ", where no crossing was found before";
    throw std::runtime_error(message.str());
}

std::unique_ptr<crossing_model> crossing_matrix_of(const quorv& sys, const std::vector<std::size_t>& growing) {
    return std::make_unique<crossing_matrix>(sys, growing);
}

std::unique_ptr<crossing_model> crossing_matrix_of(const sparse_quorv& sys, const std::vector<std::size_t>& growing) {
    return std::make_unique<sparse_crossing_matrix>(sys, growing);
}

// The same search and confirmation for both models: only Delta's
// evaluation, the count and the time unit differ.
template <class model>
margin_result margin_of(const model& sys, const std::vector<long long>& terms, const interrupt_check& check) {
    validate(sys);
    const std::vector<std::size_t> growing = checked_terms(sys, terms);
    constexpr double infinity = std::numeric_limits<double>::infinity();
    if (sys.n() == 0) return {infinity};
    if (!is_stable(sys, check)) return {0.0};
    // The crossing matrix at w = 0 is -sum_k A_k, whatever the delays: a
    // stable system has no root at 0, and no added delay brings one there.
    // The search runs on the balanced system in its own time unit, whose
    // matrices' norms reflect the dynamics rather than the units of the states.
    const auto own = in_own_time_unit(sys);
    work_budget budget{search_evaluations, check};
    const std::unique_ptr<crossing_model> Delta = crossing_matrix_of(own.sys, growing);
    crossing_search search(*Delta, budget);
    // Each crossing is judged with the next one known, which bounds the
    // interval after it.
    crossing_search::result found = search.next();
    double previous = 0;
    for (int examined = 0; examined < most_crossings; ++examined) {
        if (found.state == crossing_search::outcome::none) return {infinity};
        if (found.state == crossing_search::outcome::unresolved) return {found.bound * own.unit, false};
        const crossing_search::result following = search.next();
        const double d = found.at.delta * own.unit;
        const neighbours around{previous, following.bound * own.unit};
        if (loses_stability(sys, growing, d, around, own.unit, check)) return {d};
        previous = d;
        found = following;
    }
    std::ostringstream message;
    message << "delay_margin: " << most_crossings << " crossings of the axis were examined and none loses stability";
    throw std::runtime_error(message.str());
}

}  // namespace

margin_result delay_margin(const quorv& sys, const std::vector<long long>& terms, const interrupt_check& check) {
    return margin_of(sys, terms, check);
}

margin_result delay_margin(const sparse_quorv& sys, const std::vector<long long>& terms,
                           const interrupt_check& check) {
    return margin_of(sys, terms, check);
}

}  // namespace quorv
