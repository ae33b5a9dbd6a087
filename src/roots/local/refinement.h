#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/local/newton.h"

namespace quorv {

// A refined root is accepted when the residual of Delta(lambda) v = 0,
// |v| = 1 is below this times max(1, |lambda|), the size of Delta's terms
// at a root. Relative, because far up a chain (|lambda| ~ 3e5) one unit in
// the last place of Im lambda turns the phase of e^{-lambda h} by some
// 6e-11, a residual of some 1e-5 at the best double next to the root: an
// absolute threshold dropped a root in twenty there.
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

    // Whether a refined point is accepted as a root (see acceptance_residual).
    static bool accepted(const result& r) {
        return r.residual < acceptance_residual * std::max(1.0, std::abs(r.root));
    }

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
