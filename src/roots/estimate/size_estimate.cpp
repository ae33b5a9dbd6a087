#include "roots/estimate/size_estimate.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <numbers>
#include <stdexcept>

#include <Eigen/Eigenvalues>

#include "roots/pencil/eigenvalues.h"
#include "roots/estimate/estimate_bounds.h"
#include "roots/support/two_pi.h"

namespace quorv {

namespace {

constexpr double pi = std::numbers::pi;

// The commensurate strategy rounds every delay to a multiple of h_max/20,
// whatever the number of phase samples.
constexpr double delay_steps = 20;

// A matrix's element count must fit in a signed 32-bit integer, as it must
// for Eigen on a 32-bit target; a larger square is reported as an allocation
// failure before any storage is requested.
void check_square_size(Eigen::Index n) {
    if (n * n > Eigen::Index{INT_MAX}) throw std::bad_alloc();
}

void make_square(Eigen::MatrixXcd& M, Eigen::Index n) {
    if (M.rows() == n && M.cols() == n) return;
    check_square_size(n);
    M.resize(n, n);
}

// M <- e0*A_0 - r*I: the undelayed part of the shifted characteristic matrix
// carries no phase, and the shift is r alone because the damping b only
// stands in for the unknown factor e^{-mu*h}.
void set_first_term(Eigen::MatrixXcd& M, double e0, const Eigen::MatrixXd& A0, double r) {
    M.real() = e0 * A0;
    M.imag().setZero();
    M.diagonal().array() -= std::complex<double>(r, 0.0);
}

// M <- M + z*(e*A), the damped matrix scaled before the phase is applied.
void add_term(Eigen::MatrixXcd& M, std::complex<double> z, double e, const Eigen::MatrixXd& A) {
    M.real() += z.real() * (e * A);
    M.imag() += z.imag() * (e * A);
}

std::vector<std::uint32_t> zero_digits(std::size_t ndigits) {
    std::vector<std::uint32_t> digits;
    if (ndigits > digits.max_size()) throw std::length_error("vector too long");
    digits.resize(ndigits);
    return digits;
}

// The grid's phase digits count in mixed radix, digit 0 fastest: it runs
// over 0..count/2, every other digit over 0..count-1 (over 0 alone when
// count is 0, as the phase counter then visits the zero digits once).
std::size_t first_digit_radix(std::uint32_t count) { return (count >> 1) + 1; }
std::size_t other_digit_radix(std::uint32_t count) { return std::max<std::uint32_t>(count, 1); }

std::size_t grid_configurations(std::size_t mA, std::uint32_t count) {
    std::size_t configurations = first_digit_radix(count);
    for (std::size_t k = 2; k < mA; ++k) configurations *= other_digit_radix(count);
    return configurations;
}

// The digits of configuration i, the i-th the phase counter visits.
void set_digits(std::vector<std::uint32_t>& digits, std::size_t i, std::uint32_t count) {
    for (std::size_t j = 0; j < digits.size(); ++j) {
        const std::size_t radix = j == 0 ? first_digit_radix(count) : other_digit_radix(count);
        digits[j] = static_cast<std::uint32_t>(i % radix);
        i /= radix;
    }
}

// A lone delayed matrix becomes term 1 behind an undelayed zero term, so that
// its delay is sampled with a phase like every other delayed term.
quorv with_undelayed_zero_term(const quorv& sys) {
    const Eigen::MatrixXd& A0 = sys.Ak(0);
    check_square_size(A0.rows());
    return quorv({Eigen::MatrixXd::Zero(A0.rows(), A0.rows()), A0}, {0.0, sys.hk(0)});
}

// Below this order LAPACK's complex eigenvalue routine, with its balancing
// and blocked stages, is slower than Eigen's complex Schur form (measured:
// 150 against 90 microseconds at n = 10, 1.4 against 1.7 ms at n = 40).
constexpr Eigen::Index lapack_from_order = 30;

// The eigenvalue estimates of one sampled matrix: by the faster of LAPACK and
// Eigen's complex Schur form for its order, by the other one when that
// iteration does not converge, an error when neither does. A matrix that is
// not finite gives no estimates. With a finite r an infinite entry means
// that a damping factor e^{-(r+b) h} overflowed, and a degree guessed without
// those estimates could miss roots: an error then.
class sampled_eigenvalues {
public:
    sampled_eigenvalues(Eigen::Index n, double r, const interrupt_check& check)
        : lapack(n), work(n, n), lapack_first(n >= lapack_from_order),
          overflow_is_error(std::isfinite(r)), check(check) {}

    // Whether M has estimates at all.
    bool usable(const Eigen::MatrixXcd& M) const {
        if (M.allFinite()) return true;
        if (overflow_is_error &&
            (M.real().array().isInf().any() || M.imag().array().isInf().any()))
            throw std::runtime_error("the degree estimate cannot sample the characteristic "
                                     "matrix: its damping factors overflow; a larger r is "
                                     "needed");
        return false;
    }

    // The estimates of a usable M.
    const Eigen::VectorXcd& operator()(const Eigen::MatrixXcd& M) {
        if (lapack_first && by_lapack(M)) return lapack.values();
        schur.compute(M, false);
        if (schur.info() == Eigen::Success) return schur.eigenvalues();
        if (!lapack_first && by_lapack(M)) return lapack.values();
        throw std::runtime_error("the eigenvalue iteration did not converge on a sampled "
                                 "matrix of the degree estimate");
    }

private:
    complex_eigenvalues lapack;
    Eigen::MatrixXcd work;
    Eigen::ComplexEigenSolver<Eigen::MatrixXcd> schur;
    const bool lapack_first;
    const bool overflow_is_error;
    // LAPACK's call on a large sampled matrix may last seconds; a stop
    // through check abandons it.
    const interrupt_check& check;

    bool by_lapack(const Eigen::MatrixXcd& M) {
        work = M;
        return lapack.compute(work, check);
    }
};

// The largest entry any damped term may reach in pass 2: far beyond the
// reach of any degree (whose estimates then drop out as not fitting an int),
// and far enough below the double range that the eigenvalue routines can
// square it.
constexpr double largest_damped_entry = 1e150;

// Pass 2's damping B. A negative B (every pass-1 estimate left of r) makes
// the delayed terms grow by e^{-B h}: it is raised to where the largest
// damped entry e^{-(r+B) h} max|A_k| stays at most largest_damped_entry for
// every delay up to h_max (and its rounding to a multiple of h_max/20), and
// never above 0, where pass 2 is pass 1 again; so a system whose factors at r
// itself are finite never overflows here, and a B >= 0 stays as it is.
double pass_two_damping(const quorv& sys, double r, double B) {
    double entry = 0, h_max = 0;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        if (sys.hk(k) <= 0 || sys.Ak(k).size() == 0) continue;
        entry = std::max(entry, sys.Ak(k).cwiseAbs().maxCoeff());
        h_max = std::max(h_max, sys.hk(k));
    }
    if (!(entry > 0) || !std::isfinite(entry)) return B;
    const double reach = (1 + 1 / delay_steps) * h_max;
    const double lowest = (std::log(entry) - std::log(largest_damped_entry)) / reach - r;
    return std::max(B, std::min(lowest, 0.0));
}

// Whether an eigenvalue of M with lo <= Re mu <= hi may ask for more than
// degree: not when Gershgorin's discs keep every such eigenvalue within the
// radius the degree allows, nor when the numerical range lies left of the
// strip or, within the strip, low enough to stay within that radius. The
// range test is made on the computed estimates, so lo and hi are taken as
// they are; the enclosures widen themselves by the eigenvalue routine's
// backward error.
bool may_ask_for_more(const Eigen::MatrixXcd& M, double lo, double hi, int degree,
                      const degree_bound& bound, numerical_range& range) {
    const gershgorin_discs discs(M);
    hi = std::min(hi, discs.real_bound());
    if (hi < lo) return false;
    const double reach = bound.largest_radius(degree, lo, hi);
    if (discs.modulus_in_strip(lo, hi) <= reach) return false;
    if (range.left_of(M, lo)) return false;
    const double across = std::max(std::abs(lo), std::abs(hi));
    return !(reach > across && range.lower_than(M, std::sqrt(reach * reach - across * across)));
}

// The bound depends on the constant curves alone: built once, on first use.
const degree_bound& curve_bound() {
    static const degree_bound bound(cubic_spline(0.0, pi / 64, degree_slope),
                                    cubic_spline(0.0, pi / 64, degree_offset));
    return bound;
}

// Below this order a sampled matrix's eigenvalues cost no more than the
// bounds that could spare them: every matrix is solved.
constexpr Eigen::Index bounds_from_order = 3;

constexpr double infinite = std::numeric_limits<double>::infinity();

// What pass 1 knows of one sampled matrix: whether it has estimates, whether
// they were computed, and Gershgorin's bound on their real parts.
struct sample {
    bool usable = true;
    bool solved = false;
    double re_bound = infinite;
};

// The sampled matrices of one estimate and what solves or bounds them.
// build(M, b, i) builds the matrix of configuration i with the damping
// shift b.
template <typename Build>
struct sampling {
    std::size_t configurations;
    Build build;
    const interrupt_check& check;
    Eigen::MatrixXcd M;
    sampled_eigenvalues eigenvalues;
    numerical_range range;
    bool prune;

    sampling(Eigen::Index n, double r, std::size_t configurations, Build build,
             const interrupt_check& check)
        : configurations(configurations), build(build), check(check), eigenvalues(n, r, check),
          range(n), prune(n >= bounds_from_order) {
        make_square(M, n);
    }

    // The degree estimates in [lo, hi] ask for, at least degree; the matrix
    // is solved only when its bounds leave room for more.
    int largest_in(double lo, double hi, int degree, const cubic_spline& F,
                   const cubic_spline& G) {
        if (prune && !may_ask_for_more(M, lo, hi, degree, curve_bound(), range)) return degree;
        for (const auto mu : eigenvalues(M))
            if (lo <= mu.real() && mu.real() <= hi) degree = std::max(degree, required_degree(mu, F, G));
        return degree;
    }
};

// Pass 1 up to rho: every estimate of the matrices whose estimates could
// lie right of those found, in decreasing order of Gershgorin's bound of
// their real parts; a matrix whose numerical range lies left of rho is
// skipped. The estimates found are appended to E.
template <typename Build>
std::vector<sample> rightmost_estimates(sampling<Build>& s, std::vector<std::complex<double>>& E,
                                        double& rho) {
    std::vector<sample> samples(s.configurations);
    std::vector<std::size_t> order(s.configurations);
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (s.prune) {
        for (std::size_t i = 0; i < s.configurations; ++i) {
            s.build(s.M, 0.0, i);
            samples[i].usable = s.eigenvalues.usable(s.M);
            samples[i].re_bound = samples[i].usable ? gershgorin_discs(s.M).real_bound() : -infinite;
            s.check.poll();
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
            return samples[i].re_bound > samples[j].re_bound;
        });
    }
    for (const std::size_t i : order) {
        sample& one = samples[i];
        if (one.re_bound <= rho) break;
        s.build(s.M, 0.0, i);
        if (!(one.usable = s.eigenvalues.usable(s.M))) continue;
        if (s.prune && s.range.left_of(s.M, rho)) continue;
        for (const auto mu : s.eigenvalues(s.M)) {
            E.push_back(mu);
            rho = std::max(rho, mu.real());
        }
        one.solved = true;
        s.check.poll();
    }
    return samples;
}

// The frame both strategies share. Pass 1 (b = 0) finds the rightmost real
// part rho of the estimates, which sets B, the damping and lower range bound
// of pass 2, scaled by the sine of one phase step. The answer is the largest
// degree any estimate in range asks for, at least 5: from pass 1 the
// estimates with 0 <= Re mu <= B, from pass 2 those with Re mu >= B.
//
// Only the matrices whose estimates can change the answer are solved, and
// the answer is the one solving all of them would give: pass 1 first only
// as far as rho needs, pass 2 and then the rest of pass 1 only where bounds
// of the eigenvalues in range leave room for more than the largest degree
// found so far.
template <typename Build>
int largest_required_degree(const quorv& sys, double r, std::uint32_t count,
                            std::size_t configurations, Build build,
                            const interrupt_check& check) {
    sampling<Build> s(sys.n(), r, configurations, build, check);
    std::vector<std::complex<double>> E;
    double rho = -infinite;
    const std::vector<sample> samples = rightmost_estimates(s, E, rho);
    if (E.empty()) return 5;

    const double B = pass_two_damping(sys, r, (std::sin(two_pi / static_cast<double>(count)) * 1.05) * rho);
    const cubic_spline F(0.0, pi / 64, degree_slope);
    const cubic_spline G(0.0, pi / 64, degree_offset);

    int degree = 5;
    for (const auto mu : E)
        if (0 <= mu.real() && mu.real() <= B) degree = std::max(degree, required_degree(mu, F, G));

    for (std::size_t i = 0; i < configurations; ++i) {
        s.build(s.M, B, i);
        if (s.eigenvalues.usable(s.M)) degree = s.largest_in(B, infinite, degree, F, G);
        check.poll();
    }
    for (std::size_t i = 0; i < configurations && B >= 0; ++i) {
        const sample& one = samples[i];
        if (one.solved || !one.usable || one.re_bound < 0) continue;
        s.build(s.M, 0.0, i);
        degree = s.largest_in(0.0, std::min(B, one.re_bound), degree, F, G);
        check.poll();
    }
    return degree;
}

}  // namespace

int estimate_degree(const quorv& sys, double r, std::uint32_t count, const interrupt_check& check) {
    return sys.mA() > 4 ? estimate_degree_commensurate(sys, r, count, check)
                        : estimate_degree_grid(sys, r, count, check);
}

int estimate_degree_commensurate(const quorv& sys, double r, std::uint32_t count,
                                 const interrupt_check& check) {
    const auto build = [&](Eigen::MatrixXcd& M, double b, std::size_t c) {
        sampled_matrix_commensurate(sys, M, r, b, static_cast<std::uint32_t>(c), count);
    };
    return largest_required_degree(sys, r, count, count, build, check);
}

int estimate_degree_grid(const quorv& sys, double r, std::uint32_t count,
                         const interrupt_check& check) {
    if (sys.mA() == 1) return estimate_degree_grid(with_undelayed_zero_term(sys), r, count, check);
    phase_counter phases(sys.mA() - 1, count);
    const auto build = [&](Eigen::MatrixXcd& M, double b, std::size_t i) {
        set_digits(phases.digits, i, count);
        sampled_matrix_grid(sys, M, r, b, phases.digits, count);
    };
    return largest_required_degree(sys, r, count, grid_configurations(sys.mA(), count), build,
                                   check);
}

// An estimate mu needs the smallest N with F(theta)*N + G(theta) >= |mu|.
int required_degree(std::complex<double> mu, const cubic_spline& F, const cubic_spline& G) {
    const double theta = std::abs(std::atan2(mu.imag(), mu.real()));
    const double q = (std::hypot(mu.real(), mu.imag()) - G(theta)) / F(theta);
    const double N = std::ceil(q);
    if (!(N >= static_cast<double>(INT_MIN) && N <= static_cast<double>(INT_MAX))) return INT_MIN;
    return static_cast<int>(N);
}

phase_counter::phase_counter(std::size_t ndigits, std::uint32_t count)
    : digits(zero_digits(ndigits)), count(count), done(false) {}

// Digit 0 spans only half the circle: a real matrix has the spectrum of its
// conjugate, so the phases of the first delayed term beyond pi add nothing.
// A digit past its range is reset and carries into the next one; a carry out
// of the last digit ends the sweep. Without digits there is one configuration.
void phase_counter::advance() {
    if (done) return;
    if (digits.empty()) {
        done = true;
        return;
    }
    const auto exceeds = [&](std::size_t j) {
        return j == 0 ? digits[0] > (count >> 1) : digits[j] >= count;
    };
    ++digits[0];
    for (std::size_t j = 0; j + 1 < digits.size() && exceeds(j); ++j) {
        digits[j] = 0;
        ++digits[j + 1];
    }
    if (exceeds(digits.size() - 1)) done = true;
}

// With commensurate delays w_k*Delta a single phase z = e^{i*theta_c} per
// sample gives every term the consistent factor z^{w_k}.
void sampled_matrix_commensurate(const quorv& sys, Eigen::MatrixXcd& M, double r, double b,
                                 std::uint32_t c, std::uint32_t count) {
    double h_max = sys.hk(0);
    for (const double h : sys.hA) h_max = std::max(h_max, h);
    const double Delta = h_max / delay_steps;
    // All delays zero: every term is undelayed rather than 0/0.
    const auto steps = [&](std::size_t k) {
        return Delta == 0 ? 0.0 : std::round(sys.hk(k) / Delta);
    };

    make_square(M, sys.n());
    const double w0 = steps(0);
    set_first_term(M, std::exp(-(r + b) * w0 * Delta), sys.Ak(0), r);

    const double theta = (static_cast<double>(c) * two_pi) / static_cast<double>(count);
    for (std::size_t k = 1; k < sys.mA(); ++k) {
        const double w = steps(k);
        const double e = std::exp(-(r + b) * w * Delta);
        add_term(M, {std::cos(theta * w), std::sin(theta * w)}, e, sys.Ak(k));
    }
}

// Each delayed term gets its own phase 2*pi*digit/(count+1); the delays are
// used as they are.
void sampled_matrix_grid(const quorv& sys, Eigen::MatrixXcd& M, double r, double b,
                         const std::vector<std::uint32_t>& digits, std::uint32_t count) {
    make_square(M, sys.n());
    set_first_term(M, std::exp(-(r + b) * sys.hk(0)), sys.Ak(0), r);
    for (std::size_t k = 1; k < sys.mA(); ++k) {
        const double theta =
            (2 * static_cast<double>(digits[k - 1])) * pi / (static_cast<double>(count) + 1);
        const double e = std::exp(-(r + b) * sys.hk(k));
        add_term(M, {std::cos(theta), std::sin(theta)}, e, sys.Ak(k));
    }
}

}  // namespace quorv
