#include "roots/count/left_side_term.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <memory>
#include <optional>
#include <vector>

#include "roots/krylov/characteristic_lu.h"
#include "roots/support/sparse_norm.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;
using matrix = sparse_quorv::matrix;

// Chebyshev points on the segment: tr(R A_k) has its poles at U's
// eigenvalues, which lie left of a region whose left side phi is taken
// along (a fine grid's slowest mode some twenty units left of a segment
// some thirty long: six points reproduce it to some 1e-4, far below what
// the second order leaves of g).
constexpr int points = 6;
// phi is worth its points only where it turns the phase by more than this
// along the side (first order: |phi| (1 + h_k height) summed over the
// terms): each point costs about what a sample of the walk does, and a
// walk takes some two samples per radian.
constexpr double worth_turning = 12;
// The interpolant must reproduce tr(R A_k) midway up the segment to this
// share of its largest value there, else phi is not used.
constexpr double reproduced = 0.02;
// s in the difference quotient of log det(lambda - U - s A_k), relative to
// max(1, |lambda|) / |A_k|_1: far above the rounding of log det, far below
// where its second order shows.
constexpr double step_share = 1e-7;

// lambda - U - s A as the characteristic matrix of a model without delays:
// U's terms and, unless s is 0, s A.
sparse_quorv undelayed_with(const sparse_quorv& sys, const matrix* a, double s) {
    std::vector<matrix> terms;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) == 0) terms.push_back(sys.A[k]);
    if (a) terms.push_back(s * *a);
    if (terms.empty()) terms.emplace_back(sys.n(), sys.n());
    return {terms, std::vector<double>(terms.size(), 0.0)};
}

// T_j(t) and T_j'(t) for j < count.
void chebyshev(cplx t, std::size_t count, std::vector<cplx>& value, std::vector<cplx>& slope) {
    value.assign(count, 0), slope.assign(count, 0);
    for (std::size_t j = 0; j < count; ++j) {
        value[j] = j == 0 ? cplx(1) : j == 1 ? t : 2.0 * t * value[j - 1] - value[j - 2];
        slope[j] = j == 0 ? cplx(0) : j == 1 ? cplx(1) : 2.0 * value[j - 1] + 2.0 * t * slope[j - 1] - slope[j - 2];
    }
}

// The delayed terms' traces tr(R A_k) at points of one segment, from log
// det(lambda - U - s_k A_k) against log det(lambda - U).
class delayed_traces {
public:
    // scale: the size max(1, |lambda|) of the segment's points.
    delayed_traces(const sparse_quorv& sys, double scale) : base_model(undelayed_with(sys, nullptr, 0)), base(base_model) {
        for (std::size_t k = 0; k < sys.mA(); ++k) {
            const double norm = norm_1(sys.A[k]);
            if (sys.hk(k) == 0 || norm == 0 || !std::isfinite(norm)) continue;
            steps.push_back(step_share * scale / norm);
            models.push_back(undelayed_with(sys, &sys.A[k], steps.back()));
            delays.push_back(sys.hk(k));
        }
        for (const sparse_quorv& m : models) perturbed.push_back(std::make_unique<characteristic_lu>(m));
    }
    delayed_traces(const delayed_traces&) = delete;
    delayed_traces& operator=(const delayed_traces&) = delete;

    const std::vector<double>& term_delays() const { return delays; }

    // Empty when a factorisation fails or the budget is spent.
    std::optional<std::vector<cplx>> at(cplx lambda, work_budget& budget) {
        if (!budget.spend() || !base.factor(lambda)) return std::nullopt;
        const cplx reference = base.log_det();
        std::vector<cplx> traces;
        for (std::size_t k = 0; k < models.size(); ++k) {
            if (!budget.spend() || !perturbed[k]->factor(lambda)) return std::nullopt;
            const cplx change = perturbed[k]->log_det() - reference;
            const double turn = 2 * std::numbers::pi;
            const cplx wrapped{change.real(), change.imag() - turn * std::round(change.imag() / turn)};
            const cplx trace = -wrapped / steps[k];
            if (!std::isfinite(trace.real()) || !std::isfinite(trace.imag())) return std::nullopt;
            traces.push_back(trace);
        }
        return traces;
    }

private:
    sparse_quorv base_model;
    characteristic_lu base;
    std::vector<sparse_quorv> models;
    std::vector<std::unique_ptr<characteristic_lu>> perturbed;
    std::vector<double> steps, delays;
};

// phi and phi' from the Chebyshev coefficients of each P_k in t = 2 y /
// height - 1, y = -i (lambda - x): a polynomial in lambda.
struct interpolated_term {
    double x, height;
    std::vector<double> delays;
    std::vector<std::vector<cplx>> coefficients;

    std::pair<cplx, cplx> operator()(cplx lambda) const {
        const cplx t = 2.0 * cplx(0, -1) * (lambda - x) / height - 1.0;
        const cplx dt = cplx(0, -2) / height;
        std::vector<cplx> value, slope;
        chebyshev(t, coefficients.front().size(), value, slope);
        cplx phi = 0, derivative = 0;
        for (std::size_t k = 0; k < delays.size(); ++k) {
            cplx p = 0, dp = 0;
            for (std::size_t j = 0; j < value.size(); ++j)
                p += coefficients[k][j] * value[j], dp += coefficients[k][j] * slope[j];
            const cplx e = std::exp(-lambda * delays[k]);
            phi -= e * p;
            derivative += e * (delays[k] * p - dp * dt);
        }
        return {phi, derivative};
    }
};

// About how far phi turns the phase along the side, from the traces at one
// point: |e^{-lambda h_k}| is the same all along it, and e^{-i y h_k} turns
// h_k height radians.
double turning(const std::vector<double>& delays, const std::vector<cplx>& traces, double x, double height) {
    double sum = 0;
    for (std::size_t k = 0; k < delays.size(); ++k)
        sum += std::exp(-x * delays[k]) * std::abs(traces[k]) * (1 + delays[k] * height);
    return sum;
}

// Chebyshev coefficients of the values at the points cos(pi (j + 1/2) / N).
std::vector<cplx> coefficients_of(const std::vector<cplx>& values) {
    const std::size_t count = values.size();
    std::vector<cplx> c(count, 0);
    for (std::size_t m = 0; m < count; ++m) {
        for (std::size_t j = 0; j < count; ++j)
            c[m] += values[j] * std::cos(std::numbers::pi * double(m) * (double(j) + 0.5) / double(count));
        c[m] *= (m == 0 ? 1.0 : 2.0) / double(count);
    }
    return c;
}

}  // namespace

std::optional<entire_function> left_side_term(const sparse_quorv& sys, double x, double height, work_budget& budget) {
    if (!(height > 0) || !std::isfinite(x) || !std::isfinite(height)) return std::nullopt;
    delayed_traces traces(sys, std::max({1.0, std::abs(x), height}));
    const std::size_t terms = traces.term_delays().size();
    if (terms == 0) return std::nullopt;
    const auto at_t = [&](double t) { return cplx(x, 0.5 * (t + 1) * height); };
    std::vector<std::vector<cplx>> values(terms);
    double largest = 0;
    for (int j = 0; j < points; ++j) {
        const auto found = traces.at(at_t(std::cos(std::numbers::pi * (j + 0.5) / points)), budget);
        if (!found) return std::nullopt;
        for (std::size_t k = 0; k < terms; ++k) values[k].push_back((*found)[k]), largest = std::max(largest, std::abs((*found)[k]));
        if (j == 0 && turning(traces.term_delays(), *found, x, height) < worth_turning) return std::nullopt;
    }
    interpolated_term term{x, height, traces.term_delays(), {}};
    for (const std::vector<cplx>& v : values) term.coefficients.push_back(coefficients_of(v));
    // Midway up (t = 0, not a point for an even count), each P_k against
    // the trace itself.
    const auto check = traces.at(at_t(0), budget);
    if (!check) return std::nullopt;
    std::vector<cplx> value, slope;
    chebyshev(0, points, value, slope);
    for (std::size_t k = 0; k < terms; ++k) {
        cplx p = 0;
        for (int j = 0; j < points; ++j) p += term.coefficients[k][std::size_t(j)] * value[std::size_t(j)];
        if (!(std::abs(p - (*check)[k]) <= reproduced * largest)) return std::nullopt;
    }
    return entire_function(term);
}

}  // namespace quorv
