#pragma once

#include <algorithm>
#include <cmath>
#include <complex>

namespace quorv {

// The size a root's tolerances are relative to: max(1, |z|).
inline double root_scale(std::complex<double> z) { return std::max(1.0, std::abs(z)); }
// Whether both parts of z are finite.
inline bool finite(std::complex<double> z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }
// Two refined roots within same_root * root_scale of each other are one root
// to rounding (Newton's method takes a simple root to about 1e-15
// relative); distinct roots within near_root * root_scale of each other may
// be the scattered approximations of one multiple root.
inline constexpr double same_root = 1e-9;
inline constexpr double near_root = 1e-4;

// One distinct root, its multiplicity and its certificate: the disk
// |lambda - z| <= radius holds exactly `multiplicity` zeros of det Delta by
// the argument principle. A radius of 0 means no such disk was found.
struct root_cluster {
    std::complex<double> z;
    long multiplicity = 1;
    double radius = 0;
    // Set on a disk the line's decision (see line_side.h) placed wholly
    // left of the line, though inside the counted region, whose left side
    // runs a little left of the line: its zeros are counted by the path but
    // are not roots right of the line.
    bool left_of_line = false;
    // Set on a disk that meets the line and holds zeros on both sides of it
    // that the counts could not tell apart: the line cannot be decided.
    bool undecided = false;

    bool certified() const { return radius > 0; }
    bool meets(const root_cluster& other) const {
        return std::abs(z - other.z) <= radius + other.radius;
    }
};

}  // namespace quorv
