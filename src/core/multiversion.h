#pragma once
// Runtime choice between a portable build of a hot loop and one compiled for AVX2 + FMA.
// The binary stays portable (no global -march); the loop body is written once, as an
// always-inline function, and instantiated under both targets.

#define QUELVANE_VARIANTE_AVX2 __attribute__((target("avx2,fma")))
#define QUELVANE_CORPS inline __attribute__((always_inline))

#include <atomic>

namespace quelvane {

// Set by tests, between computations, to run the portable builds on a processor with AVX2
// (loops that choose per call; others keep the choice made at their first call).
inline std::atomic<bool>& Avx2Interdit() {
  static std::atomic<bool> interdit{false};
  return interdit;
}

inline bool ProcesseurAvx2() {
  static const bool oui = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return oui && !Avx2Interdit().load(std::memory_order_relaxed);
}

}  // namespace quelvane
