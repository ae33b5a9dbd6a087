#pragma once

#include <Eigen/Dense>

namespace quorv {

// Eigenvalues of a real square matrix by LAPACK's Hessenberg QR iteration
// (balanced, no eigenvectors), in LAPACK's order: a complex-conjugate pair
// adjacent, positive imaginary part first. A is overwritten. Returns false,
// leaving lambda unspecified, when A has an entry that is not finite or the
// iteration did not converge.
bool real_eigenvalues(Eigen::MatrixXd& A, Eigen::VectorXcd& lambda);

// Eigenvalues of complex n-by-n matrices, one after another, with LAPACK's
// work storage allocated once for all of them.
class complex_eigenvalues {
public:
    explicit complex_eigenvalues(Eigen::Index n);

    // M is n-by-n and is overwritten. Returns false when the QR iteration did not converge;
    // values() is then not to be read.
    bool compute(Eigen::MatrixXcd& M);
    const Eigen::VectorXcd& values() const { return lambda; }

private:
    Eigen::VectorXcd lambda;
    Eigen::VectorXcd work;
    Eigen::VectorXd rwork;
};

}  // namespace quorv
