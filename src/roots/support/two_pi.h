#pragma once

#include <numbers>

namespace quorv {

// A full turn, in radians.
inline constexpr double two_pi = 2 * std::numbers::pi;

}  // namespace quorv
