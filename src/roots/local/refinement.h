#pragma once

#include <complex>
#include <optional>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/local/newton.h"

namespace quorv {

// A refined root is accepted when the residual of Delta(lambda) v = 0,
// |v| = 1 is below this.
inline constexpr double acceptance_residual = 1e-5;

// Newton's method on Delta(lambda) v = 0, |v| = 1, run for at most `steps`
// steps (tolerance 1e-10) from a start point, with v started by inverse
// iteration on one LU factorisation of Delta there: the direction Delta
// nearly annihilates, the one its smallest singular value belongs to. Owns
// its work storage, so one refinement serves any number of starts without
// allocating.
class refinement {
public:
    static constexpr int steps = 10;

    struct result {
        std::complex<double> root;
        double residual;
    };

    explicit refinement(const quorv& sys);

    // Nothing for a start where Delta is not finite: such a start can never
    // reach a small residual.
    std::optional<result> from(std::complex<double> start);

private:
    const quorv& sys;
    newton solver;
    Eigen::VectorXcd x;
    Eigen::MatrixXcd Delta;
    Eigen::PartialPivLU<Eigen::MatrixXcd> lu;
    Eigen::VectorXcd seed;
    Eigen::VectorXcd iterate;
    residual_function residual;

    void start_vector(Eigen::Ref<Eigen::VectorXcd> v);
};

}  // namespace quorv
