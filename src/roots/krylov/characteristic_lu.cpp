#include "roots/krylov/characteristic_lu.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <numbers>

#include <klu.h>
#include <umfpack.h>

namespace quorv {

namespace {

using cplx = std::complex<double>;

klu_symbolic* as_symbolic(void* p) { return static_cast<klu_symbolic*>(p); }
klu_numeric* as_numeric(void* p) { return static_cast<klu_numeric*>(p); }

// The parity of a permutation, from its cycles: each cycle of length L is
// L - 1 transpositions.
bool odd(const int* p, int n) {
    std::vector<bool> seen(std::size_t(n), false);
    int transpositions = 0;
    for (int i = 0; i < n; ++i) {
        if (seen[std::size_t(i)]) continue;
        for (int j = i; !seen[std::size_t(j)]; j = p[j]) seen[std::size_t(j)] = true, ++transpositions;
        --transpositions;
    }
    return transpositions % 2 != 0;
}

cplx factor_of(double h, cplx lambda) { return std::exp(cplx(-lambda.real() * h, -lambda.imag() * h)); }

std::atomic<long> made{0};

}  // namespace

// Delta's pattern: the diagonal and every stored entry of every A_k, in
// compressed columns with sorted rows, and where each entry lands in it.
characteristic_lu::characteristic_lu(const sparse_quorv& sys, method how) : sys(sys), n(sys.n()) {
    using matrix = sparse_quorv::matrix;
    matrix pattern(n, n);
    pattern.setIdentity();
    for (const matrix& a : sys.A) pattern += a.cwiseAbs();
    pattern.makeCompressed();
    starts.assign(pattern.outerIndexPtr(), pattern.outerIndexPtr() + n + 1);
    rows.assign(pattern.innerIndexPtr(), pattern.innerIndexPtr() + pattern.nonZeros());
    values.resize(rows.size());
    const auto place = [&](int i, int j) {
        return int(std::lower_bound(rows.begin() + starts[j], rows.begin() + starts[j + 1], i) - rows.begin());
    };
    for (int j = 0; j < n; ++j) diagonal.push_back(place(j, j));
    for (const matrix& a : sys.A) {
        std::vector<int>& p = places.emplace_back();
        p.reserve(std::size_t(a.nonZeros()));
        for (int j = 0; j < n; ++j)
            for (matrix::InnerIterator it(a, j); it; ++it) p.push_back(place(int(it.row()), j));
    }
    common = new klu_common;
    klu_defaults(common);
    symbolic = klu_analyze(int(n), starts.data(), rows.data(), common);
    if (!symbolic) out_of_memory();
    const klu_symbolic* s = as_symbolic(symbolic);
    const bool fills = s->est_flops > frontal_work * (s->lnz + s->unz);
    if (how == method::frontal || (how == method::automatic && fills)) {
        control.resize(UMFPACK_CONTROL);
        umfpack_zi_defaults(control.data());
        control[UMFPACK_IRSTEP] = 0;  // plain solves, as KLU's
        const int status = umfpack_zi_symbolic(int(n), int(n), starts.data(), rows.data(), nullptr, nullptr,
                                               &frontal_symbolic, control.data(), nullptr);
        if (status == UMFPACK_ERROR_out_of_memory) out_of_memory();
        if (status != UMFPACK_OK) frontal_symbolic = nullptr;
    }
}

characteristic_lu::~characteristic_lu() {
    release_numeric();
    klu_symbolic* s = as_symbolic(symbolic);
    if (s) klu_free_symbolic(&s, common);
    if (frontal_symbolic) umfpack_zi_free_symbolic(&frontal_symbolic);
    delete common;
}

void characteristic_lu::out_of_memory() const { throw std::bad_alloc(); }

void characteristic_lu::release_numeric() {
    klu_numeric* f = as_numeric(numeric);
    if (f) klu_z_free_numeric(&f, common);
    numeric = nullptr;
    if (frontal_numeric) umfpack_zi_free_numeric(&frontal_numeric);
}

bool characteristic_lu::form(cplx lambda) {
    std::vector<cplx> c(sys.mA());
    for (std::size_t k = 0; k < sys.mA(); ++k) c[k] = factor_of(sys.hk(k), lambda);
    return form(lambda, c);
}

bool characteristic_lu::form(cplx d, const std::vector<cplx>& c) {
    std::fill(values.begin(), values.end(), cplx(0));
    for (int j = 0; j < n; ++j) values[std::size_t(diagonal[std::size_t(j)])] = d;
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const cplx e = c[k];
        const double* a = sys.A[k].valuePtr();
        const std::vector<int>& p = places[k];
        for (std::size_t i = 0; i < p.size(); ++i) values[std::size_t(p[i])] -= e * a[i];
    }
    return std::all_of(values.begin(), values.end(),
                       [](cplx v) { return std::isfinite(v.real()) && std::isfinite(v.imag()); });
}

long characteristic_lu::factorisations() { return made.load(std::memory_order_relaxed); }

bool characteristic_lu::factor(cplx lambda) {
    release_numeric();
    return form(lambda) && factor_formed();
}

bool characteristic_lu::factor(cplx d, const std::vector<cplx>& c) {
    release_numeric();
    return form(d, c) && factor_formed();
}

bool characteristic_lu::factor_formed() {
    made.fetch_add(1, std::memory_order_relaxed);
    if (frontal()) return frontal_factor();
    numeric = klu_z_factor(starts.data(), rows.data(), reinterpret_cast<double*>(values.data()),
                           as_symbolic(symbolic), common);
    if (common->status == KLU_OUT_OF_MEMORY || common->status == KLU_TOO_LARGE) out_of_memory();
    return numeric != nullptr && common->status == KLU_OK;
}

bool characteristic_lu::factors(lu_factors& out) const {
    const klu_numeric* f = as_numeric(numeric);
    if (frontal() || !f) return false;
    const std::size_t size = std::size_t(n), lnz = std::size_t(f->lnz), unz = std::size_t(f->unz);
    const std::size_t fnz = std::size_t(f->nzoff);
    out.Lp.resize(size + 1), out.Li.resize(lnz), out.Lx.resize(lnz), out.Lz.resize(lnz);
    out.Up.resize(size + 1), out.Ui.resize(unz), out.Ux.resize(unz), out.Uz.resize(unz);
    out.Fp.resize(size + 1), out.Fi.resize(fnz), out.Fx.resize(fnz), out.Fz.resize(fnz);
    out.P.resize(size), out.Q.resize(size), out.R.resize(size);
    out.blocks.resize(std::size_t(as_symbolic(symbolic)->nblocks) + 1);
    return klu_z_extract(as_numeric(numeric), as_symbolic(symbolic), out.Lp.data(), out.Li.data(), out.Lx.data(),
                         out.Lz.data(), out.Up.data(), out.Ui.data(), out.Ux.data(), out.Uz.data(), out.Fp.data(),
                         out.Fi.data(), out.Fx.data(), out.Fz.data(), out.P.data(), out.Q.data(), out.R.data(),
                         out.blocks.data(), common) != 0;
}

bool characteristic_lu::frontal_factor() {
    const int status = umfpack_zi_numeric(starts.data(), rows.data(), reinterpret_cast<double*>(values.data()),
                                          nullptr, frontal_symbolic, &frontal_numeric, control.data(), nullptr);
    if (status == UMFPACK_ERROR_out_of_memory) out_of_memory();
    if (status == UMFPACK_OK) return true;
    release_numeric();
    return false;
}

bool characteristic_lu::refactor(cplx lambda) {
    if (frontal()) return frontal_numeric && factor(lambda);
    if (!numeric || !form(lambda)) return false;
    made.fetch_add(1, std::memory_order_relaxed);
    const int done = klu_z_refactor(starts.data(), rows.data(), reinterpret_cast<double*>(values.data()),
                                    as_symbolic(symbolic), as_numeric(numeric), common);
    if (!done) release_numeric();
    return done && common->status == KLU_OK;
}

// KLU factors P (R^{-1} Delta) Q = L U + F with unit lower triangular L, row
// scale factors R > 0 and F the blocks above the block diagonal, which
// leave the determinant alone: det Delta = prod R_i sign(P) sign(Q) prod u_ii.
// The product is taken as it stands, its power of two split off at every
// factor so that it neither overflows nor underflows: a logarithm and an
// arctangent for each of n pivots would cost more than the factorisation of
// a Laplacian itself. Its phase is that of the sum of the pivots' arguments
// up to whole turns, which is all a change of phase is read modulo.
cplx characteristic_lu::log_det() const {
    if (frontal()) {
        // UMFPACK's determinant as a mantissa and a power of ten.
        double mantissa[2] = {0, 0}, exponent = 0;
        umfpack_zi_get_determinant(mantissa, nullptr, &exponent, frontal_numeric, nullptr);
        const cplx m(mantissa[0], mantissa[1]);
        return {std::log(std::abs(m)) + exponent * std::numbers::ln10, std::arg(m)};
    }
    const klu_numeric* f = as_numeric(numeric);
    const klu_symbolic* s = as_symbolic(symbolic);
    const cplx* u = static_cast<const cplx*>(f->Udiag);
    cplx product = 1;
    long exponent = 0;
    for (int i = 0; i < n; ++i) {
        product *= f->Rs ? u[i] * f->Rs[i] : u[i];
        int e = 0;
        std::frexp(std::max(std::abs(product.real()), std::abs(product.imag())), &e);
        product = {std::ldexp(product.real(), -e), std::ldexp(product.imag(), -e)};
        exponent += e;
    }
    double phase = std::arg(product);
    if (odd(f->Pnum, int(n)) != odd(s->Q, int(n))) phase += std::numbers::pi;
    return {std::log(std::abs(product)) + double(exponent) * std::numbers::ln2, phase};
}

// Hager's estimate, which KLU's condition estimate makes as well: the
// 1-norm of Delta^{-1} x over |x|_1 = 1 rises when x moves to the unit
// vector where the gradient Delta^{-H} sign(Delta^{-1} x) is largest, until
// it stops rising. A lower bound, exact for most matrices.
double characteristic_lu::hager_estimate() {
    Eigen::VectorXcd x = Eigen::VectorXcd::Constant(n, 1.0 / double(n));
    double estimate = 0;
    for (int pass = 0; pass < 5; ++pass) {
        solve(x);
        const double norm = x.cwiseAbs().sum();
        if (!std::isfinite(norm)) return HUGE_VAL;
        if (norm <= estimate) break;
        estimate = norm;
        for (cplx& v : x) v = std::abs(v) > 0 ? v / std::abs(v) : cplx(1);
        solve_adjoint(x);
        Eigen::Index largest = 0;
        x.cwiseAbs().maxCoeff(&largest);
        x.setZero();
        x[largest] = 1;
    }
    return estimate;
}

double characteristic_lu::inverse_norm() {
    if (frontal()) return hager_estimate();
    if (!klu_z_condest(starts.data(), reinterpret_cast<double*>(values.data()), as_symbolic(symbolic),
                       as_numeric(numeric), common))
        return HUGE_VAL;
    double norm = 0;
    for (int j = 0; j < n; ++j) {
        double column = 0;
        for (int p = starts[j]; p < starts[j + 1]; ++p) column += std::abs(values[std::size_t(p)]);
        norm = std::max(norm, column);
    }
    return common->condest / norm;
}

void characteristic_lu::frontal_solve(int system, Eigen::Ref<Eigen::MatrixXcd> x) {
    Eigen::VectorXcd b(n);
    for (Eigen::Index j = 0; j < x.cols(); ++j) {
        b = x.col(j);
        umfpack_zi_solve(system, starts.data(), rows.data(), reinterpret_cast<const double*>(values.data()), nullptr,
                         reinterpret_cast<double*>(x.data() + j * x.outerStride()), nullptr,
                         reinterpret_cast<const double*>(b.data()), nullptr, frontal_numeric, control.data(),
                         nullptr);
    }
}

void characteristic_lu::solve(Eigen::Ref<Eigen::MatrixXcd> x) {
    if (x.size() == 0) return;
    if (frontal()) return frontal_solve(UMFPACK_A, x);
    klu_z_solve(as_symbolic(symbolic), as_numeric(numeric), int(x.outerStride()), int(x.cols()),
                reinterpret_cast<double*>(x.data()), common);
}

void characteristic_lu::solve_adjoint(Eigen::Ref<Eigen::MatrixXcd> x) {
    if (x.size() == 0) return;
    // UMFPACK_At is the conjugate transpose for complex matrices.
    if (frontal()) return frontal_solve(UMFPACK_At, x);
    klu_z_tsolve(as_symbolic(symbolic), as_numeric(numeric), int(x.outerStride()), int(x.cols()),
                 reinterpret_cast<double*>(x.data()), 1, common);
}

void characteristic_lu::apply(cplx lambda, const Eigen::VectorXcd& x, Eigen::VectorXcd& y) const {
    y = lambda * x;
    for (std::size_t k = 0; k < sys.mA(); ++k) y -= factor_of(sys.hk(k), lambda) * (sys.A[k] * x);
}

void characteristic_lu::apply_derivative(cplx lambda, const Eigen::VectorXcd& x, Eigen::VectorXcd& y) const {
    y = x;
    for (std::size_t k = 0; k < sys.mA(); ++k)
        if (sys.hk(k) != 0) y += (sys.hk(k) * factor_of(sys.hk(k), lambda)) * (sys.A[k] * x);
}

}  // namespace quorv
