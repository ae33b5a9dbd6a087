#include "roots/count/argument_count.h"
#include "roots/support/two_pi.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace quorv {

namespace {

using cplx = std::complex<double>;

// A step is aimed at a predicted phase change of 0.6 rad and accepted only
// when the observed change, known modulo 2 pi, stays below 1 rad and agrees
// with the trapezoid estimate Im((g0 + g1)/2 dlambda) of the integral of
// g = (log det)' within 0.25 rad. A zero at distance d from the path makes
// |g| about 1/d, so a step never reaches past 0.6 of the distance to it.
// The aim sets only the cost (0.4 took a third more evaluations, 0.8 more
// rejected steps); the two tests decide whether a step is right.
constexpr double aimed_change = 0.6;
constexpr double largest_change = 1.0;
constexpr double agreement = 0.25;
// Steps shorter than this share of the path, and of the size max(1, |lambda|)
// of the points on it, mean a zero on the path: a long path may still pass
// close to a zero that is far from it relative to the zero's own size.
constexpr double shortest_step = 1e-13;

double wrapped(double angle) { return angle - two_pi * std::round(angle / two_pi); }

void watch(path_probe* probe, const log_det_sample& s) {
    if (!probe) return;
    const double reach = 1 / std::abs(s.g);
    if (reach < probe->reach) probe->at = s.lambda, probe->reach = reach;
    if (!(reach < probe->near)) {
        probe->in_pass = false;
        return;
    }
    if (!probe->in_pass) probe->passes.push_back({s.lambda, reach});
    else if (reach < probe->passes.back().reach) probe->passes.back() = {s.lambda, reach};
    probe->in_pass = true;
}

// The change of arg det Delta along lambda(t), t in [0, 1], starting from the
// sample at t = 0; `at` becomes the sample at t = 1. length is |lambda'(t)|.
std::optional<double> phase_change(determinant_samples& f, const std::function<cplx(double)>& lambda,
                                   double length, log_det_sample& at, path_probe* probe = nullptr) {
    double t = 0, dt = 1.0 / 8, total = 0;
    log_det_sample next;
    watch(probe, at);
    while (t < 1) {
        dt = std::min({dt, aimed_change / (std::abs(at.g) * length + 1e-300), 1 - t});
        const double floor = shortest_step * std::min(1.0, std::max(1.0, std::abs(at.lambda)) / length);
        for (;;) {
            if (dt < floor) {
                if (probe) probe->at = at.lambda, probe->reach = 0;
                return std::nullopt;
            }
            const double t1 = t + dt >= 1 - shortest_step ? 1.0 : t + dt;
            if (!f.evaluate(lambda(t1), next)) {
                if (f.budget().exhausted()) return std::nullopt;
                dt *= 0.5;  // singular at this point: a zero on the path, or a step too far
                continue;
            }
            const double observed = wrapped(next.phase - at.phase);
            const double predicted = (0.5 * (at.g + next.g) * (next.lambda - at.lambda)).imag();
            if (std::abs(observed) <= largest_change && std::abs(observed - predicted) <= agreement) {
                total += observed;
                t = t1;
                break;
            }
            dt *= 0.5;
        }
        at = next;
        watch(probe, at);
        dt *= 2;
    }
    return total;
}

// A sample of det Delta as one of det Delta e^{-phi} (sign -1) or back
// (sign +1): phi's imaginary part off the phase, phi' off g.
void divide_term(log_det_sample& s, const entire_function& phi, double sign) {
    const auto [value, slope] = phi(s.lambda);
    s.phase += sign * value.imag();
    s.g += sign * slope;
}

// The samples of det Delta e^{-phi} for an entire phi.
class exp_divided_samples : public determinant_samples {
public:
    exp_divided_samples(determinant_samples& f, const entire_function& phi) : f(f), phi(phi) {}

    bool evaluate(cplx lambda, log_det_sample& out) override {
        if (!f.evaluate(lambda, out)) return false;
        divide_term(out, phi, -1);
        return true;
    }
    work_budget& budget() override { return f.budget(); }
    double singularity(cplx lambda) override { return f.singularity(lambda); }

private:
    determinant_samples& f;
    const entire_function& phi;
};

// The phase change along the polygon through the given corners, in order;
// probe watches the side that starts at corner `watched`. Along the sides
// from corner `divided_from` on, e^{phi} is divided out when phi is given.
std::optional<double> polygon_change(determinant_samples& f, const std::vector<cplx>& corners,
                                     path_probe* probe = nullptr, std::size_t watched = 0,
                                     const entire_function& phi = {}, std::size_t divided_from = 0) {
    log_det_sample at;
    if (!f.evaluate(corners.front(), at)) return std::nullopt;
    double total = 0;
    for (std::size_t i = 0; i + 1 < corners.size(); ++i) {
        const cplx a = corners[i], b = corners[i + 1];
        const bool divided = i >= divided_from && phi;
        exp_divided_samples quotient(f, phi);
        if (divided) divide_term(at, phi, -1);
        const auto change = phase_change(divided ? quotient : f, [a, b](double t) { return a + t * (b - a); },
                                         std::abs(b - a), at, i == watched ? probe : nullptr);
        if (!change) return std::nullopt;
        total += *change;
        if (divided) {
            divide_term(at, phi, +1);
            total += (phi(b).first - phi(a).first).imag();
        }
    }
    return total;
}

// A winding of total / period turns must be a whole non-negative number.
std::optional<long> whole_count(std::optional<double> total, double period) {
    if (!total) return std::nullopt;
    const double turns = *total / period;
    const double nearest = std::round(turns);
    if (std::abs(turns - nearest) > 0.01 || nearest < 0) return std::nullopt;
    return static_cast<long>(nearest);
}

// The samples of det Delta / (lambda - pole)^order: the factor's phase and
// logarithmic derivative, known exactly, taken off each sample. The phase
// is compared only modulo 2 pi, so the branch of arg does not matter.
class divided_samples : public determinant_samples {
public:
    divided_samples(determinant_samples& f, known_factor factor) : f(f), factor(factor) {}

    bool evaluate(cplx lambda, log_det_sample& out) override {
        if (!f.evaluate(lambda, out)) return false;
        const cplx from_pole = lambda - factor.pole;
        out.phase -= double(factor.order) * std::arg(from_pole);
        out.g -= double(factor.order) / from_pole;
        return true;
    }
    work_budget& budget() override { return f.budget(); }
    double singularity(cplx lambda) override { return f.singularity(lambda); }

private:
    determinant_samples& f;
    known_factor factor;
};

}  // namespace

std::optional<long> count_in_rectangle(determinant_samples& f, const rectangle& rect) {
    // Counter-clockwise from the lower right corner.
    return whole_count(polygon_change(f, {{rect.x1, rect.y0}, {rect.x1, rect.y1}, {rect.x0, rect.y1},
                                          {rect.x0, rect.y0}, {rect.x1, rect.y0}}),
                       two_pi);
}

std::optional<long> count_in_symmetric_rectangle(determinant_samples& f, const rectangle& rect,
                                                 path_probe* left_side, known_factor factor) {
    // The lower half of the path is the conjugate of the upper half run
    // backwards, and conjugation reverses the phase change again: both halves
    // wind alike, so the upper half winds pi per zero. A real pole keeps the
    // quotient conjugate-symmetric.
    divided_samples divided(f, factor);
    determinant_samples& walked = factor.order > 0 && factor.pole < rect.x0 ? divided : f;
    if (!factor.left_side)
        return whole_count(polygon_change(walked, {{rect.x1, 0}, {rect.x1, rect.y1}, {rect.x0, rect.y1}, {rect.x0, 0}},
                                          left_side, 2),
                           std::numbers::pi);
    // The left side's term also along the top side's left end, where
    // e^{-lambda h_k} turns as fast; it is a polynomial fitted up the left
    // side, which it follows within half the height of it.
    const double split = rect.x0 + 0.5 * rect.y1;
    if (split >= rect.x1)
        return whole_count(polygon_change(walked, {{rect.x1, 0}, {rect.x1, rect.y1}, {rect.x0, rect.y1}, {rect.x0, 0}},
                                          left_side, 2, factor.left_side, 1),
                           std::numbers::pi);
    return whole_count(polygon_change(walked, {{rect.x1, 0}, {rect.x1, rect.y1}, {split, rect.y1}, {rect.x0, rect.y1},
                                               {rect.x0, 0}},
                                      left_side, 3, factor.left_side, 2),
                       std::numbers::pi);
}

std::optional<long> count_in_circle(determinant_samples& f, cplx centre, double radius) {
    const auto lambda = [centre, radius](double t) { return centre + std::polar(radius, two_pi * t); };
    log_det_sample at;
    if (!f.evaluate(lambda(0), at)) return std::nullopt;
    return whole_count(phase_change(f, lambda, two_pi * radius, at), two_pi);
}

}  // namespace quorv
