#pragma once
// Least-squares fit of Zernike terms to a wavefront sampled over a pupil, solved by a
// singular value decomposition.

#include <cstdint>
#include <vector>

#include "core/pupille.h"
#include "core/zernike.h"

namespace quelvane {

// Golub–Reinsch decomposition A = U·diag(w)·Vᵀ in place (A row-major m×n becomes U; v is
// n×n row-major). Non-convergence after 30 sweeps is silent.
void svdcmp(std::vector<double>& a, int m, int n, std::vector<double>& w, std::vector<double>& v);

// Every term of a set evaluated once at every sample of mask 1 inside a pupil's ring, in
// raster order: a wavefront and its noise variants share their geometry and mask, and their
// fits and term changes then cost a few products a sample.
class TTermesEchantillonnes {
 public:
  TTermesEchantillonnes(const TPupille& pupille, const TJeuZernike& jeu);
  // Whether these are the terms of that pupil (same grid, axes, obstruction, mask) and set.
  bool Conviennent(const TPupille& pupille, const TJeuZernike& jeu) const;
  int NbTermes() const { return nbTermes_; }
  std::size_t Nombre() const { return places_.size(); }
  int Place(std::size_t k) const { return places_[k]; }  // r·NX + c
  const double* Valeurs(std::size_t k) const {
    return valeurs_.data() + k * static_cast<std::size_t>(nbTermes_);
  }

 private:
  int nx_ = 0, ny_ = 0, nbTermes_ = 0;
  std::uint8_t type_ = 0;
  double obstruction_ = 0;
  std::vector<double> axeX_, axeY_;
  TGrilleEntiere masque_;
  std::vector<int, TAllocateurGrille<int>> places_;
  std::vector<double, TAllocateurGrille<double>> valeurs_;  // written on the threads
};

// Fits the selected terms among the first `jeu.NbTermes` to the pupil's samples (mask 1,
// inside the ring) and replaces its coefficients; the others become 0. `termes`, when they
// are that pupil's, spare evaluating the terms.
void AjusterZernike(TPupille& pupille, const TJeuZernike& jeu,
                    const TTermesEchantillonnes* termes = nullptr);
void AjusterZernike(TPupille& pupille);  // with the shared term set
// Several wavefronts of one pupil (geometry, mask and selection of the first) fitted at once:
// the same figures as one by one, for little more than the cost of one.
void AjusterZernike(const std::vector<TPupille*>& fronts, const TJeuZernike& jeu,
                    const TTermesEchantillonnes* termes = nullptr);

}  // namespace quelvane
