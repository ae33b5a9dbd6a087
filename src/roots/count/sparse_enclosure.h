#pragma once

#include <complex>
#include <optional>
#include <vector>

#include "roots/count/determinant_samples.h"
#include "roots/count/enclosure.h"

namespace quorv {

// Certified disks around zeros of det Delta for a model whose Delta is only
// ever factored (the sparse one). A disk that holds one zero is plain:
// Newton's method on det Delta (the samples' newton_step) moves a point
// onto it, and the argument principle certifies the smallest disk around
// that point, from 1e-10 relative growing fourfold, that holds it alone. A
// disk that holds several zeros is resolved by the dense model's rules
// (disk_encloser): apart from their moments, by deflation or in a smaller
// disk around their mean, each in a disk of its own, unless Delta is
// singular at their mean to rounding, when they are one multiple root.
class sparse_encloser : public disk_encloser {
public:
    explicit sparse_encloser(determinant_samples& f) : disk_encloser(f) {}

    std::vector<root_cluster> around(std::complex<double> z, double least, double room) override;
    std::optional<std::complex<double>> refined(std::complex<double> start, double reach) override;

private:
    std::optional<std::complex<double>> polished(std::complex<double> start) override;
    root_cluster simple(std::complex<double> z, double radius, double room);
};

}  // namespace quorv
