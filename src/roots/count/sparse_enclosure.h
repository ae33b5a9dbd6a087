#pragma once

#include <complex>
#include <optional>
#include <vector>

#include "roots/count/determinant_samples.h"
#include "roots/count/zero_encloser.h"

namespace quorv {

// Certified disks around zeros of det Delta for a model whose Delta is only
// ever factored (the sparse one): Newton's method on det Delta (the
// samples' newton_step) moves a point onto a simple zero, and the
// argument principle certifies the smallest disk around it, from 1e-10
// relative growing fourfold, that holds exactly one zero. A disk that holds
// several zeros is returned as one cluster of that multiplicity; the
// line's decision separates its zeros by their moments where it must.
class sparse_encloser : public zero_encloser {
public:
    explicit sparse_encloser(determinant_samples& f) : f(f) {}

    std::vector<root_cluster> around(std::complex<double> z, double least, double room) override;
    std::optional<std::complex<double>> refined(std::complex<double> start, double reach) override;
    determinant_samples& samples() override { return f; }

private:
    determinant_samples& f;

    root_cluster simple(std::complex<double> z, double radius, double room);
};

}  // namespace quorv
