#include <complex>

#include <gtest/gtest.h>

#include "roots/pencil/eigenvalues.h"

using cplx = std::complex<double>;

// A rotation-dilation block and a real eigenvalue: LAPACK's order keeps the
// conjugate pair together, positive imaginary part first.
TEST(RealEigenvalues, PairsAdjacentPositiveImaginaryPartFirst) {
    Eigen::MatrixXd A(3, 3);
    A << 1, -2, 0, 2, 1, 0, 0, 0, -3;
    Eigen::VectorXcd lambda;
    ASSERT_TRUE(quorv::real_eigenvalues(A, lambda));
    ASSERT_EQ(lambda.size(), 3);
    const Eigen::Index pair = std::abs(lambda[0].imag()) > 0 ? 0 : 1;
    EXPECT_NEAR(std::abs(lambda[pair] - cplx(1, 2)), 0, 1e-14);
    EXPECT_NEAR(std::abs(lambda[pair + 1] - cplx(1, -2)), 0, 1e-14);
    EXPECT_NEAR(std::abs(lambda[pair == 0 ? 2 : 0] - cplx(-3, 0)), 0, 1e-14);

    Eigen::MatrixXd empty(0, 0);
    EXPECT_TRUE(quorv::real_eigenvalues(empty, lambda));
    EXPECT_EQ(lambda.size(), 0);
}

// One work storage serves matrices one after another: a triangular matrix
// has its diagonal as eigenvalues.
TEST(ComplexEigenvalues, ReusedForSeveralMatrices) {
    quorv::complex_eigenvalues solver(4);
    for (double shift : {0.0, 5.0}) {
        Eigen::MatrixXcd M = Eigen::MatrixXcd::Random(4, 4).triangularView<Eigen::Upper>();
        M.diagonal() << cplx(1 + shift, 1), cplx(-2, shift), cplx(3, 0), cplx(0, -4);
        const Eigen::VectorXcd diagonal = M.diagonal();
        ASSERT_TRUE(solver.compute(M));
        for (const cplx d : diagonal)
            EXPECT_LT((solver.values().array() - d).abs().minCoeff(), 1e-12) << d;
    }
}
