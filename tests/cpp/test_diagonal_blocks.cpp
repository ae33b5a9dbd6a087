#include <complex>

#include <gtest/gtest.h>

#include "roots/support/diagonal_blocks.h"

namespace {

using cplx = std::complex<double>;

cplx det_delta(const quorv::quorv& sys, cplx lambda) {
    Eigen::MatrixXcd delta = lambda * Eigen::MatrixXcd::Identity(sys.n(), sys.n());
    for (std::size_t k = 0; k < sys.mA(); ++k) delta -= std::exp(-lambda * sys.hA[k]) * sys.A[k].cast<cplx>();
    return delta.determinant();
}

}  // namespace

// States 0 and 2 drive each other, state 1 drives them and is driven by none,
// and only state 1 has a delayed term: block triangular after a permutation,
// so det Delta is the product of the blocks' determinants at every lambda.
TEST(DiagonalBlocks, MultiplyToTheDeterminant) {
    const Eigen::MatrixXd a0{{-1, 1e300, 2}, {0, -3, 0}, {4, 5e-324, -5}}, a1{{0, 0, 0}, {0, 0.5, 0}, {0, 0, 0}};
    const quorv::quorv sys({a0, a1}, {0.0, 1.5});
    const std::vector<quorv::quorv> blocks = quorv::diagonal_blocks(sys);
    ASSERT_EQ(blocks.size(), 2u);
    long states = 0;
    for (const quorv::quorv& b : blocks) {
        states += b.n();
        // The delayed term acts on state 1's block alone.
        EXPECT_EQ(b.mA(), b.n() == 1 ? 2u : 1u);
    }
    EXPECT_EQ(states, 3);
    for (const cplx lambda : {cplx(0.3, 0.2), cplx(-2, 7)}) {
        cplx product = 1;
        for (const quorv::quorv& b : blocks) product *= det_delta(b, lambda);
        // The 1e300 entry couples one way only: it never enters the determinant.
        const quorv::quorv decoupled({Eigen::MatrixXd{{-1, 0, 2}, {0, -3, 0}, {4, 0, -5}}, a1}, {0.0, 1.5});
        EXPECT_LE(std::abs(product - det_delta(decoupled, lambda)), 1e-12 * std::abs(product));
    }
}

TEST(DiagonalBlocks, NoneForOneGroup) {
    EXPECT_TRUE(quorv::diagonal_blocks(quorv::quorv({Eigen::MatrixXd{{-1, 2}, {3, -4}}}, {0.0})).empty());
    // A state no term acts on is a block of its own: det Delta = lambda there.
    const auto blocks = quorv::diagonal_blocks(quorv::quorv({Eigen::MatrixXd{{0, 0}, {1, -4}}}, {0.7}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_TRUE(blocks[0].A[0].isZero(0) && blocks[0].hA[0] == 0.0);
}
