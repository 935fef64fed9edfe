#include "core/parallele.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace quelvane {

namespace {
std::atomic<int> fils{0};
}  // namespace

int NombreCoeurs() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

int NombreFils() {
  const int n = fils.load(std::memory_order_relaxed);
  return n > 0 ? n : NombreCoeurs();
}

void DefinirNombreFils(int n) {
  fils.store(std::clamp(n, 1, NombreCoeurs()), std::memory_order_relaxed);
}

void PourChaque(int n, const std::function<void(int)>& f, int nombreFils) {
  if (n <= 0) return;
  nombreFils = std::clamp(nombreFils, 1, n);
  if (nombreFils == 1) {
    for (int i = 0; i < n; ++i) f(i);
    return;
  }
  std::vector<std::exception_ptr> erreurs(static_cast<std::size_t>(n));
#ifdef _OPENMP
#pragma omp parallel for schedule(dynamic, 1) num_threads(nombreFils)
#endif
  for (int i = 0; i < n; ++i) {
    try {
      f(i);
    } catch (...) {
      erreurs[static_cast<std::size_t>(i)] = std::current_exception();
    }
  }
  for (const auto& e : erreurs)
    if (e) std::rethrow_exception(e);
}

void PourBandes(int n, int bandes, const std::function<void(int, int, int)>& f, bool grand) {
  PourChaque(
      bandes,
      [&](int k) {
        const long debut = static_cast<long>(n) * k / bandes;
        const long fin = static_cast<long>(n) * (k + 1) / bandes;
        f(k, static_cast<int>(debut), static_cast<int>(fin));
      },
      grand ? NombreFils() : 1);
}

}  // namespace quelvane
