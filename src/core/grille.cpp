#include "core/grille.h"

#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quelvane {

namespace {
constexpr std::size_t GrandePage = std::size_t{2} << 20;
}

void* AllouerMemoireGrille(std::size_t octets) {
  if (octets == 0) octets = 1;
  const std::size_t alignement = octets >= 2 * GrandePage ? GrandePage : 64;
  const std::size_t taille = (octets + alignement - 1) / alignement * alignement;
  void* p = std::aligned_alloc(alignement, taille);
  if (!p) throw std::bad_alloc();
#ifdef __linux__
  if (alignement == GrandePage) madvise(p, taille, MADV_HUGEPAGE);
#endif
  return p;
}

void LibererMemoireGrille(void* p) noexcept { std::free(p); }

}  // namespace quelvane
