#pragma once

#include <complex>
#include <string>

namespace quorv {

// A complex number as Python writes it, "(a+bj)", each part in the
// shortest form that reads back exactly, so that a message names the very
// point a caller passed.
std::string text(std::complex<double> z);

// A real number to three significant digits, for sizes and ratios in
// messages.
std::string text(double x);

}  // namespace quorv
