#include "roots/refinement.h"

#include "roots/residual.h"

namespace quorv {

namespace {

constexpr double newton_tolerance = 1e-10;

}  // namespace

refinement::refinement(const quorv& sys)
    : sys(sys), solver(static_cast<int>(sys.n() + 1)), x(sys.n() + 1), Delta(sys.n(), sys.n()),
      svd(sys.n(), sys.n(), Eigen::ComputeThinV), residual(characteristic_residual(sys)) {}

std::optional<refinement::result> refinement::from(std::complex<double> start) {
    const Eigen::Index n = sys.n();
    characteristic_matrix(sys, start, Delta);
    if (!Delta.allFinite()) return std::nullopt;
    svd.compute(Delta, Eigen::ComputeThinV);
    x[0] = start;
    x.tail(n) = svd.matrixV().col(n - 1);
    const double r = solver.solve(x, residual, newton_tolerance, steps);
    return result{x[0], r};
}

}  // namespace quorv
