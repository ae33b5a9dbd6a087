#include "model/sparse_quorv.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace quorv {

// Compressed storage throughout: the evaluations walk the columns' index
// arrays directly, and a matrix handed in uncompressed would hide gaps in them.
sparse_quorv::sparse_quorv(std::vector<matrix> A, std::vector<double> hA) : A(std::move(A)), hA(std::move(hA)) {
    for (matrix& a : this->A) a.makeCompressed();
}

std::size_t sparse_quorv::mA() const { return A.size(); }

Eigen::Index sparse_quorv::n() const { return A.empty() ? 0 : A.front().rows(); }

const sparse_quorv::matrix& sparse_quorv::Ak(std::size_t k) const {
    if (k >= A.size()) throw std::out_of_range("invalid vector subscript");
    return A[k];
}

double sparse_quorv::hk(std::size_t k) const {
    if (k >= hA.size()) throw std::out_of_range("invalid vector subscript");
    return hA[k];
}

Eigen::Index sparse_quorv::nonzeros() const {
    Eigen::Index count = 0;
    for (const matrix& a : A) count += a.nonZeros();
    return count;
}

double frobenius_norm(const sparse_quorv::matrix& a) {
    if (a.nonZeros() == 0) return 0;
    const double scale = a.coeffs().cwiseAbs().maxCoeff();
    if (scale == 0 || !std::isfinite(scale)) return scale;
    return scale * (a.coeffs() / scale).matrix().norm();
}

double largest_delay(const sparse_quorv& sys) {
    double h_max = 0;
    for (const double h : sys.hA) h_max = std::max(h_max, h);
    return h_max;
}

}  // namespace quorv
