#pragma once

#include <functional>

#include <Eigen/Dense>

namespace quorv {

// f(x, F, J): writes the residual F(x) and the Jacobian dF/dx into F and J,
// which already have their sizes and must not be resized.
using residual_function =
    std::function<void(const Eigen::VectorXcd&, Eigen::VectorXcd&, Eigen::MatrixXcd&)>;

// Newton solver for F(x) = 0 in m complex unknowns. Owns its work storage;
// the QR factorisation runs in place in the storage of J, so one solver serves
// any number of solves without allocating.
class newton {
public:
    Eigen::VectorXcd F;
    Eigen::VectorXcd dx;
    Eigen::MatrixXcd J;
    Eigen::ColPivHouseholderQR<Eigen::Ref<Eigen::MatrixXcd>> qr;

    explicit newton(int m);
    // qr refers to the storage of this solver's own J, which a copy would
    // keep referring to after the original is gone.
    newton(const newton&) = delete;
    newton& operator=(const newton&) = delete;

    // Refines x in place; returns the norm of the residual computed last.
    double solve(Eigen::VectorXcd& x, const residual_function& f, double tol, int maxit);
};

}  // namespace quorv
