#pragma once
// A wavefront made from a formula, for the simulation tests.

#include <cmath>

#include "core/pupille.h"

namespace quelvane::essais {

// An n × n field, pupil of `rayon` samples centred on (centre, centre), obstruction eps: W(x, y)
// in nanometres on the ring (mask 1), 0 and mask 0 elsewhere.
template <class F>
TPupille FrontEssai(int n, double centre, double rayon, double eps, F&& w) {
  TPupille p;
  p.Allouer(n, n);
  p.CentreX = p.CentreY = centre;
  p.RayonPupille = rayon;
  p.Obstruction = eps;
  p.AxesPupille();
  p.Role = RoleFront;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double q = std::hypot(p.AxeX[c], p.AxeY[r]);
      if (q <= 1 && q >= eps) p.M(r, c) = 1, p.V(r, c) = w(p.AxeX[c], p.AxeY[r]);
    }
  return p;
}

}  // namespace quelvane::essais
