#pragma once
// Moving a defocused image through a wavefront: every sample of the corrected image is taken
// where the ray from that pupil point landed, its flux carried along by the Jacobian of the
// displacement. The wavefront is a Zernike model, so that the displacement is defined beyond
// the pupil edge, where part of the edge's light lies once diffraction and seeing have
// spread it.

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
// nearest point of the ring edge, so that the edge's light moves with the edge.
struct TFrontModele {
  TGrilleReelle Valeurs;  // 0 outside the ring
  TGrilleReelle GradientColonnes;
  TGrilleReelle GradientLignes;
};

TFrontModele EchantillonnerModele(const TCoefZernike& coefficients, const TJeuZernike& jeu,
                                  const TRepere& repere, int nx, int ny);

// The image moved by k·∇W pixels (k = transport factor × radius², pixels² per nanometre),
// multiplied by the Jacobian of that displacement. Samples whose ray lands outside the image
// get 0. The result has the image's size; its mask is not set.
TGrilleReelle TransporterImage(const TGrilleReelle& image, const TFrontModele& front, double k);

}  // namespace quelvane
