#pragma once

#include <complex>
#include <vector>

#include <Eigen/Core>

#include "model/quorv.h"
#include "roots/count/band_order.h"

namespace quorv {

// det Delta(lambda) for a Delta whose pattern is banded (with the unknowns
// in a given order): its phase and g = (log det Delta)' from one LU
// factorisation with partial pivoting in band storage, carried out on
// Delta and on its derivative together. With Delta = P L U, det Delta =
// sign(P) prod u_kk, and the derivative of each elimination step gives u'_kk
// alongside, so g = sum_k u'_kk / u_kk at the cost of two band LUs,
// O(n kl (kl + ku)), where tr(Delta^{-1} Delta') would need a solve for n
// columns, O(n^2 (kl + ku)).
class banded_determinant {
public:
    banded_determinant(const quorv& sys, const std::vector<Eigen::Index>& order, band bw);

    // False when Delta(lambda) is not finite or singular in floating point.
    // inverse_norm becomes 1 / min |u_kk|, the estimate of |Delta^{-1}| that
    // the pivots give (a small pivot is how partial pivoting shows a nearly
    // singular Delta).
    bool sample(std::complex<double> lambda, double& phase, std::complex<double>& g, double& inverse_norm);

private:
    struct coupling {
        Eigen::Index i, j;
        double a;
    };
    // The nonzeros of each A_k, in the order's coordinates, with its delay.
    std::vector<std::vector<coupling>> terms;
    std::vector<double> delays;
    Eigen::Index n, kl, ku;
    // Band storage of Delta and Delta': entry (i, j) in row kl + ku + i - j
    // of column j; the first kl rows take the fill-in of row interchanges.
    Eigen::MatrixXcd U, dU;

    std::complex<double>& at(Eigen::MatrixXcd& m, Eigen::Index i, Eigen::Index j) { return m(kl + ku + i - j, j); }
    void form(std::complex<double> lambda);
    void eliminate_below(Eigen::Index k);
};

}  // namespace quorv
