#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include <Eigen/Core>

#include "model/sparse_quorv.h"
#include "roots/crossing/crossing_model.h"
#include "roots/krylov/characteristic_lu.h"

namespace quorv {

// The crossing matrix Delta(w, phi) of crossing_matrix.h for a sparse model,
// answered with sparse LU factors of Delta alone: no n x n matrix is formed.
//
// A cell [w +- hw] x [phi +- hp] is dropped when the factors at its centre
// bound the change of Delta over it (perturbation_bound): entrywise,
//   |Delta(p) - Delta(c)| <= hw I + sum_k min(2, hw h_k + hp [k grows]) |A_k|,
// since |e^{-ja} - e^{-jb}| <= min(2, |a - b|), plus the rounding of
// forming Delta(c); only products of the |A_k| with vectors are needed.
//
// Newton's steps come from one solve and one adjoint solve: with vectors
// u, v, g(p) = -1 / (v^H Delta(p)^{-1} u) is the last entry of the bordered
// system [Delta u; v^H 0]^{-1} (0; 1) and vanishes exactly where Delta is
// singular (where the bordered matrix is not), and
//   dg = -g^2 y^H dDelta x,  x = Delta^{-1} u,  y = Delta^{-H} v.
// x and y, normalised, become the next u and v: inverse iteration toward
// the null vectors, which keeps the bordered matrix well away from singular
// near the zero. Each search starts from the same generic u and v: vectors
// left from an earlier zero would hold the steps to it (for decoupled
// modes, they have no part in any other mode's null vector).
class sparse_crossing_matrix : public crossing_model {
public:
    // sys validated, at least one matrix; growing: distinct indices of terms.
    sparse_crossing_matrix(const sparse_quorv& sys, const std::vector<std::size_t>& growing);

    bool nonsingular_on(double w0, double w1, double phi0, double phi1) override;
    bool newton_step(double w, double phi, bool first, double& dw, double& dphi) override;
    // |Delta x| / |x| for x two steps of inverse iteration from u.
    double singularity(double w, double phi) override;
    // The zeros are not isolated: cells near a located zero are divided
    // down to the finest size, which costs some tens of factorisations each.
    isolation_box isolate(double, double) override { return {}; }

private:
    const sparse_quorv& sys;
    std::vector<bool> grows;
    characteristic_lu lu;
    // |A_k|, the moduli of each matrix's entries.
    std::vector<sparse_quorv::matrix> moduli;
    std::vector<std::complex<double>> weights;
    lu_factors factors;
    const Eigen::VectorXcd u0, v0;
    Eigen::VectorXcd u, v;

    std::complex<double> phase_factor(std::size_t k, double w, double phi) const;
    bool factor_at(double w, double phi);
    // y = Delta(w, phi) x, Delta_w x and Delta_phi x.
    void apply(double w, double phi, const Eigen::VectorXcd& x, Eigen::VectorXcd& y) const;
    void apply_derivatives(double w, double phi, const Eigen::VectorXcd& x, Eigen::VectorXcd& by_w,
                           Eigen::VectorXcd& by_phi) const;
};

}  // namespace quorv
