#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <Eigen/Dense>

#include "model/quorv.h"
#include "roots/estimate/degree_curves.h"
#include "roots/support/interrupt.h"

namespace quorv {

// The degree N of the spectral discretization that resolves the roots right
// of r: the largest degree any sampled eigenvalue estimate asks for, at
// least 5. Commensurate phase sampling for more than four matrices, a phase
// grid otherwise. Only the sampled matrices whose eigenvalues bounds cannot
// rule out are solved (see estimate_bounds.h); the answer is the one solving
// all of them gives. check is polled after every sampled matrix.
int estimate_degree(const quorv& sys, double r, std::uint32_t count,
                    const interrupt_check& check = {});
int estimate_degree_commensurate(const quorv& sys, double r, std::uint32_t count,
                                 const interrupt_check& check = {});
int estimate_degree_grid(const quorv& sys, double r, std::uint32_t count,
                         const interrupt_check& check = {});

// Smallest N with F(theta)*N + G(theta) >= |mu|; INT_MIN when that is NaN or
// outside int, so such an estimate never raises a maximum.
int required_degree(std::complex<double> mu, const cubic_spline& F, const cubic_spline& G);

// Odometer over the phase digits of the delayed terms: digit 0 runs over
// 0..count/2, every other digit over 0..count-1, digit 0 fastest.
class phase_counter {
public:
    std::vector<std::uint32_t> digits;
    std::uint32_t count;
    bool done;

    phase_counter(std::size_t ndigits, std::uint32_t count);
    void advance();
};

// M <- sum_k e^{-(r+b) h_k} z_k A_k - r I for phase sample c of count, the
// delays rounded to multiples of h_max/20 and one phase driving every term.
void sampled_matrix_commensurate(const quorv& sys, Eigen::MatrixXcd& M, double r, double b,
                                 std::uint32_t c, std::uint32_t count);

// The same with an independent phase per delayed term, taken from digits.
void sampled_matrix_grid(const quorv& sys, Eigen::MatrixXcd& M, double r, double b,
                         const std::vector<std::uint32_t>& digits, std::uint32_t count);

}  // namespace quorv
