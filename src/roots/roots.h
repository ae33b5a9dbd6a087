#pragma once

#include <complex>
#include <optional>
#include <vector>

#include "model/quorv.h"
#include "roots/support/interrupt.h"
#include "roots/complete/completion.h"
#include "roots/complete/multiple_root.h"
#include "roots/count/root_count.h"

namespace quorv {

// Wall time of the stages of one search, in seconds: the degree estimate,
// pencil and refinement; the count; the grouping of the pencil's roots and
// the completion.
struct stage_seconds {
    double global = 0;
    // The global stage's parts: the degree estimate, the pencil's
    // eigenvalues, the Newton refinement of its candidates.
    double estimate = 0;
    double pencil = 0;
    double refinement = 0;
    double count = 0;
    double completion = 0;
    // The part of the completion that encloses the pencil's roots in
    // certified disks.
    double enclosure = 0;
};

// What a roots call could say about the completeness of its result.
struct roots_report {
    enum class completeness {
        confirmed,    // as many roots as the count says (or none can exist)
        incomplete,   // counted, but not all of them located within the budget
        uncertified,  // counted and located, but not every root enclosed in a
                      // disk of its own that the count confirms
    };
    completeness state = completeness::confirmed;
    // Roots with Re >= r counted and found, each with its multiplicity.
    long counted = 0;
    long found = 0;
    // The discretization degree the estimate asked for and the one used.
    int degree_needed = 0;
    int degree_used = 0;
    stage_seconds seconds;
};

// One pass of the computation right of r: the pencil's refined candidates,
// the count of the roots with Re >= r and, when it resolved, the distinct
// roots in the counted region with their multiplicities. For a validated
// system of order n >= 1 and a finite r at most root_bound(sys, r).
struct root_search {
    // Every candidate that refined to a small residual, wherever it lies, in
    // candidate order; and those on or right of the counted region's left side.
    std::vector<std::complex<double>> refined;
    std::vector<std::complex<double>> right_of_left;
    region_count region;
    // right_of_left grouped into distinct roots; `known` holds those
    // clusters (multiplicity 0 for one absorbed into a multiple root), then
    // the roots the completion added.
    clustered_roots pencil;
    std::vector<root_cluster> known;
    completion_outcome added;
    // Whether every root in the region is accounted for: the certified
    // disks of `known` are disjoint, none crosses the region's left side,
    // and the multiplicities of those inside add up to the count.
    bool certified = false;
    int degree_needed = 0;
    int degree_used = 0;
    stage_seconds seconds;
};
root_search search_roots(const quorv& sys, double r, const interrupt_check& check = {});

// The searches of sys's diagonal blocks (see diagonal_blocks.h), whose
// roots together are sys's: a block with no room for roots right of r
// (r beyond its root bound) counts none. Nothing when sys is one block, or
// when two blocks are the same or disks of two blocks meet: a root shared
// by two blocks is one multiple root, which sys's own search encloses.
std::optional<std::vector<root_search>> block_searches(const quorv& sys, double r,
                                                       const interrupt_check& check = {});

// Every characteristic root lambda of sys with Re lambda >= r, each
// distinct root as often as its multiplicity, at the centre of the disk
// that encloses it: first those the pencil's candidates reached, in the
// order of the first candidate that reached each, then those the
// completion located, in the order found; for a system whose diagonal
// blocks hold no common root (block_searches), block after block. Roots
// within the count's margin left of r, or whose disk meets the line, count
// as on it and are listed.
// check is polled between the stages, between the configurations of the
// degree estimate, between the candidates of the refinement and at every
// evaluation of the count and the completion; when it asks to stop,
// interrupted is thrown and nothing of the call remains. Allocation
// failures name the stage that did not fit.
std::vector<std::complex<double>> roots(const quorv& sys, double r, const interrupt_check& check = {});
std::vector<std::complex<double>> roots(const quorv& sys, double r, roots_report& report,
                                        const interrupt_check& check = {});

}  // namespace quorv
