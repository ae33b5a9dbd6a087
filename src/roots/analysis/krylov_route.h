#pragma once

#include "model/quorv.h"
#include "model/sparse_quorv.h"

namespace quorv {

// Whether a dense model's rightmost roots come cheaper from the sparse
// Krylov route (a few sparse factorisations of Delta and a strip's count)
// than from the eigenvalues of the discretized pencil, of order n (N + 1):
// for orders of a hundred and more with a few nonzero entries per row (a
// chain or ring of units, a discretized 1-D field written densely), where
// the pencil's dense eigenvalues cost tens of seconds and a sparse
// factorisation of Delta well under a millisecond. When the Krylov search
// finds no root, the pencil route answers after all.
bool krylov_route_preferred(const quorv& sys);

// The same system with its matrices stored compressed (exact zeros dropped).
sparse_quorv sparse_copy(const quorv& sys);

}  // namespace quorv
