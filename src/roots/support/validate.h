#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/quorv.h"

namespace quorv {

// Refuses a model that the computation cannot read or that would turn the
// pencil into NaN, with a message that names the culprit:
// no matrices -> std::length_error("vector too long"),
// fewer delays than matrices -> std::out_of_range("invalid vector subscript"),
// a matrix that is not n-by-n, a non-finite entry, or a negative or
// non-finite delay -> std::invalid_argument.
void validate(const quorv& sys);

// The pieces every model's check shares, so that a dense and a sparse model
// are refused with the same words: the checks of the list lengths, of matrix
// k's shape against n-by-n, of the delays, and the message for a non-finite
// entry at (i, j).
void check_lengths(std::size_t matrices, std::size_t delays);
void check_shape(std::size_t k, Eigen::Index rows, Eigen::Index cols, Eigen::Index n);
void check_delays(const std::vector<double>& hA);
[[noreturn]] void refuse_entry(std::size_t k, Eigen::Index i, Eigen::Index j, double value);

}  // namespace quorv
