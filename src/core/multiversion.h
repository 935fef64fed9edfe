#pragma once
// Runtime choice between a portable build of a hot loop and one compiled for AVX2 + FMA.
// The binary stays portable (no global -march); the loop body is written once, as an
// always-inline function, and instantiated under both targets.

#define QUELVANE_VARIANTE_AVX2 __attribute__((target("avx2,fma")))
#define QUELVANE_CORPS inline __attribute__((always_inline))

namespace quelvane {

inline bool ProcesseurAvx2() {
  static const bool oui = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return oui;
}

}  // namespace quelvane
