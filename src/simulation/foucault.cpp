#include "simulation/foucault.h"

#include <cmath>

#include "simulation/interferogramme.h"

namespace quelvane {

void CalculerFoucault(const TPupille& front, int angleDegres, TPupille& cible) {
  if (cible.NX != front.NX || cible.NY != front.NY) cible.Allouer(front.NX, front.NY);
  cible.AngleTrace = angleDegres * PiSimulation / 180;
  cible.DeriveeDirectionnelle(front, cible.AngleTrace);
  cible.MasqueVisible = 1;
  cible.Role = RoleFoucault;
  cible.Obstruction = front.Obstruction;
  cible.TrouverPupille();
  cible.AxesPupille();
  // A mark just outside the pupil, opposite to α, and the knife through the centre,
  // perpendicular to α, 2.2 radii long (normalised units; the drawing converts them).
  const double b = cible.AngleTrace + PiSimulation, k = cible.AngleTrace + 1.5707963267945;
  cible.Traces[1] = {1, 0, 1.1 * std::cos(b), 1.1 * std::sin(b), std::cos(b), std::sin(b), 0};
  cible.Traces[2] = {
      1, 0, 1.1 * std::cos(k), 1.1 * std::sin(k), -1.1 * std::cos(k), -1.1 * std::sin(k), 0};
}

}  // namespace quelvane
