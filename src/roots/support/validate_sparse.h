#pragma once

#include "model/sparse_quorv.h"

namespace quorv {

// The checks of validate(const quorv&), with the same exceptions and
// messages, on a sparse model: only stored entries can be non-finite.
void validate(const sparse_quorv& sys);

}  // namespace quorv
