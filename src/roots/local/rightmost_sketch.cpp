#include "roots/local/rightmost_sketch.h"

#include <algorithm>
#include <cmath>

#include "roots/local/refinement.h"
#include "roots/pencil/candidates.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

constexpr int sketch_degree = 6;
constexpr std::size_t sketch_starts = 4;

}  // namespace

std::vector<cplx> rightmost_sketch(const quorv& own, const interrupt_check& check) {
    const Eigen::VectorXcd eigenvalues =
        largest_delay(own) == 0 ? undelayed_candidates(own, check) : pencil_candidates(own, sketch_degree, check);
    std::vector<cplx> starts;
    for (const cplx& z : eigenvalues)
        if (std::isfinite(z.real()) && z.imag() >= 0 && std::isfinite(z.imag())) starts.push_back(z);
    const std::size_t tried = std::min(starts.size(), sketch_starts);
    std::partial_sort(starts.begin(), starts.begin() + tried, starts.end(),
                      [](cplx a, cplx b) { return a.real() > b.real(); });
    std::vector<cplx> refined;
    refinement polish(own);
    for (std::size_t i = 0; i < tried; ++i) {
        check.poll();
        const auto root = polish.from(starts[i]);
        if (!root || !refinement::accepted(*root)) continue;
        refined.push_back(root->root);
        if (root->root.imag() != 0) refined.push_back(std::conj(root->root));
    }
    return refined;
}

}  // namespace quorv
