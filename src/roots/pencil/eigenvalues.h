#pragma once

#include <memory>

#include <Eigen/Dense>

#include "roots/support/interrupt.h"

namespace quorv {

// Eigenvalues of a real square matrix by LAPACK's Hessenberg QR iteration
// (balanced, no eigenvectors), in LAPACK's order: a complex-conjugate pair
// adjacent, positive imaginary part first. A is overwritten. Returns false,
// leaving lambda unspecified, when A has an entry that is not finite or the
// iteration did not converge.
bool real_eigenvalues(Eigen::MatrixXd& A, Eigen::VectorXcd& lambda);

// Eigenvalues of complex n-by-n matrices, one after another, with LAPACK's
// work storage allocated once for all of them.
class complex_eigenvalues {
public:
    explicit complex_eigenvalues(Eigen::Index n);

    // M is n-by-n and is overwritten (or, on a thread of its own, taken).
    // Returns false when the QR iteration did not converge; values() is then
    // not to be read. A check that can stop makes the call for an order of
    // at least abandonable_from_order run on a thread of its own, which a
    // stop abandons (see run_abandonable): the thread shares the work
    // storage, so it outlives this object when it must.
    bool compute(Eigen::MatrixXcd& M, const interrupt_check& check = {});
    const Eigen::VectorXcd& values() const { return storage->lambda; }

private:
    struct work_storage {
        Eigen::VectorXcd lambda;
        Eigen::VectorXcd work;
        Eigen::VectorXd rwork;
        bool compute(Eigen::MatrixXcd& M);
    };
    static std::shared_ptr<work_storage> new_storage(Eigen::Index n);

    Eigen::Index order;
    // Shared with a call running on a thread of its own; none after a stop
    // abandoned that call, which still writes into it.
    std::shared_ptr<work_storage> storage;
};

// From this order on an eigenvalue problem lasts long enough that a stop
// should not wait for it: a complex one of order 64 takes some 3 ms of one
// core, order 200 some 40 ms, order 2000 minutes, and on a machine shared by
// a dozen processes each lasts eight times as long; the degree estimate
// solves one after another between two polls. Against 3 ms the thread of
// its own (some 50 us) costs little.
constexpr Eigen::Index abandonable_from_order = 64;

}  // namespace quorv
