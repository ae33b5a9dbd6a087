#include "roots/support/balance.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

// LAPACK from the scipy-openblas32 wheel (see eigenvalues.cpp): the
// balancing of one general matrix.
extern "C" {
void scipy_dgebal_(const char* job, const std::int32_t* n, double* a, const std::int32_t* lda, std::int32_t* ilo,
                   std::int32_t* ihi, double* scale, std::int32_t* info, std::size_t job_length);
}

namespace quorv {

namespace {

// sum_k |A_k| off the diagonal, entrywise. The diagonal is left out: the
// similarity does not change it, and LAPACK stops scaling a row whose
// largest entry, the diagonal included, nears the ends of the double range
// (a stiff entry of 1e300 beside couplings of 1e-2 and 1e-323). Only when
// the sum overflows is every term divided by a power of two near the
// largest entry, which may flush the smallest couplings to zero.
Eigen::MatrixXd magnitude_sum(const quorv& sys) {
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    for (const Eigen::MatrixXd& a : sys.A) sum += a.cwiseAbs();
    sum.diagonal().setZero();
    if (sum.allFinite()) return sum;
    double largest = 0;
    for (const Eigen::MatrixXd& a : sys.A) largest = std::max(largest, a.cwiseAbs().maxCoeff());
    int exponent = 0;
    std::frexp(largest, &exponent);
    const double down = std::ldexp(1.0, -exponent - 1) / double(sys.mA());
    sum.setZero();
    for (const Eigen::MatrixXd& a : sys.A) sum += a.cwiseAbs() * down;
    sum.diagonal().setZero();
    return sum;
}

}  // namespace

balanced_system balanced(const quorv& sys) {
    const Eigen::Index n = sys.n();
    balanced_system result{sys, Eigen::VectorXd::Ones(n)};
    if (n < 2) return result;
    if (n > std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
    Eigen::MatrixXd sum = magnitude_sum(sys);
    const std::int32_t order = static_cast<std::int32_t>(n);
    std::int32_t ilo = 0, ihi = 0, info = 0;
    // 'S': scaling only; a permutation would not change the roots either,
    // but it would reorder the states that a banded system's factorisation
    // relies on.
    const char job = 'S';
    scipy_dgebal_(&job, &order, sum.data(), &order, &ilo, &ihi, result.scale.data(), &info, 1);
    if (info != 0) throw std::logic_error("dgebal refused its argument " + std::to_string(-info));
    // LAPACK's factors are powers of two; the rounding to one below only
    // makes that a guarantee, so that the similarity rounds nothing.
    for (double& d : result.scale) d = std::exp2(std::round(std::log2(d)));
    if ((result.scale.array() == 1.0).all()) return result;
    const Eigen::ArrayXd d = result.scale.array();
    for (Eigen::MatrixXd& a : result.sys.A)
        a = (a.array().colwise() / d).rowwise() * d.transpose();
    return result;
}

}  // namespace quorv
