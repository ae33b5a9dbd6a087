#pragma once

#include "model/quorv.h"

namespace quorv {

// Refuses a model that the computation cannot read or that would turn the
// pencil into NaN, with a message that names the culprit:
// no matrices -> std::length_error("vector too long"),
// fewer delays than matrices -> std::out_of_range("invalid vector subscript"),
// a matrix that is not n-by-n, a non-finite entry, or a negative or
// non-finite delay -> std::invalid_argument.
void validate(const quorv& sys);

}  // namespace quorv
