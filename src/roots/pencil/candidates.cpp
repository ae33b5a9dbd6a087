#include "roots/pencil/candidates.h"

#include <complex>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include <unistd.h>

#include <Eigen/Eigenvalues>

#include "roots/pencil/companion.h"
#include "roots/pencil/discretize.h"
#include "roots/support/abandonable.h"
#include "roots/support/out_of_memory.h"

namespace quorv {

namespace {

std::string gibibytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", bytes / (1024.0 * 1024.0 * 1024.0));
    return text;
}

// The standard form C and, beside it, LAPACK's work and the eigenvalues: a
// few dozen vectors of length D (the Hessenberg reduction works in blocks of
// at most 64 columns).
double standard_form_bytes(Eigen::Index D) {
    return (double(D) + 64.0) * double(D) * sizeof(double);
}

// The pencil and the copies the QZ reduction works on (the two Schur forms,
// the triangular factorisation of M2 and its orthogonal factor).
double qz_bytes(Eigen::Index D) { return 6.0 * double(D) * double(D) * sizeof(double); }

// LAPACK and Eigen count the D*D elements in 32-bit integers. Beyond physical
// memory the operating system would kill the process instead of refusing the
// allocation, so refuse first.
void check_memory(Eigen::Index D, double needed) {
    const std::string pencil = "the pencil of order " + std::to_string(D);
    const std::string advice = "; a larger r needs a smaller pencil";
    if (D > 0 && std::numeric_limits<std::int32_t>::max() / D < D)
        throw out_of_memory(pencil + " is too large: its elements cannot be counted in 32 bits" +
                               advice);
    const double physical = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGE_SIZE));
    if (needed > physical)
        throw out_of_memory(pencil + " needs " + gibibytes(needed) +
                               " of memory, more than this machine's " + gibibytes(physical) +
                               advice);
}

// The eigenvalues of the real quasi-triangular pair (S, T) that the QZ
// reduction leaves: a 1x1 block on the diagonal gives S_ii / T_ii, each part
// of the numerator divided by the real denominator, so a zero T_ii gives a
// candidate that is not finite and is dropped later; a 2x2 block gives the
// conjugate pair of eigenvalues of T_b^{-1} S_b, from its trace and
// determinant.
Eigen::VectorXcd quasi_triangular_eigenvalues(const Eigen::MatrixXd& S, const Eigen::MatrixXd& T) {
    const Eigen::Index D = S.rows();
    Eigen::VectorXcd lambda(D);
    for (Eigen::Index i = 0; i < D;) {
        if (i == D - 1 || S(i + 1, i) == 0) {
            lambda[i] = {S(i, i) / T(i, i), 0.0 / T(i, i)};
            ++i;
            continue;
        }
        const Eigen::Matrix2d M = T.block<2, 2>(i, i).triangularView<Eigen::Upper>().solve(S.block<2, 2>(i, i));
        const std::complex<double> half_trace = 0.5 * M.trace();
        const std::complex<double> root = std::sqrt(half_trace * half_trace - M.determinant());
        lambda[i] = half_trace - root;
        lambda[i + 1] = half_trace + root;
        i += 2;
    }
    return lambda;
}

// Below abandonable_from_order an eigenvalue problem takes a few
// milliseconds at most, a wait for a stop no one notices.
interrupt_check for_order(Eigen::Index D, const interrupt_check& check) {
    return D >= abandonable_from_order ? check : interrupt_check{};
}

// The QZ reduction of the pencil itself, on a thread that a stop abandons
// (it owns the pencil). Its status is read before its Schur forms: those of
// a failed reduction are not defined.
Eigen::VectorXcd qz_candidates(const quorv& sys, int N, const interrupt_check& check) {
    auto [M1, M2] = discretize(sys, N);
    const Eigen::Index D = M1.rows();
    auto reduce = [M1 = std::move(M1), M2 = std::move(M2)]() -> std::optional<Eigen::VectorXcd> {
        const Eigen::RealQZ<Eigen::MatrixXd> qz(M1, M2, false);
        if (qz.info() != Eigen::Success) return std::nullopt;
        return quasi_triangular_eigenvalues(qz.matrixS(), qz.matrixT());
    };
    std::optional<Eigen::VectorXcd> lambda = run_abandonable(std::move(reduce), for_order(D, check));
    if (!lambda)
        throw std::runtime_error("the QZ iteration did not converge on the pencil of order " + std::to_string(D) +
                                 ", nor did the QR iteration on its standard form");
    return std::move(*lambda);
}

// The eigenvalues of C (the pencil's standard form, or an undelayed
// system's summed matrix), on a thread that a stop abandons: the thread owns
// C and its own copy of the routine.
std::optional<Eigen::VectorXcd> standard_form_eigenvalues(Eigen::MatrixXd C, const eigenvalue_routine& standard,
                                                          const interrupt_check& check) {
    const Eigen::Index D = C.rows();
    auto solve = [C = std::move(C), standard]() mutable -> std::optional<Eigen::VectorXcd> {
        Eigen::VectorXcd lambda;
        if (!standard(C, lambda)) return std::nullopt;
        return lambda;
    };
    return run_abandonable(std::move(solve), for_order(D, check));
}

}  // namespace

Eigen::VectorXcd pencil_candidates(const quorv& sys, int N, const interrupt_check& check,
                                   const eigenvalue_routine& standard) {
    const Eigen::Index D = sys.n() * (Eigen::Index(N) + 1);
    if (D == 0) return {};
    check_memory(D, standard_form_bytes(D));
    if (std::optional<Eigen::VectorXcd> lambda = standard_form_eigenvalues(companion(sys, N), standard, check))
        return std::move(*lambda);
    check_memory(D, qz_bytes(D));
    return qz_candidates(sys, N, check);
}

Eigen::VectorXcd undelayed_candidates(const quorv& sys, const interrupt_check& check,
                                      const eigenvalue_routine& standard) {
    if (sys.n() == 0) return {};
    Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(sys.n(), sys.n());
    for (const Eigen::MatrixXd& a : sys.A) sum += a;
    if (std::optional<Eigen::VectorXcd> lambda = standard_form_eigenvalues(sum, standard, check))
        return std::move(*lambda);
    auto solve = [sum = std::move(sum)]() -> std::optional<Eigen::VectorXcd> {
        const Eigen::EigenSolver<Eigen::MatrixXd> solver(sum, false);
        if (solver.info() != Eigen::Success) return std::nullopt;
        return solver.eigenvalues();
    };
    std::optional<Eigen::VectorXcd> lambda = run_abandonable(std::move(solve), for_order(sys.n(), check));
    if (!lambda) throw std::runtime_error("the eigenvalue iteration did not converge on the sum of the matrices");
    return std::move(*lambda);
}

}  // namespace quorv
