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

// X z for the X of perturbation_bound, z and the result in B's column order.
Eigen::VectorXd bound_action(const lu_factors& f, const perturbation_action& D, const Eigen::VectorXd& z) {
    const int n = int(f.P.size());
    const double eps = std::numeric_limits<double>::epsilon() / 2;
    // Complex products and sums of n terms: gamma_{4n + 8} covers both the
    // elimination and the scaling of M by R.
    const double gamma = (4.0 * n + 8) * eps / (1 - (4.0 * n + 8) * eps);
    Eigen::VectorXd u_z = Eigen::VectorXd::Zero(n), y = Eigen::VectorXd::Zero(n), original(n);
    add_product(f.Up, f.Ui, f.Ux, f.Uz, z, 0, n, u_z);
    add_product(f.Lp, f.Li, f.Lx, f.Lz, u_z, 0, n, y);
    add_product(f.Fp, f.Fi, f.Fx, f.Fz, z, 0, n, y);
    y *= gamma;
    for (int l = 0; l < n; ++l) original[f.Q[index(l)]] = z[l];
    const Eigen::VectorXd b = D(original);
    for (int k = 0; k < n; ++k) y[k] += b[f.P[index(k)]] / f.R[index(k)];
    // Block back substitution: the last block first; each block's unknowns
    // then raise the right sides of the blocks before it through |F|.
    for (index block = f.blocks.size() - 1; block-- > 0;) {
        const int first = f.blocks[block], last = f.blocks[block + 1];
        comparison_solve(f.Lp, f.Li, f.Lx, f.Lz, true, first, last, y);
        comparison_solve(f.Up, f.Ui, f.Ux, f.Uz, false, first, last, y);
        add_product(f.Fp, f.Fi, f.Fx, f.Fz, y, first, last, y);
    }
    return y;
}

// Power steps after z = 1.
constexpr int radius_power_steps = 3;

}  // namespace

double perturbation_bound(const lu_factors& f, const perturbation_action& D) {
    Eigen::VectorXd z = Eigen::VectorXd::Ones(Eigen::Index(f.P.size()));
    double best = std::numeric_limits<double>::infinity();
    for (int step = 0; step <= radius_power_steps; ++step) {
        const Eigen::VectorXd xz = bound_action(f, D, z);
        const double bound = xz.cwiseQuotient(z).maxCoeff();
        if (!(bound < best)) break;
        best = bound;
        // Any z > 0 gives a bound: keep every entry of the next one positive.
        const double top = xz.maxCoeff();
        if (!(top > 0) || !std::isfinite(top)) break;
        z = xz.cwiseMax(1e-12 * top) / top;
    }
    return best;
}

}  // namespace quorv
