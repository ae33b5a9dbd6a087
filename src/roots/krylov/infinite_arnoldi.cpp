#include "roots/krylov/infinite_arnoldi.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Eigenvalues>

namespace quorv {

namespace {

using cplx = std::complex<double>;
using Eigen::MatrixXcd;
using Eigen::VectorXcd;

// Ritz values are checked every this many steps: a small dense eigenvalue
// problem each time.
constexpr int check_every = 5;
// A new y_1 whose part outside span Z is below this share of it adds no
// direction to Z (the span is invariant to rounding).
constexpr double no_new_direction = 1e-13;

// A fixed start with no structure of its own, so that it is not orthogonal
// to an eigenvector.
VectorXcd start_vector(Eigen::Index n) {
    VectorXcd v = VectorXcd::NullaryExpr(n, [](Eigen::Index i) { return std::polar(1.0, 0.9 * double(i) + 0.3); });
    return v / v.norm();
}

// Frobenius inner product <a, b> = sum conj(a_ij) b_ij.
cplx inner(const MatrixXcd& a, const MatrixXcd& b) { return (a.array().conjugate() * b.array()).sum(); }

class arnoldi {
public:
    arnoldi(const sparse_quorv& sys, characteristic_lu& lu, cplx shift, int most_steps)
        : sys(sys), lu(lu), shift(shift), size(most_steps + 1), Z(sys.n(), size), H(MatrixXcd::Zero(size, size - 1)) {
        for (std::size_t k = 0; k < sys.mA(); ++k) damping.push_back(std::exp(-shift * sys.hk(k)));
        Z.col(0) = start_vector(sys.n());
        MatrixXcd first = MatrixXcd::Zero(size, size);
        first(0, 0) = 1;
        basis.push_back(std::move(first));
    }

    // One Arnoldi step from the last basis vector; false on breakdown
    // (the Krylov space is invariant: its Ritz values are exact).
    bool step() {
        const int j = int(basis.size()) - 1;
        MatrixXcd y = MatrixXcd::Zero(size, size);
        for (int i = 0; i <= j; ++i) y.col(i + 1) = basis.back().col(i) / double(i + 1);
        y.col(0).head(p) = first_block(y, j);
        extend_z(y);
        for (int pass = 0; pass < 2; ++pass)
            for (int l = 0; l <= j; ++l) {
                const cplx h = inner(basis[std::size_t(l)], y);
                H(l, j) += h;
                y -= h * basis[std::size_t(l)];
            }
        const double norm = y.norm();
        H(j + 1, j) = norm;
        if (!(norm > 0) || !std::isfinite(norm)) return false;
        basis.push_back(y / norm);
        return true;
    }

    int steps() const { return int(basis.size()) - 1; }

    // The Ritz values of the steps so far, nearest the shift first.
    std::vector<ritz_value> ritz() const {
        const int m = steps();
        Eigen::ComplexEigenSolver<MatrixXcd> solver(H.topLeftCorner(m, m));
        std::vector<ritz_value> values;
        for (int i = 0; i < m; ++i) {
            const cplx mu = solver.eigenvalues()[i];
            if (mu == cplx(0)) continue;
            const VectorXcd z = solver.eigenvectors().col(i).normalized();
            const double estimate = std::abs(H(m, m - 1)) * std::abs(z[m - 1]) / std::abs(mu);
            values.push_back({shift + 1.0 / mu, std::isfinite(estimate) ? estimate : HUGE_VAL});
        }
        std::sort(values.begin(), values.end(), [this](const ritz_value& a, const ritz_value& b) {
            return std::abs(a.lambda - shift) < std::abs(b.lambda - shift);
        });
        return values;
    }

private:
    const sparse_quorv& sys;
    characteristic_lu& lu;
    cplx shift;
    int size;
    MatrixXcd Z;  // orthonormal columns 0 .. p-1
    int p = 1;
    MatrixXcd H;
    std::vector<cplx> damping;
    // Each basis vector's blocks as columns of coefficients on Z.
    std::vector<MatrixXcd> basis;

    // y_1 = -Delta(shift)^{-1} sum_{i>=1} M^(i)(0) y_{i+1}, where
    // M'(0) = I + sum_k h_k e^{-shift h_k} A_k and, for i >= 2,
    // M^(i)(0) = -sum_k (-h_k)^i e^{-shift h_k} A_k: the sum is
    // y_2 - sum_k e^{-shift h_k} A_k Z c_k with c_k = sum_i (-h_k)^i y_{i+1}
    // (undelayed terms drop out), returned as coefficients on Z plus the
    // new direction left in `rest`.
    VectorXcd first_block(const MatrixXcd& y, int j) {
        VectorXcd w = Z.leftCols(p) * y.col(1).head(p);
        for (std::size_t k = 0; k < sys.mA(); ++k) {
            const double h = sys.hk(k);
            if (h == 0) continue;
            VectorXcd c = VectorXcd::Zero(p);
            double power = 1;
            for (int i = 1; i <= j + 1; ++i) power *= -h, c += power * y.col(i).head(p);
            const VectorXcd zc = Z.leftCols(p) * c;
            w -= damping[k] * (sys.A[k] * zc);
        }
        rest = -w;
        lu.solve(rest);
        // Classical Gram-Schmidt, twice: orthogonal to Z to rounding.
        VectorXcd t = Z.leftCols(p).adjoint() * rest;
        rest -= Z.leftCols(p) * t;
        const VectorXcd again = Z.leftCols(p).adjoint() * rest;
        rest -= Z.leftCols(p) * again;
        return t + again;
    }

    void extend_z(MatrixXcd& y) {
        const double beta = rest.norm();
        if (p < size && beta > no_new_direction * (beta + y.col(0).head(p).norm())) {
            Z.col(p) = rest / beta;
            y(p, 0) = beta;
            ++p;
        }
    }

    VectorXcd rest;
};

int converged(const std::vector<ritz_value>& values, double tolerance) {
    return int(std::count_if(values.begin(), values.end(),
                             [tolerance](const ritz_value& v) { return v.estimate <= tolerance; }));
}

}  // namespace

std::vector<ritz_value> infinite_arnoldi(const sparse_quorv& sys, characteristic_lu& lu, cplx shift, int wanted,
                                         int most_steps, double tolerance, work_budget& budget) {
    if (sys.n() == 0 || most_steps < 1 || !budget.spend() || !lu.factor(shift)) return {};
    arnoldi a(sys, lu, shift, most_steps);
    std::vector<ritz_value> values;
    for (;;) {
        budget.check.poll();
        const bool going = a.step();
        const bool last = !going || a.steps() == most_steps;
        if (last || a.steps() % check_every == 0) {
            values = a.ritz();
            if (last || converged(values, tolerance) >= wanted) return values;
        }
    }
}

}  // namespace quorv
