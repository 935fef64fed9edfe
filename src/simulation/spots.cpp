#include "simulation/spots.h"

#include <cmath>

#include "core/mathematiques.h"
#include "simulation/interferogramme.h"

namespace quelvane {

void CalculerSpots(const TPupille& front, const TParametresSpots& p, TPupille& spots) {
  if (!(p.FocaleNm > 0 && p.RayonNm > 0 && p.LambdaNm > 0))
    throw ErreurSimulation(
        "Spots : la focale et le diamètre de l'instrument manquent (Paramètres du test).");
  TFctXY gx, gy;
  gx.Allouer(front.NX, front.NY);
  gy.Allouer(front.NX, front.NY);
  gx.GradientX(front);
  gy.GradientY(front);
  // Slopes per pupil radius times f/ρ: the ray's displacement in the focal plane, nanometres.
  const double k = p.FocaleNm / p.RayonNm;
  gx.Multiplier(k);
  gy.Multiplier(k);
  double d = 0;
  for (int r = 0; r < front.NY; ++r)
    for (int c = 0; c < front.NX; ++c) d = std::max(d, std::hypot(gx.V(r, c), gy.V(r, c)));
  const double airy = 1.22 * p.LambdaNm * p.FocaleNm / (2 * p.RayonNm);
  d = std::max(d, 2.5 * airy);
  spots.Allouer(front.NX, front.NY);
  spots.Role = RoleSpot;
  spots.CentreX = ArrondiPair(front.NX / 2.0);
  spots.CentreY = ArrondiPair(front.NY / 2.0);
  spots.RayonPupille = ArrondiPair(front.NX / 2.0);
  spots.AxesPupille();
  const double ra = airy / d;
  spots.Traces[1] = {1, 1, 0, 0, 0, 0, ra};
  spots.Traces[2] = {1, 1, 0, 0, 0, 0, 2 * ra};
  const int pas = std::max(1, p.Pas);
  for (int i = 1; i <= front.NY; i += pas)
    for (int j = 1; j <= front.NX; j += pas) {
      const double u = gx.V(i - 1, j - 1) / d, v = gy.V(i - 1, j - 1) / d;
      const int c = spots.ColonneDeX(u, 0), l = spots.LigneDeY(v, 0);
      if (c >= 1 && c <= spots.NX && l >= 1 && l <= spots.NY) spots.V(l - 1, c - 1) = 1.0;
    }
}

}  // namespace quelvane
