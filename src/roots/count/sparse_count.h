#pragma once

#include "model/sparse_quorv.h"
#include "roots/count/determinant_samples.h"
#include "roots/count/root_count.h"
#include "roots/support/interrupt.h"
#include "roots/support/work_budget.h"

namespace quorv {

// The count of the roots with Re >= r of a sparse model, by the same
// argument-principle walk as for the dense model, on the same kind of
// region (its box from root_box(const sparse_quorv&, r)), with det Delta
// from sparse LU factorisations. In the model's own units.
region_count count_region(const sparse_quorv& sys, double r, work_budget& budget);
// The same for a model already in its own time unit, with its evaluations;
// `known` are certified disks around zeros found before (see line_walk.h).
region_count count_in_own_unit(const sparse_quorv& sys, double r, determinant_samples& f,
                               const std::vector<root_cluster>& known = {});

// As count_roots and is_stable for the dense model, with the same errors
// and messages; check is polled at every factorisation.
long count_roots(const sparse_quorv& sys, double r, const interrupt_check& check = {});
bool is_stable(const sparse_quorv& sys, const interrupt_check& check = {});

}  // namespace quorv
