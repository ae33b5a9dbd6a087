#pragma once

#include <complex>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/local/newton.h"

namespace quorv {

// Delta <- lambda I - sum_k e^{-lambda h_k} A_k, terms subtracted in
// ascending k. Delta must already be n-by-n.
void characteristic_matrix(const quorv& sys, std::complex<double> lambda,
                           Eigen::Ref<Eigen::MatrixXcd> Delta);

// The nonlinear eigenvalue problem Delta(lambda) v = 0, v^H v = 1 in the
// unknowns x = [lambda; v], with its Jacobian; holds a reference to sys.
residual_function characteristic_residual(const quorv& sys);

}  // namespace quorv
