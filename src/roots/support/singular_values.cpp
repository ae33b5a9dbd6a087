#include "roots/support/singular_values.h"

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

// LAPACK as the scipy-openblas32 wheel exports it: every symbol prefixed with
// scipy_, 32-bit integers, the lengths of the character arguments last.
extern "C" {
void scipy_zgesvd_(const char* jobu, const char* jobvt, const std::int32_t* m, const std::int32_t* n,
                   std::complex<double>* a, const std::int32_t* lda, double* s, std::complex<double>* u,
                   const std::int32_t* ldu, std::complex<double>* vt, const std::int32_t* ldvt,
                   std::complex<double>* work, const std::int32_t* lwork, double* rwork,
                   std::int32_t* info, std::size_t jobu_length, std::size_t jobvt_length);
void scipy_openblas_set_num_threads(int threads);
}

namespace quorv {

namespace {

// LAPACK's divide-and-conquer is not needed, and Eigen's own bidiagonal
// divide-and-conquer costs a minute and a gigabyte to compile for each
// scalar type: the library's QR iteration is as accurate and compiled once.
// With `vectors`, U and VT (square, as A) receive all singular vectors. The
// values are all NaN in the practically unseen case that the iteration does
// not converge, so that no comparison with a threshold holds.
Eigen::VectorXd decomposed(Eigen::MatrixXcd& A, bool vectors, Eigen::MatrixXcd* U, Eigen::MatrixXcd* VT) {
    if (A.rows() > std::numeric_limits<std::int32_t>::max() / std::max<Eigen::Index>(A.cols(), 1))
        throw std::bad_alloc();
    const std::int32_t m = static_cast<std::int32_t>(A.rows()), n = static_cast<std::int32_t>(A.cols());
    const std::int32_t lda = std::max(m, 1);
    const char job = vectors ? 'A' : 'N';
    Eigen::VectorXd s(std::min(m, n));
    if (s.size() == 0) return s;
    if (vectors) U->resize(m, m), VT->resize(n, n);
    std::complex<double>* u = vectors ? U->data() : nullptr;
    std::complex<double>* vt = vectors ? VT->data() : nullptr;
    const std::int32_t ldu = vectors ? lda : 1, ldvt = vectors ? std::max(n, 1) : 1;
    Eigen::VectorXd rwork(5 * s.size());
    std::complex<double> query;
    std::int32_t lwork = -1, info = 0;
    scipy_zgesvd_(&job, &job, &m, &n, A.data(), &lda, s.data(), u, &ldu, vt, &ldvt, &query, &lwork, rwork.data(),
                  &info, 1, 1);
    lwork = static_cast<std::int32_t>(query.real());
    Eigen::VectorXcd work(std::max(lwork, 1));
    // One thread, as for every LAPACK call of the core: parallel work belongs
    // to the caller.
    scipy_openblas_set_num_threads(1);
    scipy_zgesvd_(&job, &job, &m, &n, A.data(), &lda, s.data(), u, &ldu, vt, &ldvt, work.data(), &lwork,
                  rwork.data(), &info, 1, 1);
    // A negative info names an argument LAPACK refused: a fault of this code.
    if (info < 0) throw std::logic_error("zgesvd refused its argument " + std::to_string(-info));
    if (info > 0) s.setConstant(std::numeric_limits<double>::quiet_NaN());
    return s;
}

}  // namespace

Eigen::VectorXd singular_values(Eigen::MatrixXcd& A) { return decomposed(A, false, nullptr, nullptr); }

singular_triplet smallest_singular_triplet(Eigen::MatrixXcd& A) {
    Eigen::MatrixXcd U, VT;
    const Eigen::VectorXd s = decomposed(A, true, &U, &VT);
    if (s.size() == 0) return {std::numeric_limits<double>::quiet_NaN(), {}, {}};
    const Eigen::Index last = s.size() - 1;
    return {s[last], U.col(last), VT.row(last).adjoint()};
}

}  // namespace quorv
