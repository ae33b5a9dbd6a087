#include "roots/pencil/eigenvalues.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "roots/support/abandonable.h"

// LAPACK and OpenBLAS as the scipy-openblas32 wheel exports them: every
// symbol prefixed with scipy_, 32-bit integers, the lengths of the character
// arguments passed last.
extern "C" {
void scipy_dgeev_(const char* jobvl, const char* jobvr, const std::int32_t* n, double* a,
                  const std::int32_t* lda, double* wr, double* wi, double* vl,
                  const std::int32_t* ldvl, double* vr, const std::int32_t* ldvr, double* work,
                  const std::int32_t* lwork, std::int32_t* info, std::size_t jobvl_length,
                  std::size_t jobvr_length);
void scipy_zgeev_(const char* jobvl, const char* jobvr, const std::int32_t* n,
                  std::complex<double>* a, const std::int32_t* lda, std::complex<double>* w,
                  std::complex<double>* vl, const std::int32_t* ldvl, std::complex<double>* vr,
                  const std::int32_t* ldvr, std::complex<double>* work, const std::int32_t* lwork,
                  double* rwork, std::int32_t* info, std::size_t jobvl_length,
                  std::size_t jobvr_length);
void scipy_openblas_set_num_threads(int threads);
}

namespace quorv {

namespace {

// LAPACK indexes the n*n elements with 32-bit integers.
std::int32_t lapack_order(Eigen::Index n) {
    if (n > 0 && std::numeric_limits<std::int32_t>::max() / n < n) throw std::bad_alloc();
    return static_cast<std::int32_t>(n);
}

// OpenBLAS's threads spin while they wait; on a loaded machine two of them
// were up to 100 times slower than one. Parallel work belongs to the caller,
// over threads or processes, so every solve runs on one thread.
void one_thread() { scipy_openblas_set_num_threads(1); }

// A negative info names an argument LAPACK refused: a fault of this code,
// never of the matrix.
bool converged(std::int32_t info, const char* routine) {
    if (info < 0) throw std::logic_error(std::string(routine) + " refused its argument " +
                                         std::to_string(-info));
    return info == 0;
}

// Eigenvalues only: no left and no right eigenvectors, whose leading
// dimensions LAPACK still requires to be at least 1.
constexpr char no_vectors = 'N';
constexpr std::int32_t unused_dimension = 1;

}  // namespace

bool real_eigenvalues(Eigen::MatrixXd& A, Eigen::VectorXcd& lambda) {
    const std::int32_t n = lapack_order(A.rows());
    lambda.resize(n);
    if (n == 0) return true;
    // dgeev refuses a matrix with an entry that is not finite (as its
    // argument 4); such a matrix has no eigenvalues it could compute, and the
    // caller falls back on its other route.
    if (!A.allFinite()) return false;
    Eigen::VectorXd wr(n), wi(n);
    double query = 0;
    std::int32_t lwork = -1, info = 0;
    scipy_dgeev_(&no_vectors, &no_vectors, &n, A.data(), &n, wr.data(), wi.data(), nullptr,
                 &unused_dimension, nullptr, &unused_dimension, &query, &lwork, &info, 1, 1);
    if (!converged(info, "dgeev")) return false;
    lwork = static_cast<std::int32_t>(query);
    Eigen::VectorXd work(lwork);
    one_thread();
    scipy_dgeev_(&no_vectors, &no_vectors, &n, A.data(), &n, wr.data(), wi.data(), nullptr,
                 &unused_dimension, nullptr, &unused_dimension, work.data(), &lwork, &info, 1, 1);
    if (!converged(info, "dgeev")) return false;
    lambda.real() = wr;
    lambda.imag() = wi;
    return true;
}

complex_eigenvalues::complex_eigenvalues(Eigen::Index n) : order(n), storage(new_storage(n)) {}

std::shared_ptr<complex_eigenvalues::work_storage> complex_eigenvalues::new_storage(Eigen::Index n) {
    auto storage = std::make_shared<work_storage>(
        work_storage{Eigen::VectorXcd(lapack_order(n)), Eigen::VectorXcd(1), Eigen::VectorXd(2 * n)});
    if (n == 0) return storage;
    const std::int32_t order = static_cast<std::int32_t>(n);
    Eigen::MatrixXcd probe(n, n);
    std::int32_t lwork = -1, info = 0;
    work_storage& s = *storage;
    scipy_zgeev_(&no_vectors, &no_vectors, &order, probe.data(), &order, s.lambda.data(), nullptr,
                 &unused_dimension, nullptr, &unused_dimension, s.work.data(), &lwork, s.rwork.data(),
                 &info, 1, 1);
    converged(info, "zgeev");
    s.work.resize(static_cast<Eigen::Index>(s.work[0].real()));
    return storage;
}

bool complex_eigenvalues::compute(Eigen::MatrixXcd& M, const interrupt_check& check) {
    // A stop left the last storage to a call still running: this one gets its own.
    if (!storage) storage = new_storage(order);
    if (order < abandonable_from_order || !check.can_stop()) return storage->compute(M);
    // The thread holds the storage and the matrix; after a stop it finishes
    // with them and frees what no one else holds.
    try {
        return run_abandonable([storage = storage, M = std::move(M)]() mutable { return storage->compute(M); },
                               check);
    } catch (const interrupted&) {
        storage.reset();
        throw;
    }
}

bool complex_eigenvalues::work_storage::compute(Eigen::MatrixXcd& M) {
    const std::int32_t n = static_cast<std::int32_t>(lambda.size());
    if (n == 0) return true;
    const std::int32_t lwork = static_cast<std::int32_t>(work.size());
    std::int32_t info = 0;
    one_thread();
    scipy_zgeev_(&no_vectors, &no_vectors, &n, M.data(), &n, lambda.data(), nullptr,
                 &unused_dimension, nullptr, &unused_dimension, work.data(), &lwork, rwork.data(),
                 &info, 1, 1);
    return converged(info, "zgeev");
}

}  // namespace quorv
