#include "roots/count/banded_determinant.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quorv {

banded_determinant::banded_determinant(const quorv& sys, const std::vector<Eigen::Index>& order, band bw)
    : n(sys.n()), kl(bw.lower), ku(bw.upper), U(2 * bw.lower + bw.upper + 1, sys.n()),
      dU(2 * bw.lower + bw.upper + 1, sys.n()) {
    std::vector<Eigen::Index> position(static_cast<std::size_t>(n));
    for (Eigen::Index p = 0; p < n; ++p) position[std::size_t(order.empty() ? p : order[std::size_t(p)])] = p;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const Eigen::MatrixXd& a = sys.Ak(k);
        std::vector<coupling> nonzeros;
        for (Eigen::Index j = 0; j < n; ++j)
            for (Eigen::Index i = 0; i < n; ++i)
                if (a(i, j) != 0.0) nonzeros.push_back({position[std::size_t(i)], position[std::size_t(j)], a(i, j)});
        terms.push_back(std::move(nonzeros));
        delays.push_back(sys.hk(k));
    }
}

// Delta = lambda I - sum_k e^{-lambda h_k} A_k, Delta' = I + sum_k h_k e^{-lambda h_k} A_k.
void banded_determinant::form(std::complex<double> lambda) {
    U.setZero();
    dU.setZero();
    U.row(kl + ku).setConstant(lambda);
    dU.row(kl + ku).setConstant(1.0);
    for (std::size_t k = 0; k < terms.size(); ++k) {
        const double h = delays[k];
        const std::complex<double> e = std::exp(std::complex<double>(-lambda.real() * h, -lambda.imag() * h));
        for (const coupling& c : terms[k]) {
            at(U, c.i, c.j) -= e * c.a;
            at(dU, c.i, c.j) += h * e * c.a;
        }
    }
}

// Row k, after its interchange, reaches at most kl + ku columns right of the
// diagonal; rows k + 1 ... k + kl lose their entries in column k, and their
// derivatives follow by the product rule: with l = u_ik / u_kk,
// l' = (u'_ik - l u'_kk) / u_kk and (u_ij - l u_kj)' = u'_ij - l' u_kj - l u'_kj.
void banded_determinant::eliminate_below(Eigen::Index k) {
    const Eigen::Index last_row = std::min(n - 1, k + kl), last_col = std::min(n - 1, k + kl + ku);
    const std::complex<double> pivot = at(U, k, k), dpivot = at(dU, k, k);
    for (Eigen::Index i = k + 1; i <= last_row; ++i) {
        const std::complex<double> l = at(U, i, k) / pivot;
        const std::complex<double> dl = (at(dU, i, k) - l * dpivot) / pivot;
        if (l == 0.0 && dl == 0.0) continue;
        for (Eigen::Index j = k + 1; j <= last_col; ++j) {
            at(dU, i, j) -= dl * at(U, k, j) + l * at(dU, k, j);
            at(U, i, j) -= l * at(U, k, j);
        }
    }
}

bool banded_determinant::sample(std::complex<double> lambda, double& phase, std::complex<double>& g,
                                double& inverse_norm) {
    form(lambda);
    if (!U.allFinite() || !dU.allFinite()) return false;
    phase = 0;
    g = 0;
    double smallest_pivot = std::numeric_limits<double>::infinity();
    for (Eigen::Index k = 0; k < n; ++k) {
        // Partial pivoting: the largest entry of column k on or below the
        // diagonal; each interchange flips the sign of the determinant.
        Eigen::Index p = k;
        for (Eigen::Index i = k + 1; i <= std::min(n - 1, k + kl); ++i)
            if (std::abs(at(U, i, k)) > std::abs(at(U, p, k))) p = i;
        if (at(U, p, k) == 0.0) return false;
        if (p != k) {
            phase += std::numbers::pi;
            for (Eigen::Index j = k; j <= std::min(n - 1, k + kl + ku); ++j) {
                std::swap(at(U, p, j), at(U, k, j));
                std::swap(at(dU, p, j), at(dU, k, j));
            }
        }
        eliminate_below(k);
        phase += std::arg(at(U, k, k));
        g += at(dU, k, k) / at(U, k, k);
        smallest_pivot = std::min(smallest_pivot, std::abs(at(U, k, k)));
    }
    inverse_norm = 1 / smallest_pivot;
    return std::isfinite(g.real()) && std::isfinite(g.imag());
}

}  // namespace quorv
