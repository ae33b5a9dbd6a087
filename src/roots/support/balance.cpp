#include "roots/support/balance.h"

#include "roots/support/strong_components.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

// LAPACK from the scipy-openblas32 wheel (see eigenvalues.cpp): the
// balancing of one general matrix.
extern "C" {
void scipy_dgebal_(const char* job, const std::int32_t* n, double* a, const std::int32_t* lda, std::int32_t* ilo,
                   std::int32_t* ihi, double* scale, std::int32_t* info, std::size_t job_length);
}

namespace quorv {

namespace {

// sum_k |A_k| entrywise. Only when the sum overflows is every term divided
// by a power of two near the largest entry, which may flush the smallest
// couplings to zero.
Eigen::MatrixXd magnitude_sum(const quorv& sys) {
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    for (const Eigen::MatrixXd& a : sys.A) sum += a.cwiseAbs();
    if (sum.allFinite()) return sum;
    double largest = 0;
    for (const Eigen::MatrixXd& a : sys.A) largest = std::max(largest, a.cwiseAbs().maxCoeff());
    int exponent = 0;
    std::frexp(largest, &exponent);
    const double down = std::ldexp(1.0, -exponent - 1) / double(sys.mA());
    sum.setZero();
    for (const Eigen::MatrixXd& a : sys.A) sum += a.cwiseAbs() * down;
    return sum;
}

// The exponents e_i of LAPACK's balancing of `sum` off its diagonal. The
// diagonal is left out: the similarity does not change it, and LAPACK stops
// scaling a row whose largest entry, the diagonal included, nears the ends
// of the double range (a stiff entry of 1e300 beside couplings of 1e-2 and
// 1e-323).
Eigen::VectorXd lapack_exponents(Eigen::MatrixXd sum) {
    sum.diagonal().setZero();
    const std::int32_t order = static_cast<std::int32_t>(sum.rows());
    Eigen::VectorXd scale(sum.rows());
    std::int32_t ilo = 0, ihi = 0, info = 0;
    // 'S': scaling only; a permutation would not change the roots either,
    // but it would reorder the states that a banded system's factorisation
    // relies on.
    const char job = 'S';
    scipy_dgebal_(&job, &order, sum.data(), &order, &ilo, &ihi, scale.data(), &info, 1);
    if (info != 0) throw std::logic_error("dgebal refused its argument " + std::to_string(-info));
    // LAPACK's factors are powers of two; the rounding only makes that a
    // guarantee, so that the similarity rounds nothing.
    return scale.array().log2().round();
}

// Balancing one matrix makes rows and columns alike only where states reach
// each other. Where they do not, the matrix is block triangular (a chain of
// modes, each driving the next), its couplings between blocks leave det Delta
// and so the roots unchanged, and LAPACK leaves a state alone whose row or
// column has no coupling: a state in kilometres driving one in millimetres
// keeps a coupling of 1e6, and with it norms, disks and margins 1e6 too
// wide. So each block of states that reach each other is balanced alone,
// and a block into which a coupling from the blocks it depends on exceeds a
// share of the smaller of the two blocks' own entries is scaled until none
// does. The smaller a coupling, the nearer the system is to its blocks
// apart: a coupling as large as the modes themselves would make a double
// root shared by two blocks look defective, and its zeros scatter by the
// square root of rounding. Couplings are never made larger. Empty when the
// exponents would leave the double range.
// About the square root of the precision: below it a coupling moves no
// root's enclosure, and the exponents stay far inside the double range.
constexpr double coupling_share = 0x1p-26;

Eigen::VectorXd block_exponents(const Eigen::MatrixXd& sum) {
    const Eigen::Index n = sum.rows();
    const std::vector<std::vector<Eigen::Index>> blocks = strong_components(sum);
    Eigen::VectorXd e = Eigen::VectorXd::Zero(n);
    std::vector<std::size_t> block_of(static_cast<std::size_t>(n));
    std::vector<double> size(blocks.size(), 0.0);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::vector<Eigen::Index>& states = blocks[b];
        const Eigen::MatrixXd own = sum(states, states);
        const Eigen::VectorXd inner = states.size() > 1 ? lapack_exponents(own) : Eigen::VectorXd::Zero(1);
        for (std::size_t k = 0; k < states.size(); ++k) {
            e[states[k]] = inner[Eigen::Index(k)];
            block_of[std::size_t(states[k])] = b;
        }
        for (Eigen::Index i = 0; i < own.rows(); ++i)
            for (Eigen::Index j = 0; j < own.rows(); ++j)
                size[b] = std::max(size[b], std::ldexp(own(i, j), int(inner[j] - inner[i])));
    }
    // Dependencies first: the blocks a block's couplings come from are
    // already scaled. An entry (i, j) becomes sum_ij 2^(e_j - e_i).
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        double shift = -std::numeric_limits<double>::infinity();
        for (const Eigen::Index i : blocks[b])
            for (Eigen::Index j = 0; j < n; ++j) {
                const std::size_t c = block_of[std::size_t(j)];
                if (c == b || sum(i, j) == 0) continue;
                double target = std::min(size[b], size[c]);
                if (!(target > 0)) target = std::max(size[b], size[c]);
                if (!(target > 0)) continue;
                target *= coupling_share;
                shift = std::max(shift, std::round(std::log2(sum(i, j) / target)) + e[j] - e[i]);
            }
        if (!(shift > 0) || !std::isfinite(shift)) continue;
        for (const Eigen::Index i : blocks[b]) e[i] += shift;
    }
    e.array() -= std::round(0.5 * (e.maxCoeff() + e.minCoeff()));
    if (e.cwiseAbs().maxCoeff() > 900) return {};
    return e;
}

}  // namespace

balanced_system balanced(const quorv& sys) {
    const Eigen::Index n = sys.n();
    balanced_system result{sys, Eigen::VectorXd::Ones(n)};
    if (n < 2) return result;
    if (n > std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
    const Eigen::MatrixXd sum = magnitude_sum(sys);
    Eigen::VectorXd e = block_exponents(sum);
    if (e.size() == 0) e = lapack_exponents(sum);
    if ((e.array() == 0.0).all()) return result;
    for (Eigen::Index i = 0; i < n; ++i) result.scale[i] = std::ldexp(1.0, int(e[i]));
    for (Eigen::MatrixXd& a : result.sys.A)
        for (Eigen::Index j = 0; j < n; ++j)
            for (Eigen::Index i = 0; i < n; ++i) a(i, j) = std::ldexp(a(i, j), int(e[j] - e[i]));
    return result;
}

}  // namespace quorv
