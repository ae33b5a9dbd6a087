#pragma once

#include <complex>
#include <optional>

#include <Eigen/Dense>
#include <Eigen/SVD>

#include "model/quorv.h"
#include "roots/newton.h"

namespace quorv {

// A refined root is accepted when the residual of Delta(lambda) v = 0,
// |v| = 1 is below this.
inline constexpr double acceptance_residual = 1e-5;

// Newton's method on Delta(lambda) v = 0, |v| = 1, run for at most `steps`
// steps (tolerance 1e-10) from a start point, with v started at the right
// singular vector of Delta's smallest singular value there. Owns its work
// storage, so one refinement serves any number of starts without allocating.
class refinement {
public:
    static constexpr int steps = 10;

    struct result {
        std::complex<double> root;
        double residual;
    };

    explicit refinement(const quorv& sys);

    // Nothing for a start where Delta is not finite: such a start can never
    // reach a small residual, and the SVD refuses the matrix.
    std::optional<result> from(std::complex<double> start);

private:
    const quorv& sys;
    newton solver;
    Eigen::VectorXcd x;
    Eigen::MatrixXcd Delta;
    Eigen::JacobiSVD<Eigen::MatrixXcd> svd;
    residual_function residual;
};

}  // namespace quorv
