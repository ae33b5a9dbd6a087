#include "roots/support/balance.h"

#include <cmath>

namespace quorv {

namespace {

// Sweeps of the balancing; each scales a row and column by a power of two
// only where that lowers their combined norm by 5 %, so it ends long
// before this in practice.
constexpr int most_sweeps = 100;

}  // namespace

quorv balanced(const quorv& sys) {
    quorv result = sys;
    const Eigen::Index n = sys.n();
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(n, n);
    for (const Eigen::MatrixXd& a : sys.A) sum += a.cwiseAbs();
    Eigen::VectorXd scale = Eigen::VectorXd::Ones(n);
    bool changed = true;
    for (int sweep = 0; sweep < most_sweeps && changed; ++sweep) {
        changed = false;
        for (Eigen::Index i = 0; i < n; ++i) {
            double column = sum.col(i).sum() - sum(i, i), row = sum.row(i).sum() - sum(i, i);
            if (column == 0 || row == 0 || !std::isfinite(column + row)) continue;
            const double before = column + row;
            double f = 1;
            while (column < 0.5 * row) f *= 2, column *= 4;
            while (column >= 2 * row) f /= 2, column /= 4;
            if ((column + row) / f >= 0.95 * before) continue;
            // D^{-1} S D: row i divided by f, column i multiplied by it.
            sum.row(i) /= f;
            sum.col(i) *= f;
            scale(i) *= f;
            changed = true;
        }
    }
    for (Eigen::MatrixXd& a : result.A) a = scale.cwiseInverse().asDiagonal() * a * scale.asDiagonal();
    return result;
}

}  // namespace quorv
