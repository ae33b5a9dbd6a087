#include "roots/size_estimate.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>

#include <Eigen/Eigenvalues>

#include "roots/eigenvalues.h"

namespace quorv {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double two_pi = 2 * std::numbers::pi;

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

// Configurations of one grid pass: (count/2 + 1) * count^(mA-2), formed in
// unsigned 32-bit arithmetic.
std::uint32_t grid_configurations(std::size_t mA, std::uint32_t count) {
    std::uint32_t configurations = (count >> 1) + 1;
    for (std::size_t k = 2; k < mA; ++k) configurations *= count;
    return configurations;
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
    sampled_eigenvalues(Eigen::Index n, double r)
        : lapack(n), work(n, n), lapack_first(n >= lapack_from_order),
          overflow_is_error(std::isfinite(r)) {}

    const Eigen::VectorXcd& operator()(const Eigen::MatrixXcd& M) {
        if (!M.allFinite()) {
            if (overflow_is_error &&
                (M.real().array().isInf().any() || M.imag().array().isInf().any()))
                throw std::runtime_error("the degree estimate cannot sample the characteristic "
                                         "matrix: its damping factors overflow; a larger r is "
                                         "needed");
            return none;
        }
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
    const Eigen::VectorXcd none;

    bool by_lapack(const Eigen::MatrixXcd& M) {
        work = M;
        return lapack.compute(work);
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

// The frame both strategies share. visit(M, b, examine) builds M in turn for
// every phase configuration with the damping shift b and calls examine()
// after each. Pass 1 (b = 0) collects the eigenvalues; their rightmost real
// part rho sets B, the damping and lower range bound of pass 2, scaled by
// the sine of one phase step. The answer is the largest degree any estimate
// in range asks for, and at least 5.
template <typename Visit>
int largest_required_degree(const quorv& sys, double r, std::uint32_t count,
                            std::size_t configurations, Visit visit) {
    const Eigen::Index n = sys.n();
    Eigen::MatrixXcd M;
    make_square(M, n);
    sampled_eigenvalues eigenvalues(n, r);

    std::vector<std::complex<double>> E;
    E.reserve(configurations * static_cast<std::size_t>(n));
    visit(M, 0.0, [&] {
        const auto& mu = eigenvalues(M);
        E.insert(E.end(), mu.begin(), mu.end());
    });
    if (E.empty()) return 5;

    const auto rightmost = std::max_element(
        E.begin(), E.end(), [](auto x, auto y) { return x.real() < y.real(); });
    const double rho = rightmost->real();
    const double B = pass_two_damping(sys, r, (std::sin(two_pi / static_cast<double>(count)) * 1.05) * rho);

    const cubic_spline F(0.0, pi / 64, degree_slope);
    const cubic_spline G(0.0, pi / 64, degree_offset);

    int K1 = 0;
    for (const auto mu : E)
        if (0 <= mu.real() && mu.real() <= B) K1 = std::max(K1, required_degree(mu, F, G));

    int K2 = 0;
    visit(M, B, [&] {
        for (const auto mu : eigenvalues(M))
            if (mu.real() >= B) K2 = std::max(K2, required_degree(mu, F, G));
    });
    return std::max({K1, K2, 5});
}

}  // namespace

int estimate_degree(const quorv& sys, double r, std::uint32_t count, const interrupt_check& check) {
    return sys.mA() > 4 ? estimate_degree_commensurate(sys, r, count, check)
                        : estimate_degree_grid(sys, r, count, check);
}

int estimate_degree_commensurate(const quorv& sys, double r, std::uint32_t count,
                                 const interrupt_check& check) {
    const auto visit = [&](Eigen::MatrixXcd& M, double b, auto examine) {
        for (std::uint32_t c = 0; c < count; ++c) {
            sampled_matrix_commensurate(sys, M, r, b, c, count);
            examine();
            check.poll();
        }
    };
    return largest_required_degree(sys, r, count, count, visit);
}

int estimate_degree_grid(const quorv& sys, double r, std::uint32_t count,
                         const interrupt_check& check) {
    if (sys.mA() == 1) return estimate_degree_grid(with_undelayed_zero_term(sys), r, count, check);
    const auto visit = [&](Eigen::MatrixXcd& M, double b, auto examine) {
        for (phase_counter phases(sys.mA() - 1, count); !phases.done; phases.advance()) {
            sampled_matrix_grid(sys, M, r, b, phases.digits, count);
            examine();
            check.poll();
        }
    };
    return largest_required_degree(sys, r, count, grid_configurations(sys.mA(), count), visit);
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
