#include "roots/discretize.h"

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

// Refuses an order D whose D*D elements do not fit in a signed 32-bit count,
// before either matrix of the pencil asks for its memory.
void check_order(Index D) {
    constexpr Index max_elements = std::numeric_limits<std::int32_t>::max();
    if (D > 0 && max_elements / D < D) throw std::bad_alloc();
}

// The delay interval is [-h_max, 0]; delays beyond the matrices widen it too.
// An empty list gives -inf, but then the checked delay lookups refuse the model.
double largest_delay(const std::vector<double>& hA) {
    double h_max = -std::numeric_limits<double>::infinity();
    for (double h : hA) h_max = std::max(h_max, h);
    return h_max;
}

// Block (i, j) <- c I_n. Every entry is 1 or 0 times c, so a non-finite c
// (h_max = 0) spreads to the whole block rather than to its diagonal only.
void set_scaled_identity(MatrixXd& M, Index n, Index i, Index j, double c) {
    M.block(i * n, j * n, n, n) = c * MatrixXd::Identity(n, n);
}

// Block row 0 of M1: the boundary condition phi'(0) = sum_k A_k phi(-h_k).
// Delay h_k sits at x_k = 1 - 2 h_k / h_max, where coefficient c_j weighs
// T_j(x_k) = cos(j arccos x_k); block (0, j) accumulates sum_k T_j(x_k) A_k.
void add_boundary_row(const quorv& sys, int N, double h_max, MatrixXd& M1) {
    const Index n = sys.n();
    for (int j = 0; j <= N; ++j) {
        auto block = M1.block(0, j * n, n, n);
        for (std::size_t k = 0; k < sys.mA(); ++k) {
            const double h = sys.hk(k);
            const double x = 1.0 - (h + h) / h_max;
            const double w = std::cos(std::acos(x) * static_cast<double>(j));
            block = w * sys.Ak(k) + block;
        }
    }
}

// M2: row 0 pairs with lambda phi(0) = lambda sum_j c_j (T_j(1) = 1); rows
// i >= 1 are the Chebyshev integration relations c_i = (h_max/4) lambda
// (c_{i-1} - c_{i+1}) / i, with c_0 counted twice in row 1. The factor
// h_max/4 of the interval map is applied to the whole matrix last.
MatrixXd integration_matrix(Index n, int N, double h_max) {
    const Index D = n * (Index(N) + 1);
    MatrixXd M2 = MatrixXd::Zero(D, D);
    const double top = 4.0 / h_max;
    for (int i = 1; i <= N; ++i) {
        set_scaled_identity(M2, n, 0, i - 1, top);
        set_scaled_identity(M2, n, i, i - 1, 1.0 / i);
        if (i < N) set_scaled_identity(M2, n, i, i + 1, -1.0 / i);
    }
    set_scaled_identity(M2, n, 0, N, top);
    set_scaled_identity(M2, n, 1, 0, 2.0);
    M2 *= h_max * 0.25;
    return M2;
}

}  // namespace

std::pair<MatrixXd, MatrixXd> discretize(const quorv& sys, int N) {
    check_degree(N);
    const Index n = sys.n();
    const double h_max = largest_delay(sys.hA);
    const Index D = n * (Index(N) + 1);
    check_order(D);

    MatrixXd M1 = MatrixXd::Identity(D, D);
    M1.topLeftCorner(n, n).setZero();
    add_boundary_row(sys, N, h_max, M1);

    MatrixXd M2 = integration_matrix(n, N, h_max);
    return {std::move(M1), std::move(M2)};
}

}  // namespace quorv
