#pragma once
// Rounding and small numeric helpers shared by every unit.

#include <cmath>
#include <cstdint>

namespace quelvane {

// Nearest integer, halves to even (the program's one rounding rule).
inline double ArrondiPair(double v) { return std::nearbyint(v); }
inline std::int64_t Arrondi(double v) { return static_cast<std::int64_t>(std::nearbyint(v)); }

// √(a² + b²) without overflow.
inline double Pythagore(double a, double b) {
  const double x = std::fabs(a), y = std::fabs(b);
  if (x > y) return x * std::sqrt(1.0 + (y / x) * (y / x));
  if (y != 0.0) return y * std::sqrt(1.0 + (x / y) * (x / y));
  return 0.0;
}

// |a| with the sign of b (b ≥ 0 gives +|a|).
inline double Signe(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

}  // namespace quelvane
