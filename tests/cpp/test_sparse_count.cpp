#include <cmath>
#include <complex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <Eigen/Eigenvalues>
#include <gtest/gtest.h>

#include "model/quorv.h"
#include "model/sparse_quorv.h"
#include "roots/count/log_determinant.h"
#include "roots/count/root_count.h"
#include "roots/count/sparse_count.h"
#include "roots/count/sparse_determinant.h"
#include "roots/count/sparse_enclosure.h"
#include "roots/count/sparse_root_bound.h"
#include "roots/krylov/characteristic_lu.h"
#include "roots/roots.h"
#include "roots/support/validate_sparse.h"

namespace {

using cplx = std::complex<double>;
using matrix = quorv::sparse_quorv::matrix;

// A random system with about `per_row` entries per row in each matrix,
// and the same system dense.
struct twin {
    quorv::sparse_quorv sparse;
    quorv::quorv dense;
};

twin random_twin(int n, int per_row, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> column(0, n - 1);
    std::normal_distribution<double> value(0, 1);
    std::vector<matrix> sparse;
    std::vector<Eigen::MatrixXd> dense;
    for (int k = 0; k < 2; ++k) {
        std::vector<Eigen::Triplet<double>> entries;
        for (int i = 0; i < n; ++i) {
            if (k == 0) entries.emplace_back(i, i, -3.0);
            for (int e = 0; e < per_row; ++e) entries.emplace_back(i, column(gen), value(gen) / std::sqrt(per_row));
        }
        matrix a(n, n);
        a.setFromTriplets(entries.begin(), entries.end());
        sparse.push_back(a);
        dense.push_back(Eigen::MatrixXd(a));
    }
    return {quorv::sparse_quorv(sparse, {0.0, 1.0}), quorv::quorv(dense, {0.0, 1.0})};
}

Eigen::MatrixXcd dense_delta(const quorv::quorv& sys, cplx lambda) {
    Eigen::MatrixXcd d = lambda * Eigen::MatrixXcd::Identity(sys.n(), sys.n());
    for (std::size_t k = 0; k < sys.mA(); ++k) d -= std::exp(-lambda * sys.hA[k]) * sys.A[k].cast<cplx>();
    return d;
}

using method = quorv::characteristic_lu::method;

// The sparse factorisation's log det against the dense determinant, phase
// modulo 2 pi, by both eliminations: row scaling, pivoting, the block
// triangular form and the fill-reducing order must all cancel.
TEST(CharacteristicLU, LogDeterminantMatchesDenseDeterminant) {
    const twin sys = random_twin(40, 2, 7);
    for (const method how : {method::left_looking, method::frontal}) {
        quorv::characteristic_lu lu(sys.sparse, how);
        for (const cplx lambda : {cplx(0.3, 0.0), cplx(-1.0, 2.5), cplx(2.0, -7.0)}) {
            ASSERT_TRUE(lu.factor(lambda));
            const cplx det = dense_delta(sys.dense, lambda).determinant();
            const cplx log_det = lu.log_det();
            EXPECT_NEAR(log_det.real(), std::log(std::abs(det)), 1e-9);
            EXPECT_NEAR(std::remainder(log_det.imag() - std::arg(det), 2 * M_PI), 0, 1e-9);
            Eigen::VectorXcd x = Eigen::VectorXcd::LinSpaced(40, 1, 40), y;
            lu.apply(lambda, x, y);
            lu.solve(y);
            EXPECT_LT((y - x).norm(), 1e-10 * x.norm());
        }
    }
}

// The frontal elimination where the factors fill in (random couplings of
// 1000 states), KLU's on a chain; the frontal one's estimate of
// |Delta^{-1}|_1 against the dense inverse's (a lower bound, near it).
TEST(CharacteristicLU, FrontalWhereTheFactorsFillIn) {
    EXPECT_TRUE(quorv::characteristic_lu(random_twin(1000, 4, 1).sparse).frontal());
    EXPECT_FALSE(quorv::characteristic_lu(random_twin(1000, 1, 1).sparse).frontal());
    const twin sys = random_twin(40, 2, 3);
    quorv::characteristic_lu lu(sys.sparse, method::frontal);
    ASSERT_TRUE(lu.frontal() && lu.factor(cplx(-0.5, 1.0)));
    const Eigen::MatrixXcd inverse = dense_delta(sys.dense, cplx(-0.5, 1.0)).inverse();
    const double truth = inverse.cwiseAbs().colwise().sum().maxCoeff();
    EXPECT_LE(lu.inverse_norm(), truth * (1 + 1e-12));
    EXPECT_GE(lu.inverse_norm(), 0.3 * truth);
}

// The sparse count against the dense route's on the same system, at lines
// through its spectrum.
TEST(SparseCount, AgreesWithDenseCount) {
    for (const unsigned seed : {1u, 2u}) {
        const twin sys = random_twin(30, 3, seed);
        for (const double r : {-2.0, -1.0, 0.0})
            EXPECT_EQ(quorv::count_roots(sys.sparse, r), quorv::count_roots(sys.dense, r)) << seed << " " << r;
    }
}

// x' = -x(t - 1) in every one of n decoupled states, one of them at gain
// pi/2 (a pair on the axis: not stable) or below.
TEST(SparseCount, StabilityOfDecoupledModes) {
    for (const double gain : {1.0, 1.6}) {
        matrix a(50, 50);
        for (int i = 0; i < 50; ++i) a.insert(i, i) = -gain * (i + 1) / 50.0;
        const quorv::sparse_quorv sys({a}, {1.0});
        EXPECT_EQ(quorv::is_stable(sys), gain < M_PI / 2) << gain;
    }
}

// The adjoint solve against the dense conjugate transpose, by both eliminations.
TEST(CharacteristicLU, AdjointSolveMatchesDenseAdjoint) {
    const twin sys = random_twin(40, 2, 5);
    for (const method how : {method::left_looking, method::frontal}) {
        quorv::characteristic_lu lu(sys.sparse, how);
        const cplx lambda(-0.4, 1.7);
        ASSERT_TRUE(lu.factor(lambda));
        const Eigen::VectorXcd b = Eigen::VectorXcd::LinSpaced(40, 1, 40);
        Eigen::MatrixXcd x(40, 2);
        x << b, 2.0 * b;
        lu.solve_adjoint(x);
        EXPECT_LT((dense_delta(sys.dense, lambda).adjoint() * x.col(1) - 2.0 * b).norm(), 2e-10 * b.norm());
    }
}

void expect_inside(const quorv::rectangle& box, cplx z) {
    EXPECT_TRUE(z.real() >= box.x0 && z.real() <= box.x1 && std::abs(z.imag()) <= box.y1)
        << z << " outside [" << box.x0 << ", " << box.x1 << "] x +-" << box.y1;
}

// Every root right of r lies in the box: the dense route's roots of random
// non-normal systems, where the weighted bounds fall well under the norms.
TEST(SparseRootBox, HoldsTheRootsOfRandomSystems) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        const twin sys = random_twin(12, 3, seed);
        for (const double r : {-4.0, -3.0}) {
            const auto found = quorv::roots(sys.dense, r);
            EXPECT_FALSE(found.empty());
            for (const cplx z : found) expect_inside(quorv::root_box(sys.sparse, r), z);
        }
    }
}

// An undelayed system's roots are its eigenvalues: inside the box, and for a
// symmetric one with nonnegative couplings (a ring with random weights) the
// box's right side comes down to the top eigenvalue, where plain Gershgorin
// discs stay a row sum above it.
TEST(SparseRootBox, ReachesTheTopEigenvalue) {
    std::mt19937 gen(4);
    std::uniform_real_distribution<double> weight(0.1, 1.0);
    const int n = 40;
    std::vector<Eigen::Triplet<double>> entries;
    for (int i = 0; i < n; ++i) {
        const double w = weight(gen);
        entries.emplace_back(i, i, -3.0 * weight(gen));
        entries.emplace_back(i, (i + 1) % n, w);
        entries.emplace_back((i + 1) % n, i, w);
        entries.emplace_back(i, (i + 7) % n, weight(gen));
    }
    matrix u(n, n);
    u.setFromTriplets(entries.begin(), entries.end());
    const Eigen::MatrixXd dense(u);
    const quorv::rectangle box = quorv::root_box(quorv::sparse_quorv({u}, {0.0}), -10.0);
    const Eigen::EigenSolver<Eigen::MatrixXd> eigen(dense);
    for (const cplx z : eigen.eigenvalues()) expect_inside(box, z);
    const Eigen::MatrixXd symmetric = 0.5 * (dense + dense.transpose());
    const double top = Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(symmetric).eigenvalues().maxCoeff();
    EXPECT_LT(box.x1, top + 0.05 * (top - symmetric.diagonal().maxCoeff()));
}

// -I plus 6e307 down the first column: the column's sum of magnitudes
// overflows, the bounds on the roots (6e307 - 1 and -1) do not.
TEST(SparseRootBox, EntriesWhoseSumsOverflowGiveAFiniteBox) {
    matrix a(4, 4);
    for (int i = 0; i < 4; ++i) a.insert(i, 0) = 6e307;
    for (int i = 1; i < 4; ++i) a.insert(i, i) = -1.0;
    const quorv::rectangle box = quorv::root_box(quorv::sparse_quorv({a}, {0.0}), -2.0);
    EXPECT_TRUE(std::isfinite(box.x1) && std::isfinite(box.y1));
    EXPECT_GE(box.x1, 6e307);
}

// The disk around the simple root of x' = -x + 0.5 x(t - 1), -1 + W(e/2),
// from a point near it, holds it and is tight.
TEST(SparseEncloser, TightDiskAroundASimpleRoot) {
    matrix a0(3, 3), a1(3, 3);
    for (int i = 0; i < 3; ++i) a0.insert(i, i) = -1.0 - 2 * i, a1.insert(i, i) = 0.5;
    const quorv::sparse_quorv sys({a0, a1}, {0.0, 1.0});
    quorv::work_budget budget{10000};
    quorv::sparse_determinant f(sys, budget);
    quorv::sparse_encloser enclose(f);
    const double truth = -0.3149230578454061;
    const auto disks = enclose.around(truth + 1e-3, 0, 0.1);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].multiplicity, 1);
    EXPECT_LE(std::abs(disks[0].z - truth), disks[0].radius);
    EXPECT_LE(disks[0].radius, 1e-9);
}

// Near a root of one mode of a diagonal system, Delta's smallest singular
// value with its rows scaled by their terms is that mode's entry over its
// row's terms, alike for both models.
TEST(SparseDeterminant, SingularityNearARootMatchesTheDenseModel) {
    matrix a0(3, 3), a1(3, 3);
    for (int i = 0; i < 3; ++i) a0.insert(i, i) = -1.0 - 2 * i, a1.insert(i, i) = 0.5;
    const quorv::sparse_quorv sys({a0, a1}, {0.0, 1.0});
    const quorv::quorv dense({Eigen::MatrixXd(a0), Eigen::MatrixXd(a1)}, {0.0, 1.0});
    quorv::work_budget budget{100};
    quorv::sparse_determinant f(sys, budget);
    quorv::log_determinant g(dense, budget);
    for (const cplx lambda : {cplx(-0.3149230578454061 + 1e-9, 0), cplx(-0.3149230578454061, 1e-7)}) {
        const double expected = std::abs(lambda + 1.0 - 0.5 * std::exp(-lambda)) /
                                (std::abs(lambda) + 1.0 + 0.5 * std::exp(-lambda.real()));
        EXPECT_NEAR(f.singularity(lambda), expected, 1e-5 * expected);
        EXPECT_NEAR(g.singularity(lambda), expected, 1e-5 * expected);
    }
}

template <typename Exception>
void expect_refused(const quorv::sparse_quorv& sys, const std::string& message) {
    try {
        quorv::validate(sys);
        FAIL() << "expected " << message;
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(SparseValidate, NamesTheCulpritAsForTheDenseModel) {
    matrix square(2, 2), tall(3, 2), bad(2, 2);
    square.insert(0, 1) = 1;
    bad.insert(1, 0) = std::nan("");
    expect_refused<std::length_error>(quorv::sparse_quorv({}, {}), "vector too long");
    expect_refused<std::out_of_range>(quorv::sparse_quorv({square, square}, {1.0}), "invalid vector subscript");
    expect_refused<std::invalid_argument>(quorv::sparse_quorv({square, tall}, {0.0, 1.0}),
                                          "matrix 1 has shape (3, 2), expected (2, 2)");
    expect_refused<std::invalid_argument>(quorv::sparse_quorv({square, bad}, {0.0, 1.0}),
                                          "matrix 1 has a non-finite entry at (1, 0): nan");
    expect_refused<std::invalid_argument>(quorv::sparse_quorv({square}, {-0.5}), "delay 0 is negative: -0.5");
}

}  // namespace
