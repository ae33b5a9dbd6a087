#include "roots/estimate/estimate_bounds.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>


// LAPACK's Cholesky factorisation as the scipy-openblas32 wheel exports it.
extern "C" void scipy_zpotrf_(const char* uplo, const std::int32_t* n, std::complex<double>* a,
                              const std::int32_t* lda, std::int32_t* info,
                              std::size_t uplo_length);

namespace quorv {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// A backward-stable eigenvalue routine returns the exact eigenvalues of
// M + E with |E| a modest multiple of n * epsilon * |M|; this covers it for
// any order the estimate can reach.
constexpr double relative_slack = 1e-10;

// Directions per half turn: four per piece of the curves up to pi/2 (whose
// knots are pi/64 apart, so no interval straddles a knot), then the last
// piece continued.
constexpr int directions = 256;

// The largest |z| over a disc about c of radius rho and the strip
// lo <= Re z <= hi, or -infinity when they do not meet: at most the disc's
// own farthest point, and at most the strip's corner at the disc's height.
double disc_modulus_in_strip(std::complex<double> c, double rho, double lo, double hi) {
    if (c.real() - rho > hi || c.real() + rho < lo) return -infinity;
    const double across = std::max(std::abs(lo), std::abs(hi));
    const double height = std::abs(c.imag()) + rho;
    return std::min(std::sqrt(std::norm(c)) + rho, std::sqrt(across * across + height * height));
}

double union_modulus_in_strip(const Eigen::VectorXcd& centres, const Eigen::VectorXd& radius,
                              double lo, double hi) {
    double largest = -infinity;
    for (Eigen::Index i = 0; i < centres.size(); ++i)
        largest = std::max(largest, disc_modulus_in_strip(centres(i), radius(i), lo, hi));
    return largest;
}

// The largest |f'| over the parameters t of one piece of a spline.
double slope_bound(const cubic_spline& s, std::size_t piece, double t_far) {
    return std::abs(s.b[piece]) + 2 * std::abs(s.c[piece]) * t_far +
           3 * std::abs(s.d[piece]) * t_far * t_far;
}

std::size_t piece_at(const cubic_spline& s, double x) {
    const double u = std::floor((x - s.x0) / s.h);
    return static_cast<std::size_t>(std::clamp(u, 0.0, static_cast<double>(s.a.size() - 1)));
}

}  // namespace

double eigenvalue_slack(const Eigen::MatrixXcd& M) { return relative_slack * M.norm(); }

// One sweep gathers the off-diagonal sums of the rows, of the columns and of
// the Hermitian part's rows.
gershgorin_discs::gershgorin_discs(const Eigen::MatrixXcd& M)
    : centres(M.diagonal()), rows(Eigen::VectorXd::Zero(M.rows())), columns(Eigen::VectorXd::Zero(M.rows())),
      hermitian(Eigen::VectorXd::Zero(M.rows())) {
    const Eigen::Index n = M.rows();
    for (Eigen::Index j = 0; j < n; ++j)
        for (Eigen::Index i = 0; i < n; ++i) {
            if (i == j) continue;
            const double m = std::sqrt(std::norm(M(i, j)));
            rows[i] += m;
            columns[j] += m;
            if (i < j) {
                const double h = std::sqrt(std::norm(M(i, j) + std::conj(M(j, i)))) / 2;
                hermitian[i] += h;
                hermitian[j] += h;
            }
        }
    const Eigen::VectorXd diagonal = centres.cwiseAbs2().cwiseSqrt();
    slack = n == 0 ? 0.0 : relative_slack * std::max((rows + diagonal).maxCoeff(), (columns + diagonal).maxCoeff());
}

double gershgorin_discs::real_bound() const {
    if (centres.size() == 0) return -infinity;
    const Eigen::VectorXd real = centres.real();
    return std::min({(real + rows).maxCoeff(), (real + columns).maxCoeff(), (real + hermitian).maxCoeff()}) +
           slack;
}

double gershgorin_discs::modulus_in_strip(double lo, double hi) const {
    return std::min(union_modulus_in_strip(centres, rows, lo - slack, hi + slack),
                    union_modulus_in_strip(centres, columns, lo - slack, hi + slack)) +
           slack;
}

numerical_range::numerical_range(Eigen::Index n) : part(n, n) {}

// The factorisation fails at the first pivot that is not positive (or is
// NaN). Its order is that of a sampled matrix, whose n*n elements already
// fit 32 bits.
bool numerical_range::below(double t) {
    if (part.rows() == 0) return true;
    part = -part;
    part.diagonal().array() += t;
    const char lower = 'L';
    const auto n = static_cast<std::int32_t>(part.rows());
    std::int32_t info = 0;
    scipy_zpotrf_(&lower, &n, part.data(), &n, &info, 1);
    return info == 0;
}

// A factorisation that succeeds is exact for a matrix within a few units of
// rounding of t I - part: the slack keeps the conclusion for M and for the
// computed eigenvalues of M.
bool numerical_range::left_of(const Eigen::MatrixXcd& M, double t) {
    part = (M + M.adjoint()) / 2;
    return below(t - eigenvalue_slack(M));
}

// (M - M*)/(2i) = -i (M - M*)/2 is Hermitian, with v*(.)v = Im v*Mv; both
// it and its negative must lie below t.
bool numerical_range::lower_than(const Eigen::MatrixXcd& M, double t) {
    const double slack = eigenvalue_slack(M);
    part = std::complex<double>(0, -0.5) * (M - M.adjoint());
    if (!below(t - slack)) return false;
    part = std::complex<double>(0, 0.5) * (M - M.adjoint());
    return below(t - slack);
}

// A function with |f'| <= L on [a, b] stays above min(f(a), f(b)) - L (b - a)/2.
degree_bound::degree_bound(const cubic_spline& F, const cubic_spline& G) {
    const double width = std::numbers::pi / directions;
    for (int k = 0; k < directions; ++k) {
        const double first = k * width, last = (k + 1) * width;
        const std::size_t piece = piece_at(F, first + width / 2);
        const double t_far = std::max(std::abs(first - (F.x0 + static_cast<double>(piece) * F.h)),
                                      std::abs(last - (F.x0 + static_cast<double>(piece) * F.h)));
        const double dip = width / 2;
        const double slope_low = std::min(F(first), F(last)) - slope_bound(F, piece, t_far) * dip;
        const double offset_high =
            std::max(-G(first), -G(last)) + slope_bound(G, piece, t_far) * dip;
        intervals.push_back({std::cos(first), std::cos(last), slope_low, offset_high});
    }
}

// On an interval of directions right of the imaginary axis Re mu <= hi caps
// |mu| at hi / cos(theta), largest where cos is smallest; left of it
// Re mu >= lo caps |mu| at lo / cos(theta) in the same way; an interval
// across the axis is not capped. Where the cap lets |mu| reach past
// F*degree + G, the radius must stop there.
double degree_bound::largest_radius(int degree, double lo, double hi) const {
    if (std::isnan(lo) || std::isnan(hi)) return -infinity;
    const double ceiling = degree - 1e-9 * (1 + std::abs(degree));
    double radius = infinity;
    for (const auto& piece : intervals) {
        double cap = infinity;
        if (piece.cos_last > 0) {
            if (hi < 0) continue;
            cap = hi / piece.cos_last;
        } else if (piece.cos_first < 0) {
            if (lo >= 0) continue;
            cap = lo / piece.cos_first;
        }
        if (!(piece.slope_low > 0)) return -infinity;
        const double reach = ceiling * piece.slope_low - piece.offset_high;
        if (cap > reach) radius = std::min(radius, reach);
    }
    return radius;
}

}  // namespace quorv
