#include "roots/local/newton.h"

#include <cstdint>
#include <limits>
#include <new>

namespace quorv {

namespace {

// Refuses a dimension whose Jacobian of m*m entries does not fit in a signed
// 32-bit count (or a negative one) before anything is allocated.
int checked_dimension(int m) {
    constexpr std::int64_t max_elements = std::numeric_limits<std::int32_t>::max();
    if (m < 0 || (m > 0 && max_elements / m < m)) throw std::bad_alloc();
    return m;
}

}  // namespace

// J is zeroed only so that the factorisation qr performs when it binds to J's
// storage reads defined values; every solve overwrites J before using it.
newton::newton(int m)
    : F(checked_dimension(m)), dx(m), J(Eigen::MatrixXcd::Zero(m, m)), qr(J) {}

double newton::solve(Eigen::VectorXcd& x, const residual_function& f, double tol, int maxit) {
    f(x, F, J);
    double res = F.norm();
    // Written as !(res > tol) so that a NaN residual also ends the iteration.
    if (!(res > tol)) return res;

    const auto limit = static_cast<unsigned>(maxit);
    for (unsigned it = 0;;) {
        qr.compute(J);
        dx = qr.solve(F);
        x -= dx;
        // Both exits below return the residual of the iterate before this
        // step: the new iterate's residual is not worth an evaluation.
        if (tol > dx.norm() / x.norm()) return res;
        if (++it >= limit) return res;

        f(x, F, J);
        res = F.norm();
        if (!(res > tol)) return res;
    }
}

}  // namespace quorv
