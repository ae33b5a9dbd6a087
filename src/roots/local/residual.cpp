#include "roots/local/residual.h"

#include <cstddef>

namespace quorv {

namespace {

using Eigen::Index;
using cplx = std::complex<double>;

// Delta <- lambda I: every entry is the complex product of lambda and 1 or 0.
void set_lambda_identity(cplx lambda, Eigen::Ref<Eigen::MatrixXcd> Delta) {
    Delta = lambda * Eigen::MatrixXcd::Identity(Delta.rows(), Delta.cols());
}

// e^{-lambda h}, its exponent built part by part: (-Re lambda) h + i (-Im lambda) h.
cplx delay_factor(cplx lambda, double h) {
    return std::exp(cplx((-lambda.real()) * h, (-lambda.imag()) * h));
}

// Delta <- Delta - e A for a real A: the real and imaginary parts of Delta
// take Re e A and Im e A separately, with no cross terms.
void subtract_term(cplx e, const Eigen::MatrixXd& a, Eigen::Ref<Eigen::MatrixXcd> Delta) {
    Delta.real() -= e.real() * a;
    Delta.imag() -= e.imag() * a;
}

// Column 0 of the Jacobian rows 0..n-1 gains the term h e A v of Delta'(lambda) v.
template <typename Vector, typename Column>
void add_derivative_term(cplx e, double h, const Eigen::MatrixXd& a, const Vector& v,
                         Column&& dv) {
    Eigen::VectorXcd w(v.size());
    w.real() = a * v.real();
    w.imag() = a * v.imag();
    dv += e * (h * w);
}

// Rows 0..n-1 of J: column 0 becomes Delta'(lambda) v, columns 1..n Delta(lambda).
template <typename Vector>
void characteristic_rows(const quorv& sys, cplx lambda, const Vector& v, Eigen::MatrixXcd& J) {
    const Index n = v.size();
    auto dv = J.col(0).head(n);
    auto Delta = J.block(0, 1, n, n);
    dv = v;
    set_lambda_identity(lambda, Delta);
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const Eigen::MatrixXd& a = sys.Ak(k);
        const double h = sys.hk(k);
        const cplx e = delay_factor(lambda, h);
        subtract_term(e, a, Delta);
        add_derivative_term(e, h, a, v, dv);
    }
}

// Equation n, v^H v - 1 = 0, and its row of the Jacobian. The equation is not
// complex-analytic in v; the row holds 2 conj(v_j), the derivative the Newton
// step uses for it, and nothing for lambda.
template <typename Vector>
void normalisation_row(const Vector& v, Eigen::VectorXcd& F, Eigen::MatrixXcd& J) {
    const Index n = v.size();
    double s = 0.0;
    for (Index j = 0; j < n; ++j) s += v[j].real() * v[j].real() + v[j].imag() * v[j].imag();
    F[n] = cplx(s - 1.0, 0.0);
    J(n, 0) = 0.0;
    for (Index j = 0; j < n; ++j) J(n, 1 + j) = cplx(2.0 * v[j].real(), -2.0 * v[j].imag());
}

void evaluate(const quorv& sys, const Eigen::VectorXcd& x, Eigen::VectorXcd& F,
              Eigen::MatrixXcd& J) {
    const Index n = sys.n();
    const auto v = x.tail(n);
    characteristic_rows(sys, x[0], v, J);
    F.head(n) = J.block(0, 1, n, n) * v;
    normalisation_row(v, F, J);
}

}  // namespace

void characteristic_matrix(const quorv& sys, cplx lambda, Eigen::Ref<Eigen::MatrixXcd> Delta) {
    set_lambda_identity(lambda, Delta);
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const Eigen::MatrixXd& a = sys.Ak(k);
        const double h = sys.hk(k);
        subtract_term(delay_factor(lambda, h), a, Delta);
    }
}

residual_function characteristic_residual(const quorv& sys) {
    return [&sys](const Eigen::VectorXcd& x, Eigen::VectorXcd& F, Eigen::MatrixXcd& J) {
        evaluate(sys, x, F, J);
    };
}

}  // namespace quorv
