#include "roots/support/validate_sparse.h"

#include <cmath>

#include "roots/support/validate.h"

namespace quorv {

void validate(const sparse_quorv& sys) {
    check_lengths(sys.mA(), sys.hA.size());
    for (std::size_t k = 0; k < sys.mA(); ++k) check_shape(k, sys.A[k].rows(), sys.A[k].cols(), sys.n());
    // Stored entries in column order, as the dense check meets them, so both
    // models name the same first culprit; only stored entries can be non-finite.
    for (std::size_t k = 0; k < sys.mA(); ++k)
        for (Eigen::Index j = 0; j < sys.A[k].outerSize(); ++j)
            for (sparse_quorv::matrix::InnerIterator it(sys.A[k], j); it; ++it)
                if (!std::isfinite(it.value())) refuse_entry(k, it.row(), it.col(), it.value());
    check_delays(sys.hA);
}

}  // namespace quorv
