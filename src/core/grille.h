#pragma once
// Sample grids: planes of rows of columns held in one contiguous block.
// Indices are counted from 0 (sample (r, c) numbered from 1 is element r-1, c-1).

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace quelvane {

// Grid memory: 64-byte aligned; large blocks ask the system for huge pages, which spares the
// transforms a TLB miss per row when they walk columns, and a few freed ones are kept for
// reuse. `octets` is the size the block was asked for.
void* AllouerMemoireGrille(std::size_t octets);
void LibererMemoireGrille(void* p, std::size_t octets) noexcept;
// A large block zeroed or copied in a few pieces on the threads (two cores move memory faster
// than one, and touch its new pages sooner); a small one at once.
void EffacerMemoireGrille(void* p, std::size_t octets);
void CopierMemoireGrille(void* cible, const void* source, std::size_t octets);

// Elements are left uninitialised by resize() (grids that are about to be overwritten need no
// zeroing pass); Allouer zero-fills explicitly. Grid elements are plain numbers: all bits zero
// is zero, and a copy is a copy of bytes.
template <class T>
struct TAllocateurGrille {
  using value_type = T;
  TAllocateurGrille() = default;
  template <class U>
  TAllocateurGrille(const TAllocateurGrille<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllouerMemoireGrille(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { LibererMemoireGrille(p, n * sizeof(T)); }
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
  template <class U>
  bool operator==(const TAllocateurGrille<U>&) const {
    return true;
  }
};

template <class T>
class TGrille {
  static_assert(std::is_trivially_copyable_v<T>, "grid elements are plain numbers");

 public:
  TGrille() = default;
  TGrille(int plans, int lignes, int colonnes) { Allouer(plans, lignes, colonnes); }
  TGrille(const TGrille& g) { *this = g; }
  TGrille(TGrille&&) noexcept = default;
  TGrille& operator=(TGrille&&) noexcept = default;
  TGrille& operator=(const TGrille& g) {
    if (this == &g) return *this;
    // The block is kept when the size is the same.
    if (valeurs_.size() != g.valeurs_.size()) {
      Vecteur().swap(valeurs_);
      valeurs_.resize(g.valeurs_.size());
    }
    plans_ = g.plans_, lignes_ = g.lignes_, colonnes_ = g.colonnes_;
    if (!g.valeurs_.empty())
      CopierMemoireGrille(valeurs_.data(), g.valeurs_.data(), g.valeurs_.size() * sizeof(T));
    return *this;
  }

  // Zero-filled; a non-positive count gives an empty grid.
  void Allouer(int plans, int lignes, int colonnes) {
    if (Dimensionner(plans, lignes, colonnes))
      EffacerMemoireGrille(valeurs_.data(), valeurs_.size() * sizeof(T));
  }
  // Same shape, contents undefined until written.
  void AllouerSansInit(int plans, int lignes, int colonnes) {
    Dimensionner(plans, lignes, colonnes);
  }
  void Liberer() {
    plans_ = lignes_ = colonnes_ = 0;
    Vecteur().swap(valeurs_);
  }

  bool Vide() const { return valeurs_.empty(); }
  int Plans() const { return plans_; }
  int Lignes() const { return lignes_; }
  int Colonnes() const { return colonnes_; }
  std::size_t TaillePlan() const { return static_cast<std::size_t>(lignes_) * colonnes_; }

  T* Ligne(int plan, int ligne) { return valeurs_.data() + Decalage(plan, ligne); }
  const T* Ligne(int plan, int ligne) const { return valeurs_.data() + Decalage(plan, ligne); }
  T* Ligne(int ligne) { return Ligne(0, ligne); }
  const T* Ligne(int ligne) const { return Ligne(0, ligne); }

  std::span<T> Plan(int plan) { return {valeurs_.data() + Decalage(plan, 0), TaillePlan()}; }
  std::span<const T> Plan(int plan) const {
    return {valeurs_.data() + Decalage(plan, 0), TaillePlan()};
  }

  T& operator()(int plan, int ligne, int colonne) { return Ligne(plan, ligne)[colonne]; }
  const T& operator()(int plan, int ligne, int colonne) const {
    return Ligne(plan, ligne)[colonne];
  }
  T& operator()(int ligne, int colonne) { return Ligne(0, ligne)[colonne]; }
  const T& operator()(int ligne, int colonne) const { return Ligne(0, ligne)[colonne]; }

  // Keeps only the first `plans` planes (the others are released).
  void GarderPlans(int plans) {
    if (plans >= plans_ || plans <= 0) return;
    plans_ = plans;
    valeurs_.resize(static_cast<std::size_t>(plans) * TaillePlan());
    valeurs_.shrink_to_fit();
  }

 private:
  using Vecteur = std::vector<T, TAllocateurGrille<T>>;

  // New storage of that shape, uninitialised; false (and empty) for a non-positive count.
  bool Dimensionner(int plans, int lignes, int colonnes) {
    Liberer();
    if (plans <= 0 || lignes <= 0 || colonnes <= 0) return false;
    plans_ = plans;
    lignes_ = lignes;
    colonnes_ = colonnes;
    valeurs_.resize(static_cast<std::size_t>(plans) * lignes * colonnes);
    return true;
  }
  std::size_t Decalage(int plan, int ligne) const {
    return (static_cast<std::size_t>(plan) * lignes_ + ligne) * colonnes_;
  }

  int plans_ = 0;
  int lignes_ = 0;
  int colonnes_ = 0;
  Vecteur valeurs_;
};

using TGrilleReelle = TGrille<double>;
using TGrilleEntiere = TGrille<std::int16_t>;

// Grid type codes; where they are also image kinds, the FITS reader uses them.
enum TypeGrille : std::uint8_t {
  GrilleEntiere1 = 2,  // one plane of 16-bit integers
  GrilleEntiere3 = 7,  // three planes of 16-bit integers (colour)
  GrilleReelle1 = 5,   // one plane of doubles
  GrilleReelle6 = 6,   // doubles, no image kind
  GrilleReelle3 = 8,   // three planes of doubles (colour)
};

}  // namespace quelvane
