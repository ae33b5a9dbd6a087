#pragma once

#include <vector>

#include <Eigen/Dense>

#include "roots/estimate/degree_curves.h"

namespace quorv {

// Enclosures of the eigenvalues of a complex matrix M that cost far less
// than the eigenvalues, so that the degree estimate can skip a sampled
// matrix whose eigenvalues cannot raise its answer. Each is widened by
// 1e-10 times a norm of M, far beyond the backward error of an eigenvalue
// routine, so it also holds for the computed eigenvalues, which are exact
// for a matrix within that distance of M: a skip then changes nothing in
// the estimate.

// An absolute widening that covers the backward error of a complex Schur
// form of M, many times over.
double eigenvalue_slack(const Eigen::MatrixXcd& M);

// Gershgorin's theorem, from one O(n^2) sweep over M: every eigenvalue lies
// in the union of the discs about M_ii with the off-diagonal absolute row
// sums as radii, and in that of the column sums; and Re mu is at most the
// Gershgorin bound of the Hermitian part, which bounds the numerical range.
class gershgorin_discs {
public:
    explicit gershgorin_discs(const Eigen::MatrixXcd& M);

    // At least Re mu for every eigenvalue mu; -infinity for order 0.
    double real_bound() const;
    // The largest |mu| an eigenvalue with lo <= Re mu <= hi can have by
    // either union; -infinity when no disc of one union meets the strip, so
    // that no eigenvalue lies in it.
    double modulus_in_strip(double lo, double hi) const;

private:
    Eigen::VectorXcd centres;
    Eigen::VectorXd rows, columns, hermitian;
    // The widening, from |M|_2 <= max(|M|_1, |M|_inf).
    double slack;
};

// The numerical range {v* M v : |v| = 1} holds every eigenvalue: Re mu is
// at most the largest eigenvalue of the Hermitian part (M + M*)/2, and Im mu
// lies between the extreme eigenvalues of (M - M*)/(2i). Whether those lie
// below a given t is decided by one Cholesky factorisation of t I minus the
// part, a fraction of the cost of any eigenvalue problem. The storage serves
// every call.
class numerical_range {
public:
    explicit numerical_range(Eigen::Index n);

    // True when every eigenvalue has Re mu < t.
    bool left_of(const Eigen::MatrixXcd& M, double t);
    // True when every eigenvalue has |Im mu| < t.
    bool lower_than(const Eigen::MatrixXcd& M, double t);

private:
    Eigen::MatrixXcd part;

    // Whether t I - part is positive definite.
    bool below(double t);
};

// How far the eigenvalue estimates of a region {lo <= Re mu <= hi} may
// reach before one of them asks for more than a given degree: the degree
// F(theta)*N + G(theta) >= |mu| asks for grows with |mu|. The direction
// theta = |arg mu| runs over [0, pi] in short intervals; on each the strip
// caps |mu|, and the curves are bounded by their values at the ends and the
// largest slope of their piece.
class degree_bound {
public:
    degree_bound(const cubic_spline& F, const cubic_spline& G);

    // The largest radius such that no mu of the region with |mu| <= radius
    // asks for more than degree; +infinity when the strip alone ensures it.
    double largest_radius(int degree, double lo, double hi) const;

private:
    struct interval {
        double cos_first;
        double cos_last;
        double slope_low;      // at most F on the interval
        double offset_high;    // at least -G on the interval
    };
    std::vector<interval> intervals;
};

}  // namespace quorv
