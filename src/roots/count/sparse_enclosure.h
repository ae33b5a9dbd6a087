#pragma once

#include <complex>
#include <optional>

#include "roots/count/determinant_samples.h"
#include "roots/count/enclosure.h"

namespace quorv {

// Certified disks around zeros of det Delta for a model whose Delta is only
// ever factored (the sparse one), by the same rules as the dense model's
// (disk_encloser): Newton's method on det Delta (the samples' newton_step)
// stands in for Newton's method on the eigenproblem.
class sparse_encloser : public disk_encloser {
public:
    explicit sparse_encloser(determinant_samples& f) : disk_encloser(f) {}

private:
    std::optional<std::complex<double>> polished(std::complex<double> start) override;
};

}  // namespace quorv
