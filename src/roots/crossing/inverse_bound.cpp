#include "roots/crossing/inverse_bound.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace quorv {

namespace {

using index = std::size_t;

// |a + jb| for the split parts of an entry.
double modulus(const std::vector<double>& re, const std::vector<double>& im, int p) {
    return std::hypot(re[index(p)], im[index(p)]);
}

// y += |S| x over the columns [first, last) of the split compressed matrix S.
void add_product(const std::vector<int>& starts, const std::vector<int>& rows, const std::vector<double>& re,
                 const std::vector<double>& im, const Eigen::VectorXd& x, int first, int last, Eigen::VectorXd& y) {
    for (int j = first; j < last; ++j)
        for (int p = starts[index(j)]; p < starts[index(j) + 1]; ++p) y[rows[index(p)]] += modulus(re, im, p) * x[j];
}

// x <- M(T)^{-1} x on the columns [first, last) of the triangular T, lower
// or upper: each unknown is its right side over |t_jj| and then moves the
// right sides after it up by |t_ij| times itself.
void comparison_solve(const std::vector<int>& starts, const std::vector<int>& rows, const std::vector<double>& re,
                      const std::vector<double>& im, bool lower, int first, int last, Eigen::VectorXd& x) {
    for (int s = 0; s < last - first; ++s) {
        const int j = lower ? first + s : last - 1 - s;
        double pivot = 0;
        for (int p = starts[index(j)]; p < starts[index(j) + 1]; ++p)
            if (rows[index(p)] == j) pivot = modulus(re, im, p);
        x[j] /= pivot;
        for (int p = starts[index(j)]; p < starts[index(j) + 1]; ++p)
            if (rows[index(p)] != j) x[rows[index(p)]] += modulus(re, im, p) * x[j];
    }
}

}  // namespace

double perturbation_bound(const lu_factors& f, const Eigen::VectorXd& b) {
    const int n = int(f.P.size());
    const double eps = std::numeric_limits<double>::epsilon() / 2;
    // Complex products and sums of n terms: gamma_{4n + 8} covers both the
    // elimination and the scaling of M by R.
    const double gamma = (4.0 * n + 8) * eps / (1 - (4.0 * n + 8) * eps);
    const Eigen::VectorXd ones = Eigen::VectorXd::Ones(n);
    Eigen::VectorXd u_row_sums = Eigen::VectorXd::Zero(n), y = Eigen::VectorXd::Zero(n);
    add_product(f.Up, f.Ui, f.Ux, f.Uz, ones, 0, n, u_row_sums);
    add_product(f.Lp, f.Li, f.Lx, f.Lz, u_row_sums, 0, n, y);
    add_product(f.Fp, f.Fi, f.Fx, f.Fz, ones, 0, n, y);
    y *= gamma;
    for (int k = 0; k < n; ++k) y[k] += b[f.P[index(k)]] / f.R[index(f.P[index(k)])];
    // Block back substitution: the last block first; each block's unknowns
    // then raise the right sides of the blocks before it through |F|.
    for (index block = f.blocks.size() - 1; block-- > 0;) {
        const int first = f.blocks[block], last = f.blocks[block + 1];
        comparison_solve(f.Lp, f.Li, f.Lx, f.Lz, true, first, last, y);
        comparison_solve(f.Up, f.Ui, f.Ux, f.Uz, false, first, last, y);
        add_product(f.Fp, f.Fi, f.Fx, f.Fz, y, first, last, y);
    }
    return y.lpNorm<Eigen::Infinity>();
}

}  // namespace quorv
