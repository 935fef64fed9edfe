#pragma once
// The pupil edge in the Roddier signal. Where the pupil edge moves between the two images,
// the signal carries a line at the edge whose weight is the wavefront's slope across it: the
// only trace of the terms whose Laplacian is zero (astigmatism, trefoil, quadrafoil, …).
// Diffraction and seeing spread that line over a band either side of the edge; these
// functions measure the band and gather it back onto the edge for the Poisson solve.

#include <vector>

#include "core/pupille.h"

namespace quelvane {

// The band as the two images show it, in normalised pupil units of the signal `s`.
struct TBandeBord {
  double Plateau = 0;    // I1 + I2 well inside the pupil (0: no pupil to measure)
  double Exterieur = 1;  // where the edge's light ends outside the pupil
  double Interieur = 0;  // and inside the central obstruction (0: no obstruction)
};

TBandeBord MesurerBandeBord(const TPupille& intra, const TPupille& extra, const TPupille& s);

// The right-hand side of the solve from a signal whose mask 1 runs over the outer band: in
// each sector of the edge, the band's signal outside the pupil (r > 1) is summed and laid on
// the pupil's outermost pixels, and leaves the mask (code `codeAnneau` there, as the ring).
// The band inside the pupil stays where it is: there it overlaps the Laplacian of the
// wavefront, and the passes take care of what spreading it costs. So does the edge of the
// central obstruction.
void ReplierBandes(TPupille& second, std::int16_t codeAnneau);

// Where each sample of the band and of the edge lies, which depends only on the mask, the axes
// and the radius: found once, it folds every signal sharing them (the noise draws).
struct TRepli {
  int R0 = 0, R1 = 0, C0 = 0, C1 = 0;  // the box reaching the band, [R0, R1) × [C0, C1)
  int Secteurs = 0;
  std::vector<int> Places;   // sector of each box sample, −1 when neither band nor edge
  std::vector<char> AuBord;  // on the edge (else in the band beyond it)
  // What it was found for.
  TGrilleEntiere Masque;
  std::vector<double> AxeX, AxeY;
  double Rayon = 0;
  bool Vide() const { return Places.empty(); }
  // Found for this signal's mask, axes and radius.
  bool Pour(const TPupille& second) const;
};
TRepli PreparerRepli(const TPupille& second);
// As ReplierBandes, with the geometry found for this mask, these axes and this radius.
void Replier(const TRepli& repli, TPupille& second, std::int16_t codeAnneau);

}  // namespace quelvane
