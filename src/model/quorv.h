#pragma once

#include <cstddef>
#include <vector>

#include <Eigen/Dense>

namespace quorv {

// One linear time-delay system x'(t) = sum_k A[k] x(t - hA[k]).
// The model stores what it is given and checks nothing: the computation
// validates a model before it reads it.
class quorv {
public:
    std::vector<Eigen::MatrixXd> A;
    std::vector<double> hA;

    quorv(std::vector<Eigen::MatrixXd> A, std::vector<double> hA);

    std::size_t mA() const;
    // Row count of the first matrix; 0 for a model without matrices.
    Eigen::Index n() const;
    // Checked lookups; both throw std::out_of_range("invalid vector subscript").
    const Eigen::MatrixXd& Ak(std::size_t k) const;
    double hk(std::size_t k) const;
};

// The largest stored delay, 0 for none: the length of the delay interval
// [-h_max, 0] the system's history lives on. Delays stored beyond the last
// matrix widen it too.
double largest_delay(const quorv& sys);

}  // namespace quorv
