#include "roots/pencil/companion.h"

#include "roots/pencil/discretize.h"

namespace quorv {

// The pencil is M1 v = lambda M2 v with M2 = S (x) I_n and
//   M1 = [R_0 R_1 ... R_N]   (block row 0, the boundary condition)
//        [ 0  I            ]  (block rows 1..N: block (i, i) = I_n).
// S is invertible (its row 0 sums the coefficients, rows 1..N integrate), so
// the eigenvalues are those of C = M2^{-1} M1 = (G (x) I_n) M1 with
// G = S^{-1}, and block (i, j) of C is
//   sum_l G(i, l) M1(l, j) = G(i, 0) R_j + [j >= 1] G(i, j) I_n,
// because the only block of M1 in column j below row 0 is the identity in
// row j. Each block is one scaled copy of R_j plus a diagonal.
Eigen::MatrixXd companion(const quorv& sys, int N) {
    const Eigen::Index n = sys.n();
    const Eigen::Index blocks = Eigen::Index(N) + 1;
    check_order(n * blocks);
    const Eigen::MatrixXd R = boundary_row(sys, N);
    const Eigen::MatrixXd G = integration_scalars(sys, N).partialPivLu().inverse();
    Eigen::MatrixXd C(n * blocks, n * blocks);
    for (Eigen::Index j = 0; j < blocks; ++j)
        for (Eigen::Index i = 0; i < blocks; ++i) {
            auto block = C.block(i * n, j * n, n, n);
            block = G(i, 0) * R.middleCols(j * n, n);
            if (j > 0) block.diagonal().array() += G(i, j);
        }
    return C;
}

}  // namespace quorv
