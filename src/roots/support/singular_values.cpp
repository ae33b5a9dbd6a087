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

// LAPACK's divide-and-conquer is not needed for values alone, and Eigen's
// own bidiagonal divide-and-conquer costs a minute and a gigabyte to compile
// for each scalar type: the library's QR iteration is as accurate and
// compiled once.
Eigen::VectorXd singular_values(Eigen::MatrixXcd& A) {
    if (A.rows() > std::numeric_limits<std::int32_t>::max() / std::max<Eigen::Index>(A.cols(), 1))
        throw std::bad_alloc();
    const std::int32_t m = static_cast<std::int32_t>(A.rows()), n = static_cast<std::int32_t>(A.cols());
    const std::int32_t lda = std::max(m, 1), unused_dimension = 1;
    const char no_vectors = 'N';
    Eigen::VectorXd s(std::min(m, n));
    if (s.size() == 0) return s;
    Eigen::VectorXd rwork(5 * s.size());
    std::complex<double> query;
    std::int32_t lwork = -1, info = 0;
    scipy_zgesvd_(&no_vectors, &no_vectors, &m, &n, A.data(), &lda, s.data(), nullptr, &unused_dimension,
                  nullptr, &unused_dimension, &query, &lwork, rwork.data(), &info, 1, 1);
    lwork = static_cast<std::int32_t>(query.real());
    Eigen::VectorXcd work(std::max(lwork, 1));
    // One thread, as for every LAPACK call of the core: parallel work belongs
    // to the caller.
    scipy_openblas_set_num_threads(1);
    scipy_zgesvd_(&no_vectors, &no_vectors, &m, &n, A.data(), &lda, s.data(), nullptr, &unused_dimension,
                  nullptr, &unused_dimension, work.data(), &lwork, rwork.data(), &info, 1, 1);
    // A negative info names an argument LAPACK refused: a fault of this code.
    if (info < 0) throw std::logic_error("zgesvd refused its argument " + std::to_string(-info));
    if (info > 0) s.setConstant(std::numeric_limits<double>::quiet_NaN());
    return s;
}

}  // namespace quorv
