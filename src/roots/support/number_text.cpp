#include "roots/support/number_text.h"

#include <charconv>
#include <cmath>

namespace quorv {

std::string text(std::complex<double> z) {
    char buffer[64];
    char* end = buffer + sizeof buffer;
    char* p = buffer;
    *p++ = '(';
    p = std::to_chars(p, end, z.real()).ptr;
    if (!(z.imag() < 0) && !std::isnan(z.imag())) *p++ = '+';
    p = std::to_chars(p, end, z.imag()).ptr;
    *p++ = 'j';
    *p++ = ')';
    return std::string(buffer, p);
}

std::string text(double x) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 3).ptr;
    return std::string(buffer, end);
}

}  // namespace quorv
