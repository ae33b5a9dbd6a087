#include <cmath>

#include <gtest/gtest.h>

#include "roots/support/balance.h"

namespace {

Eigen::MatrixXd similar(const Eigen::MatrixXd& a, double s) {
    Eigen::MatrixXd b = a;
    b(0, 1) /= s;
    b(1, 0) *= s;
    return b;  // S a S^{-1} with S = diag(1, s)
}

}  // namespace

// Badly scaled states, S A_k S^{-1} with S = diag(1, 2^k), balance to the
// same system up to a factor 2 in the off-diagonal entries, exactly (every
// factor a power of two, so no entry is rounded).
TEST(Balance, UndoesTheUnitsOfAState) {
    const Eigen::MatrixXd a0{{-5, 1}, {2, -6}}, a1{{-2, 1}, {4, -1}};
    const quorv::quorv plain({a0, a1}, {0.0, 1.0});
    for (const int k : {-60, -20, 20, 60}) {
        const double s = std::ldexp(1.0, k);
        const quorv::balanced_system b = quorv::balanced(quorv::quorv({similar(a0, s), similar(a1, s)}, {0.0, 1.0}));
        for (std::size_t m = 0; m < 2; ++m) {
            const Eigen::MatrixXd& got = b.sys.A[m];
            const Eigen::MatrixXd& given = plain.A[m];
            EXPECT_EQ(got.diagonal(), given.diagonal());
            // The balanced entries differ from the plain ones by a power of two, at most 4.
            const double ratio = got(0, 1) / given(0, 1);
            EXPECT_EQ(ratio, std::exp2(std::round(std::log2(ratio))));
            EXPECT_LE(std::abs(std::log2(ratio)), 2.0) << k;
            EXPECT_EQ(got(0, 1) * got(1, 0), given(0, 1) * given(1, 0));
        }
        EXPECT_EQ(b.scale[0] / b.scale[1], std::exp2(std::round(std::log2(b.scale[0] / b.scale[1]))));
    }
}

// Entries near the ends of the double range balance without overflow, and a
// system without coupling is left as it is.
TEST(Balance, ExtremeEntriesAndDecoupledStates) {
    const quorv::balanced_system huge =
        quorv::balanced(quorv::quorv({Eigen::MatrixXd{{-1e300, 0.058}, {5e-324, -1e300}}}, {1.0}));
    EXPECT_TRUE(huge.sys.A[0].allFinite());
    EXPECT_EQ(huge.sys.A[0].diagonal(), Eigen::Vector2d(-1e300, -1e300));
    const double ratio = std::abs(huge.sys.A[0](0, 1) / huge.sys.A[0](1, 0));
    EXPECT_TRUE(ratio >= 0.25 && ratio <= 4) << ratio;  // 1e321 before
    const Eigen::MatrixXd diagonal{{-1e8, 0}, {0, -1}};
    EXPECT_EQ(quorv::balanced(quorv::quorv({diagonal}, {0.0})).sys.A[0], diagonal);
}

// States that drive others without being driven back (a chain, upper
// triangular under a permutation) balance, whatever their units, to couplings
// no larger than 2^-25 of the smaller of the two modes they join, not 2^60
// times that; none is made larger.
TEST(Balance, UndoesTheUnitsOfAChain) {
    // State 1 drives state 2 and state 0, state 2 drives state 0; diagonals 1, 3, 5.
    const Eigen::Matrix3d a{{1, 6, -2}, {0, 3, 0}, {0, 4, 5}};
    const auto in_units = [&](const Eigen::Vector3d& e) {
        const Eigen::Vector3d s = e.unaryExpr([](double x) { return std::exp2(x); });
        return quorv::balanced(quorv::quorv({s.asDiagonal() * a * s.cwiseInverse().asDiagonal()}, {0.0})).sys.A[0];
    };
    for (const Eigen::Vector3d e : {Eigen::Vector3d{0, 0, 0}, Eigen::Vector3d{0, -10, -20}, Eigen::Vector3d{60, -60, 0}, Eigen::Vector3d{-7, 60, 33}}) {
        const Eigen::Matrix3d got = in_units(e);
        EXPECT_EQ(got.diagonal(), a.diagonal());
        for (Eigen::Index i = 0; i < 3; ++i)
            for (Eigen::Index j = 0; j < 3; ++j) {
                if (i == j) continue;
                EXPECT_EQ(got(i, j) == 0, a(i, j) == 0);
                if (a(i, j) == 0) continue;
                EXPECT_LE(std::abs(got(i, j)), 0x1p-25 * std::min(a(i, i), a(j, j))) << e.transpose();
                EXPECT_LE(std::abs(got(i, j)), std::abs(a(i, j)) * std::exp2(e[i] - e[j])) << e.transpose();
            }
    }
}
