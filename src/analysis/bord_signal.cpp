#include "analysis/bord_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/statistiques_robustes.h"

namespace quelvane {

namespace {

constexpr double PasProfil = 0.01;   // normalised radius
constexpr double FinLumiere = 0.03;  // share of the plateau where the light has ended
constexpr double ExterieurMax = 1.3;

double Rayon(const TPupille& s, int r, int c) {
  return std::sqrt(s.AxeX[c] * s.AxeX[c] + s.AxeY[r] * s.AxeY[r]);
}

}  // namespace

TBandeBord MesurerBandeBord(const TPupille& a, const TPupille& b, const TPupille& s) {
  TBandeBord bande;
  const int nb = static_cast<int>(ExterieurMax / PasProfil) + 2;
  std::vector<double> somme(nb, 0.0);
  std::vector<int> compte(nb, 0);
  std::vector<double> plateau;
  const double eps = s.Obstruction;
  for (int r = 0; r < s.NY; ++r)
    for (int c = 0; c < s.NX; ++c) {
      const double q = Rayon(s, r, c);
      const double v = a.V(r, c) + b.V(r, c);
      const int k = static_cast<int>(q / PasProfil);
      if (k < nb) somme[k] += v, ++compte[k];
      if (s.M(r, c) == 1 && q >= 0.6 && q <= 0.85 && q >= eps + 0.15) plateau.push_back(v);
    }
  if (plateau.empty()) return bande;
  bande.Plateau = Mediane(plateau);
  auto niveau = [&](int k) { return compte[k] ? somme[k] / compte[k] : 0.0; };
  const double fin = FinLumiere * bande.Plateau;
  bande.Exterieur = ExterieurMax;
  for (int k = static_cast<int>(1 / PasProfil); k < nb - 1; ++k)
    if (niveau(k) < fin) {
      bande.Exterieur = std::min(ExterieurMax, (k + 1) * PasProfil);
      break;
    }
  if (eps > 0.05)
    for (int k = static_cast<int>(eps / PasProfil); k >= 0; --k)
      if (niveau(k) < fin) {
        bande.Interieur = k * PasProfil;
        break;
      }
  return bande;
}

namespace {

// The outermost normalised radius where the mask still covers a quarter of a circle's pixels.
double Etendue(const TPupille& s) {
  const int nb = static_cast<int>(2 / PasProfil);
  std::vector<int> dedans(nb, 0), total(nb, 0);
  for (int r = 0; r < s.NY; ++r)
    for (int c = 0; c < s.NX; ++c) {
      const int k = static_cast<int>(Rayon(s, r, c) / PasProfil);
      if (k >= nb) continue;
      ++total[k];
      dedans[k] += s.M(r, c) == 1;
    }
  for (int k = nb - 1; k >= 0; --k)
    if (total[k] > 0 && 4 * dedans[k] >= total[k]) return (k + 1) * PasProfil;
  return 0;
}

}  // namespace

void ReplierBandes(TPupille& s, std::int16_t codeAnneau) {
  if (s.RayonPupille <= 0 || s.AxeX.size() < static_cast<std::size_t>(s.NX) ||
      s.AxeY.size() < static_cast<std::size_t>(s.NY))
    return;
  const double R = s.RayonPupille;
  const double largeur = Etendue(s) - 1;
  if (largeur <= 1.5 / R) return;
  const double epaisseur = 1.5 / R;  // the outermost pixels of the pupil
  const int secteurs = std::max(16, static_cast<int>(2 * std::numbers::pi * R / 3));
  auto secteur = [&](int r, int c) {
    double t = std::atan2(s.AxeY[r], s.AxeX[c]) / (2 * std::numbers::pi);
    t -= std::floor(t);
    return std::min(secteurs - 1, static_cast<int>(t * secteurs));
  };
  // Only rows and columns that reach the band: the rest of the grid has nothing to fold.
  const double portee = 1 + largeur;
  auto plage = [portee](const std::vector<double>& axe, int n, int& debut, int& fin) {
    debut = 0, fin = n;
    while (debut < n && std::abs(axe[debut]) > portee) ++debut;
    while (fin > debut && std::abs(axe[fin - 1]) > portee) --fin;
  };
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  plage(s.AxeY, s.NY, r0, r1);
  plage(s.AxeX, s.NX, c0, c1);
  std::vector<double> exces(secteurs, 0.0);
  std::vector<int> bordure(secteurs, 0);
  for (int r = r0; r < r1; ++r)
    for (int c = c0; c < c1; ++c) {
      if (s.M(r, c) != 1) continue;
      const double q = Rayon(s, r, c);
      if (q > 1 && q <= 1 + largeur) exces[secteur(r, c)] += s.V(r, c);
      if (q <= 1 && q > 1 - epaisseur) ++bordure[secteur(r, c)];
    }
  for (int r = r0; r < r1; ++r)
    for (int c = c0; c < c1; ++c) {
      if (s.M(r, c) != 1) continue;
      const double q = Rayon(s, r, c);
      if (q > 1 && q <= 1 + largeur) {
        s.V(r, c) = 0;
        s.M(r, c) = codeAnneau;
      } else if (q <= 1 && q > 1 - epaisseur) {
        const int k = secteur(r, c);  // only at the edge: an arc tangent is not free
        if (bordure[k] > 0) s.V(r, c) += exces[k] / bordure[k];
      }
    }
}

}  // namespace quelvane
