#pragma once

#include <complex>
#include <vector>

#include "model/quorv.h"
#include "roots/interrupt.h"

namespace quorv {

// The degree of the discretization a roots call asked for and the one it used;
// they differ when the estimate exceeded the cap, and then roots far from the
// real axis may be missing.
struct discretization_degree {
    int needed = 0;
    int used = 0;
};

// Every characteristic root lambda of sys with Re lambda >= r, refined by
// Newton's method, in the order of the candidates that produced them: not
// sorted, not de-duplicated. check is polled between the stages, between
// the configurations of the degree estimate and between the candidates of
// the refinement; when it asks to stop, interrupted is thrown and nothing of
// the call remains. Allocation failures name the stage that did not fit.
std::vector<std::complex<double>> roots(const quorv& sys, double r, const interrupt_check& check = {});
std::vector<std::complex<double>> roots(const quorv& sys, double r, discretization_degree& degree,
                                        const interrupt_check& check = {});

}  // namespace quorv
