#include "model/quorv.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace quorv {

namespace {

// The message users see for any lookup past the end of a list; the same on
// every platform, so it is thrown here rather than left to the library.
[[noreturn]] void invalid_subscript() {
    throw std::out_of_range("invalid vector subscript");
}

}  // namespace

quorv::quorv(std::vector<Eigen::MatrixXd> A, std::vector<double> hA)
    : A(std::move(A)), hA(std::move(hA)) {}

std::size_t quorv::mA() const { return A.size(); }

Eigen::Index quorv::n() const { return A.empty() ? 0 : A.front().rows(); }

const Eigen::MatrixXd& quorv::Ak(std::size_t k) const {
    if (k >= A.size()) invalid_subscript();
    return A[k];
}

double quorv::hk(std::size_t k) const {
    if (k >= hA.size()) invalid_subscript();
    return hA[k];
}

double largest_delay(const quorv& sys) {
    double h_max = 0;
    for (const double h : sys.hA) h_max = std::max(h_max, h);
    return h_max;
}

}  // namespace quorv
