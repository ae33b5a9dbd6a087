#pragma once

#include <complex>
#include <vector>

#include <Eigen/Core>

#include "model/sparse_quorv.h"

struct klu_common_struct;

namespace quorv {

// KLU's factors of a matrix M in its block triangular form,
//   R^{-1} M(P, Q) = L U + F,
// all n x n in compressed columns with real and imaginary parts apart:
// L unit lower and U upper triangular, both block diagonal with the blocks
// [R_b, R_{b+1}) (diagonals stored), F the entries above the diagonal
// blocks; P and Q the rows and columns of M in their order, and R the
// diagonal of row scale factors in the order of P (R_k scales row P_k).
struct lu_factors {
    std::vector<int> Lp, Li, Up, Ui, Fp, Fi, P, Q, blocks;
    std::vector<double> Lx, Lz, Ux, Uz, Fx, Fz, R;
};

// Sparse LU factorisations of Delta(lambda) = lambda I - sum_k e^{-lambda h_k} A_k
// for a sparse model, with SuiteSparse's KLU: the pattern of Delta (the
// union of I and the A_k) is ordered once (block triangular form, then AMD
// on each block), and every lambda then costs one numeric factorisation of
// that pattern. Delta is formed in compressed columns straight from the
// model's entries: nothing of order n^2 is ever stored.
//
// Where the factors fill in (random couplings: hundreds of operations per
// entry of the factors), KLU's elimination, a column at a time without
// dense kernels, is slow; SuiteSparse's UMFPACK, whose fronts are dense
// blocks handed to the BLAS, then factors the same pattern (ordered once
// as well) two to several times faster.
class characteristic_lu {
public:
    // Which elimination factors Delta: `automatic` takes the frontal one
    // where KLU's ordering predicts more than frontal_work operations per
    // entry of the factors.
    enum class method { automatic, left_looking, frontal };
    static constexpr double frontal_work = 200;

    explicit characteristic_lu(const sparse_quorv& sys, method how = method::automatic);
    ~characteristic_lu();
    characteristic_lu(const characteristic_lu&) = delete;
    characteristic_lu& operator=(const characteristic_lu&) = delete;

    Eigen::Index order() const { return n; }

    // The numeric factorisations (factor and refactor) made so far in this
    // process, by every instance together: what a sparse call costs, for
    // the benchmarks.
    static long factorisations();

    // Forms and factors Delta(lambda) with partial pivoting. False when
    // Delta is not finite or its factorisation meets an exactly zero pivot.
    // Throws std::bad_alloc when the factors do not fit.
    bool factor(std::complex<double> lambda);
    // The same with the row pivots of the last successful factor(): cheaper,
    // and for a lambda close to that one as stable. The frontal elimination
    // has no such step and factors afresh on the same ordering.
    bool refactor(std::complex<double> lambda);
    // Forms and factors d I - sum_k c_k A_k for given coefficients c (one
    // per term): Delta with phases other than those of one lambda.
    bool factor(std::complex<double> d, const std::vector<std::complex<double>>& c);
    // The factors of the last factorisation, when KLU made it (the
    // left-looking elimination); false for the frontal one.
    bool factors(lu_factors& out) const;

    // log det Delta of the last factorisation: log |det| as the real part,
    // the phase (modulo whole turns) as the imaginary part.
    std::complex<double> log_det() const;
    bool frontal() const { return frontal_symbolic != nullptr; }

    // An estimate of |Delta^{-1}|_1 (Hager's, from a few solves).
    double inverse_norm();
    // x <- Delta^{-1} x for the last factorisation; x has n rows.
    void solve(Eigen::Ref<Eigen::MatrixXcd> x);
    // x <- Delta^{-H} x (the conjugate transpose) for the last factorisation.
    void solve_adjoint(Eigen::Ref<Eigen::MatrixXcd> x);

    // y = Delta(lambda) x and y = Delta'(lambda) x, from the model's entries.
    void apply(std::complex<double> lambda, const Eigen::VectorXcd& x, Eigen::VectorXcd& y) const;
    void apply_derivative(std::complex<double> lambda, const Eigen::VectorXcd& x, Eigen::VectorXcd& y) const;

private:
    const sparse_quorv& sys;
    Eigen::Index n = 0;
    // Delta's pattern in compressed columns, its values, and for every
    // entry of every A_k (and every diagonal entry) its place among them.
    std::vector<int> starts, rows;
    std::vector<std::complex<double>> values;
    std::vector<std::vector<int>> places;
    std::vector<int> diagonal;
    klu_common_struct* common = nullptr;
    void* symbolic = nullptr;
    void* numeric = nullptr;
    // UMFPACK's ordering, factors and options, when it factors Delta.
    void* frontal_symbolic = nullptr;
    void* frontal_numeric = nullptr;
    std::vector<double> control;

    bool form(std::complex<double> lambda);
    bool form(std::complex<double> d, const std::vector<std::complex<double>>& c);
    bool factor_formed();
    bool frontal_factor();
    void frontal_solve(int system, Eigen::Ref<Eigen::MatrixXcd> x);
    double hager_estimate();
    void release_numeric();
    [[noreturn]] void out_of_memory() const;
};

}  // namespace quorv
