#pragma once
// The geometrical spot diagram of a wavefront: every sampled pupil point sends a ray displaced
// in the focal plane by f/ρ times the local slope, plotted with the Airy radius and twice it.

#include "core/pupille.h"

namespace quelvane {

struct TParametresSpots {
  double FocaleNm = 0;
  double RayonNm = 0;  // of the pupil
  double LambdaNm = 0;
  int Pas = 8;  // one ray every `Pas` samples in each direction
};

// The plot is scaled so that the most displaced ray reaches its edge; a wavefront whose rays
// all stay well inside the Airy disc (a perfect one) is plotted at 2.5 Airy radii to the edge,
// so that the circles show where the rays fell. Throws ErreurSimulation without f, ρ or λ.
void CalculerSpots(const TPupille& front, const TParametresSpots& parametres, TPupille& spots);

}  // namespace quelvane
