#pragma once

#include <cstddef>
#include <vector>

#include <Eigen/SparseCore>

namespace quorv {

// A time-delay system x'(t) = sum_k A[k] x(t - hA[k]) whose matrices are
// stored compressed by columns, for orders (10^3 to 10^5) where a dense
// n-by-n matrix would not fit or would cost n^2 for what has a few nonzeros
// per row. Like the dense model it stores what it is given and checks
// nothing; the computation validates it before reading it.
class sparse_quorv {
public:
    using matrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

    std::vector<matrix> A;
    std::vector<double> hA;

    sparse_quorv(std::vector<matrix> A, std::vector<double> hA);

    std::size_t mA() const;
    // Row count of the first matrix; 0 for a model without matrices.
    Eigen::Index n() const;
    // Checked lookups; both throw std::out_of_range("invalid vector subscript").
    const matrix& Ak(std::size_t k) const;
    double hk(std::size_t k) const;
    // Stored nonzeros over all matrices: what the model costs in memory.
    Eigen::Index nonzeros() const;
};

// |a|_F, with the entries divided by the largest first so that their squares
// neither overflow nor underflow.
double frobenius_norm(const sparse_quorv::matrix& a);

// The largest stored delay, 0 for none.
double largest_delay(const sparse_quorv& sys);

}  // namespace quorv
