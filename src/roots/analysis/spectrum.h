#pragma once

#include <cstdint>
#include <string>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/support/interrupt.h"

namespace quorv {

// The distinct characteristic roots right of a line, each once with its
// multiplicity, and how they compare with the count of the argument
// principle.
struct spectrum_result {
    // Sorted by real part, descending, then by imaginary part, ascending;
    // conjugate pairs are exact conjugates.
    Eigen::VectorXcd roots;
    Eigen::Matrix<std::int64_t, Eigen::Dynamic, 1> multiplicities;
    // The certified bound on each root's error: the disk of this radius
    // around it holds exactly its multiplicity of zeros; 0 where no such
    // disk was found.
    Eigen::VectorXd radii;
    // The roots with Re >= r, with multiplicity, by the argument principle.
    long count = 0;
    // Whether every root is certified: the disks are disjoint, none crosses
    // the line, and the multiplicities add up to the count.
    bool complete = true;
    // The discretization degree of the pencil; 0 when none was formed.
    int degree = 0;
};

// The distinct roots with Re >= r. Roots within the count's margin left of
// the line (1e-9 max(1, |r|) in the system's own time unit, or in that of
// the diagonal block that holds them, see block_searches), or whose disk
// meets it, are counted, and listed, as on it.
// Validates sys as roots does; throws std::invalid_argument for a NaN r and
// the errors of count_roots when the count is impossible. check is polled as
// roots polls it.
spectrum_result spectrum(const quorv& sys, double r, const interrupt_check& check = {});

// A short table of the roots with their multiplicities, and the count.
std::string describe(const spectrum_result& s);

}  // namespace quorv
