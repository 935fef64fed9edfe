#include "core/grille.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "core/parallele.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quelvane {

namespace {

constexpr std::size_t GrandePage = std::size_t{2} << 20;

// Large grids come and go at every pass of a reconstruction (transforms, transported images,
// work fields). A few freed blocks are kept for the next request of the same size: fresh
// memory costs a page fault and a zeroing by the system for every page of it.
class TReserve {
 public:
  void* Prendre(std::size_t taille) {
    std::lock_guard verrou(m_);
    const auto i = std::find_if(blocs_.begin(), blocs_.end(),
                                [&](const TBloc& b) { return b.Taille == taille; });
    if (i == blocs_.end()) return nullptr;
    void* p = i->Adresse;
    total_ -= i->Taille;
    blocs_.erase(i);
    return p;
  }
  bool Garder(void* p, std::size_t taille) {
    std::lock_guard verrou(m_);
    if (taille > BlocMax || blocs_.size() >= BlocsMax || total_ + taille > OctetsMax) return false;
    blocs_.push_back({p, taille});
    total_ += taille;
    return true;
  }

 private:
  // The grids of a reconstruction, not whole camera frames.
  static constexpr std::size_t BlocMax = std::size_t{64} << 20;  // a 2048² complex grid
  static constexpr std::size_t BlocsMax = 12;
  static constexpr std::size_t OctetsMax = std::size_t{384} << 20;
  struct TBloc {
    void* Adresse;
    std::size_t Taille;
  };
  std::mutex m_;
  std::vector<TBloc> blocs_;
  std::size_t total_ = 0;
};

// Never destroyed: a grid held by a static object may be freed after every other static is
// gone, and must still find the reserve (a destroyed one gave a double free at exit).
TReserve& Reserve() {
  static TReserve* r = new TReserve;
  return *r;
}

std::size_t TailleArrondie(std::size_t octets, std::size_t& alignement) {
  if (octets == 0) octets = 1;
  alignement = octets >= 2 * GrandePage ? GrandePage : 64;
  return (octets + alignement - 1) / alignement * alignement;
}

}  // namespace

void* AllouerMemoireGrille(std::size_t octets) {
  std::size_t alignement = 0;
  const std::size_t taille = TailleArrondie(octets, alignement);
  if (alignement == GrandePage)
    if (void* p = Reserve().Prendre(taille)) return p;
  void* p = std::aligned_alloc(alignement, taille);
  if (!p) throw std::bad_alloc();
#ifdef __linux__
  if (alignement == GrandePage) madvise(p, taille, MADV_HUGEPAGE);
#endif
  return p;
}

void LibererMemoireGrille(void* p, std::size_t octets) noexcept {
  if (!p) return;
  std::size_t alignement = 0;
  const std::size_t taille = TailleArrondie(octets, alignement);
  if (alignement == GrandePage && Reserve().Garder(p, taille)) return;
  std::free(p);
}

namespace {

constexpr std::size_t GrandBloc = std::size_t{1} << 18;
constexpr int Morceaux = 8;

template <class F>
void ParMorceaux(std::size_t octets, F&& f) {
  if (octets < GrandBloc) {
    f(0, octets);
    return;
  }
  PourChaque(Morceaux, [&](int k) {
    // Pieces of whole cache lines.
    const std::size_t debut = octets * k / Morceaux / 64 * 64;
    const std::size_t fin = k + 1 == Morceaux ? octets : octets * (k + 1) / Morceaux / 64 * 64;
    f(debut, fin);
  });
}

}  // namespace

void EffacerMemoireGrille(void* p, std::size_t octets) {
  ParMorceaux(octets, [&](std::size_t d, std::size_t f) {
    std::memset(static_cast<char*>(p) + d, 0, f - d);
  });
}

void CopierMemoireGrille(void* cible, const void* source, std::size_t octets) {
  ParMorceaux(octets, [&](std::size_t d, std::size_t f) {
    std::memcpy(static_cast<char*>(cible) + d, static_cast<const char*>(source) + d, f - d);
  });
}

}  // namespace quelvane
