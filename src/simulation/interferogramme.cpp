#include "simulation/interferogramme.h"

#include <cmath>

namespace quelvane {

void FrangesCos(TPupille& cible, const TFctXY& t, const TFctXY& w) {
  const double k = 2 * PiSimulation / cible.Lambda;
  for (int r = 0; r < cible.NY; ++r)
    for (int c = 0; c < cible.NX; ++c)
      cible.V(r, c) = 0.5 + 0.5 * std::cos(k * (t.V(r, c) - w.V(r, c)));
}

void CalculerInterferogramme(const TPupille& front, int angleDegres, int franges, double lambdaNm,
                             std::uint8_t palette, TPupille& cible) {
  if (!(lambdaNm > 0) || !std::isfinite(lambdaNm))
    throw ErreurSimulation(
        "Longueur d'onde de l'interférogramme nulle : réglez-la dans les préférences "
        "(LambdaInterfero).");
  if (cible.NX != front.NX || cible.NY != front.NY) cible.Allouer(front.NX, front.NY);
  cible.Franges = franges;
  cible.AngleTrace = angleDegres * PiSimulation / 180;
  cible.Lambda = lambdaNm;
  // N fringes across the diameter: the tilt runs over N wavelengths from x = −1 to x = +1.
  const double k = franges * lambdaNm / 2;
  const double a = std::cos(cible.AngleTrace) * k, b = std::sin(cible.AngleTrace) * k;
  TPupille inclinaison;
  inclinaison.Allouer(front.NX, front.NY);
  for (TPupille* p : {&inclinaison, &cible}) {
    p->CentreX = front.CentreX;
    p->CentreY = front.CentreY;
    p->RayonPupille = front.RayonPupille;
    p->AxesPupille();
  }
  inclinaison.CopierMasque(front);
  inclinaison.PlanIncline(a, b);
  FrangesCos(cible, inclinaison, front);
  cible.CopierMasque(front);
  cible.Obstruction = front.Obstruction;
  cible.Role = RoleInterferogramme;
  cible.Palette = palette;
  cible.MasqueVisible = 1;
}

std::vector<int> AnglesSerie(int alpha0, int pas) {
  std::vector<int> angles;
  if (pas <= 0) return angles;
  int p = alpha0 + 180;
  do {
    p -= pas;
    angles.push_back(p);
  } while (p > alpha0);
  return angles;
}

}  // namespace quelvane
