#pragma once
// Moving a defocused image through a wavefront: every sample of the corrected image is taken
// where the ray from that pupil point landed, its flux carried along by the Jacobian of the
// displacement. The wavefront is a Zernike model, so that the displacement is defined beyond
// the pupil edge, where part of the edge's light lies once diffraction and seeing have
// spread it.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/grille.h"
#include "core/pupille.h"
#include "core/zernike.h"

namespace quelvane {

// Where the normalised pupil lies in a grid: centre (1-based, fractional), radius (pixels)
// and obstruction ratio.
struct TRepere {
  double CentreX = 0;
  double CentreY = 0;
  double Rayon = 0;
  double Obstruction = 0;
};

// A Zernike wavefront (nanometres, un-normalised terms of `Jeu`) sampled on a grid, with its
// gradient in nanometres per pixel (along columns and along rows, rows numbered downward).
// Inside the ring the gradient is that of the polynomials; outside it, the gradient at the
// nearest point of the ring edge, so that the edge's light moves with the edge; far beyond
// the edge, where there is no light, 0.
struct TFrontModele {
  TGrilleReelle Valeurs;  // 0 outside the ring
  TGrilleReelle GradientColonnes;
  TGrilleReelle GradientLignes;
  // Rows and columns {r0, r1, c0, c1} (inclusive) outside which both gradients are 0, when
  // known; r1 < r0 when they are 0 everywhere.
  std::optional<std::array<int, 4>> Boite;
};

// The terms of `jeu` evaluated once at every pixel of the ring and two pixels either side of
// it, for a reconstruction whose pupil stays where it is from pass to pass.
class TBaseModele {
 public:
  TBaseModele(const TJeuZernike& jeu, const TRepere& repere, int nx, int ny);
  TFrontModele Echantillonner(const TCoefZernike& coefficients) const;
  // Least-squares coefficients of the samples of mask 1 inside the ring.
  TCoefZernike Ajuster(const TGrilleReelle& valeurs, const TGrilleEntiere& masque) const;

 private:
  TJeuZernike jeu_;
  TRepere repere_;
  int nx_, ny_;
  // Written on the threads, left uninitialised until then: the pixel (r·nx + c) of each
  // evaluated point, whether it lies inside ε ≤ r ≤ 1, and its terms (points × NbTermes) in
  // single precision, which the model needs and which halves what every pass reads.
  std::vector<int, TAllocateurGrille<int>> points_;
  std::vector<char, TAllocateurGrille<char>> dansAnneau_;
  std::vector<float, TAllocateurGrille<float>> termes_;
  // Grid-sized, written on the threads: beyond the edges (zones 1 and 2 only), the edge angle
  // before the pixel's and how far past it; the zones (0 ring, 1 beyond the edge,
  // 2 obstruction, 3 far out).
  std::vector<int, TAllocateurGrille<int>> indicesBord_;
  std::vector<double, TAllocateurGrille<double>> fractionsBord_;
  std::vector<std::uint8_t, TAllocateurGrille<std::uint8_t>> zones_;
  std::array<int, 4> boite_{0, -1, 0, -1};  // of the zones below 3
  // Each term's gradient around the outer and inner edges, angle by angle.
  std::vector<double> bordExterieur_, bordInterieur_;
  std::vector<double> gram_;  // Σ ZᵢZⱼ over the ring (lower triangle)
};

TFrontModele EchantillonnerModele(const TCoefZernike& coefficients, const TJeuZernike& jeu,
                                  const TRepere& repere, int nx, int ny);

// The image moved by k·∇W pixels (k = transport factor × radius², pixels² per nanometre),
// multiplied by the Jacobian of that displacement. Samples whose ray lands outside the image
// get 0. The result has the image's size; its mask is not set.
TGrilleReelle TransporterImage(const TGrilleReelle& image, const TFrontModele& front, double k);

}  // namespace quelvane
