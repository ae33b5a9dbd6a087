#include "roots/count/sparse_determinant.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "roots/support/sparse_norm.h"

namespace quorv {

namespace {

// An evaluation counts only when the rounding of Delta's terms moves det
// Delta by less than this share of itself, as for the dense model.
constexpr double sparse_trusted_share = 1e-2;

// The difference quotient's step is at least this share of the distance
// to the nearest zero, where Delta's rounding is far below it.
constexpr double shortest_eta = 1e-8;

// Steps of the power method for Delta's smallest singular value.
constexpr int power_steps = 4;

// Newton's steps shorter than this share of max(1, |lambda|) use the fixed
// vectors b and c (see newton_step).
constexpr double near_step = 1e-7;

}  // namespace

sparse_determinant::sparse_determinant(const sparse_quorv& sys, work_budget& budget)
    : sys(sys), work(budget), lu(sys) {
    Eigen::VectorXi entries = Eigen::VectorXi::Ones(sys.n());
    for (const sparse_quorv::matrix& a : sys.A) {
        term_norms.push_back(norm_1(a));
        magnitudes.push_back(a.cwiseAbs());
        row_sums.push_back(magnitudes.back() * Eigen::VectorXd::Ones(sys.n()));
        for (Eigen::Index j = 0; j < a.outerSize(); ++j)
            for (sparse_quorv::matrix::InnerIterator it(a, j); it; ++it) ++entries[it.row()];
    }
    row_length = sys.n() == 0 ? 1 : entries.maxCoeff();
    // Fixed vectors with no structure of their own, so that they are not
    // orthogonal to a null vector of Delta.
    b = Eigen::VectorXcd::NullaryExpr(sys.n(), [](Eigen::Index i) { return std::polar(1.0, 0.7 * double(i)); });
    c = Eigen::VectorXcd::NullaryExpr(sys.n(), [](Eigen::Index i) { return std::polar(1.0, 1.3 * double(i) + 0.5); });
}

std::complex<double> sparse_determinant::step_with(std::complex<double> lambda, const Eigen::VectorXcd& x,
                                                   const Eigen::VectorXcd& w) {
    Eigen::VectorXcd residual, slope;
    lu.apply(lambda, x, residual);
    lu.apply_derivative(lambda, x, slope);
    return w.dot(residual) / w.dot(slope);
}

std::optional<std::complex<double>> sparse_determinant::newton_step(std::complex<double> lambda) {
    if (!work.spend() || !lu.factor(lambda)) return std::nullopt;
    // c^T Delta^{-1} = w^H with w = Delta^{-H} c, and c^T x = w^H Delta x:
    // the residual Delta x taken from the model's entries rather than from
    // the factors. Forming Delta rounds each entry to its terms' scale (a
    // Laplacian's diagonal of 4e10 to some 1e-6, alike in every row, which
    // moves every zero of the factored det Delta by as much), while the
    // residual's rounding varies from row to row and mostly cancels in w^H:
    // the step then finds the model's zero, not the factored one.
    Eigen::VectorXcd x = b, w = c;
    lu.solve(x);
    lu.solve_adjoint(w);
    const std::complex<double> fixed = step_with(lambda, x, w);
    // Fixed vectors with no structure of their own are nearly orthogonal to
    // a smooth null vector (a diffusion's slowest mode): c^T Delta^{-1} b is
    // then ruled by the other modes until lambda is within some 1e-6 of the
    // zero, and from further the steps run away from it. The step is taken
    // with Delta^{-1} b and Delta^{-H} c instead (one step of inverse
    // iteration each, normalised), which lean towards the null vectors by
    // the ratio of Delta's smallest singular value to the next, until it is
    // below near_step: there the fixed vectors converge, and their residual's
    // rounding, which grows with x, is the smaller (a Laplacian with entries
    // of 2e10 left the iterated vectors' steps jittering at 3e-10).
    x /= x.norm();
    w /= w.norm();
    lu.solve(x);
    lu.solve_adjoint(w);
    const std::complex<double> leaning = step_with(lambda, x, w);
    const std::complex<double> step =
        std::abs(leaning) > near_step * std::max(1.0, std::abs(lambda)) ? leaning : fixed;
    if (!std::isfinite(step.real()) || !std::isfinite(step.imag())) return std::nullopt;
    return lambda - step;
}

// Sparse elimination adds to each entry of the factors only the products
// along its row and column of the pattern, so the rounding of Delta's
// terms is about epsilon times the longest row of the pattern, against n
// for a dense elimination.
double sparse_determinant::rounding(std::complex<double> lambda) const {
    double terms = std::abs(lambda);
    for (std::size_t k = 0; k < sys.mA(); ++k) terms += std::exp(-lambda.real() * sys.hk(k)) * term_norms[k];
    return row_length * std::numeric_limits<double>::epsilon() * terms;
}

// The share by which the rounding E of forming and factoring Delta moves
// det Delta, |tr(Delta^{-1} E)|. |Delta^{-1}|_1 rounding(lambda) bounds it,
// but counts the largest entries wherever they lie: a Laplacian's 4e10
// against the 1e-4 that decides its slow mode's zero, or a stiff part of the
// system apart from the zero. Near a zero, Delta^{-1} is about u v^H / s,
// and then tr(Delta^{-1} E) = v^H E u / s = w^H E x / c^H x for x =
// Delta^{-1} b and w = Delta^{-H} c, whatever b and c not orthogonal to u
// and v: each entry's rounding weighed by the zero's own vectors. E has two
// parts. Forming each entry sums mA + 1 terms, rounded to epsilon of the
// terms T = |lambda| I + sum_k |e^{-lambda h_k}| |A_k| that cancel in it:
// at most (mA + 1) epsilon |w|^T T |x|. The factors' own rounding is
// measured rather than assumed: E x is the residual Delta x - b of the
// solve with the model's entries, at most |w|^T |Delta x - b|; it grows
// with the fill of the factors, however far that reaches beyond Delta's
// pattern, and is far below the terms where elimination is stable (a
// bound by the longest row of the pattern left four close roots of a
// well-conditioned system untrusted twice as far off as rounding
// leaves them). Away from zeros no direction dominates and c^H x may
// vanish where det Delta does not: there the bound by the norm decides.
double sparse_determinant::rounding_share(std::complex<double> lambda) {
    x = b, w = c;
    lu.solve(x);
    lu.solve_adjoint(w);
    const Eigen::VectorXd x_size = x.cwiseAbs();
    Eigen::VectorXd terms = std::abs(lambda) * x_size;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        terms += std::exp(-lambda.real() * sys.hk(k)) * (magnitudes[k] * x_size);
    Eigen::VectorXcd residual;
    lu.apply(lambda, x, residual);
    residual -= b;
    const double formed = double(sys.mA() + 1) * std::numeric_limits<double>::epsilon() * w.cwiseAbs().dot(terms);
    const double share = (formed + w.cwiseAbs().dot(residual.cwiseAbs())) / std::abs(c.dot(x));
    if (std::isfinite(share) && share <= sparse_trusted_share) return share;
    return lu.inverse_norm() * rounding(lambda);
}

bool sparse_determinant::evaluate(std::complex<double> lambda, log_det_sample& out) {
    if (!work.spend()) return false;
    if (!lu.factor(lambda)) return false;
    const double share = rounding_share(lambda);
    if (share > sparse_trusted_share) return false;
    const std::complex<double> at = lu.log_det();
    double distance = std::max(1.0, std::abs(lambda));
    if (last_g != 0) distance = std::min(distance, 1 / last_g);
    const double eta = distance * std::max(std::sqrt(share), shortest_eta);
    if (!lu.refactor(lambda + eta)) return false;
    // The phases are known up to whole turns: their change between the two
    // factorisations is taken modulo 2 pi.
    const std::complex<double> change = lu.log_det() - at;
    const double turn = 2 * std::numbers::pi;
    const double phase_change = change.imag() - turn * std::round(change.imag() / turn);
    const std::complex<double> g = std::complex<double>(change.real(), phase_change) / eta;
    if (!std::isfinite(g.real()) || !std::isfinite(g.imag())) return false;
    last_g = std::abs(g);
    out = {lambda, at.imag(), g};
    return true;
}

double sparse_determinant::singularity(std::complex<double> lambda) {
    Eigen::VectorXd terms = Eigen::VectorXd::Constant(sys.n(), std::abs(lambda));
    for (std::size_t k = 0; k < sys.mA(); ++k) terms += std::exp(-lambda.real() * sys.hk(k)) * row_sums[k];
    if (!terms.allFinite()) return HUGE_VAL;
    if (!(terms.minCoeff() > 0)) return 0.0;
    // Delta is finite here: a factorisation that fails met an exactly zero pivot.
    if (!lu.factor(lambda)) return 0.0;
    Eigen::VectorXcd v = b.normalized(), y;
    double largest = 0;
    for (int step = 0; step < power_steps; ++step) {
        y = terms.cast<std::complex<double>>().cwiseProduct(v);
        lu.solve(y);
        largest = y.norm();
        lu.solve_adjoint(y);
        v = terms.cast<std::complex<double>>().cwiseProduct(y);
        const double size = v.norm();
        if (!(size > 0) || !std::isfinite(size)) break;
        v /= size;
    }
    return std::isfinite(largest) ? 1 / largest : 0.0;
}

}  // namespace quorv
