#include "roots/pencil/discretize.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorv {

namespace {

using Eigen::Index;
using Eigen::MatrixXd;

// Block row 1 carries the 2 I_n of c_0, so the pencil needs degree 1 at
// least; a smaller N would write that block outside the matrix.
void check_degree(int N) {
    if (N < 1)
        throw std::invalid_argument("the discretization degree must be at least 1, not " +
                                    std::to_string(N));
}

}  // namespace

// Refuses an order D whose D*D elements do not fit in a signed 32-bit count,
// before any matrix of that order asks for its memory: Eigen on a 32-bit
// target and LAPACK with 32-bit integers both index the elements that way.
void check_order(Index D) {
    constexpr Index max_elements = std::numeric_limits<std::int32_t>::max();
    if (D > 0 && max_elements / D < D) throw std::bad_alloc();
}

// Delay h_k sits at x_k = 1 - 2 h_k / h_max, where coefficient c_j weighs
// T_j(x_k) = cos(j arccos x_k); block j accumulates sum_k T_j(x_k) A_k.
MatrixXd boundary_row(const quorv& sys, int N) {
    const Index n = sys.n();
    const double h_max = largest_delay(sys);
    MatrixXd R = MatrixXd::Zero(n, n * (Index(N) + 1));
    for (int j = 0; j <= N; ++j) {
        auto block = R.middleCols(j * n, n);
        for (std::size_t k = 0; k < sys.mA(); ++k) {
            const double h = sys.hk(k);
            const double x = 1.0 - (h + h) / h_max;
            const double w = std::cos(std::acos(x) * static_cast<double>(j));
            block = w * sys.Ak(k) + block;
        }
    }
    return R;
}

// Row 0 pairs with lambda phi(0) = lambda sum_j c_j (T_j(1) = 1); rows
// i >= 1 are the Chebyshev integration relations c_i = (h_max/4) lambda
// (c_{i-1} - c_{i+1}) / i, with c_0 counted twice in row 1. The factor
// h_max/4 of the interval map is applied to the whole matrix last.
MatrixXd integration_scalars(const quorv& sys, int N) {
    check_degree(N);
    const double h_max = largest_delay(sys);
    MatrixXd S = MatrixXd::Zero(Index(N) + 1, Index(N) + 1);
    const double top = 4.0 / h_max;
    for (int i = 1; i <= N; ++i) {
        S(0, i - 1) = top;
        S(i, i - 1) = 1.0 / i;
        if (i < N) S(i, i + 1) = -1.0 / i;
    }
    S(0, N) = top;
    S(1, 0) = 2.0;
    S *= h_max * 0.25;
    return S;
}

std::pair<MatrixXd, MatrixXd> discretize(const quorv& sys, int N) {
    check_degree(N);
    const Index n = sys.n();
    const Index D = n * (Index(N) + 1);
    check_order(D);

    MatrixXd M1 = MatrixXd::Identity(D, D);
    M1.topRows(n) = boundary_row(sys, N);

    // M2 = S (x) I_n. Every entry is 1 or 0 times S(i, j), so a non-finite
    // S(i, j) (h_max = 0) spreads to its whole block rather than its diagonal.
    const MatrixXd S = integration_scalars(sys, N);
    MatrixXd M2(D, D);
    for (Index j = 0; j <= N; ++j)
        for (Index i = 0; i <= N; ++i)
            M2.block(i * n, j * n, n, n) = S(i, j) * MatrixXd::Identity(n, n);
    return {std::move(M1), std::move(M2)};
}

}  // namespace quorv
