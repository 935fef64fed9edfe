#include "core/pupille.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "core/mathematiques.h"
#include "core/parallele.h"

namespace quelvane {

void TPupille::TrouverPupille() {
  // Chords run edge to edge, so a central hole counts as pupil. Column NX is never tested.
  // Within a zone, each row's chord is limited to the zone's disc.
  // Counts and sums of half-integers far below 2⁵²: exact, so the bands' shares add up to the
  // same bits in any order.
  constexpr int Bandes = 8;
  std::array<double, Bandes> comptes{}, sommesX{}, sommesY{};
  const bool zone = RayonZone > 0;
  PourBandes(
      NY, Bandes,
      [&](int k, int debut, int fin) {
        double& compte = comptes[static_cast<std::size_t>(k)];
        double& sx = sommesX[static_cast<std::size_t>(k)];
        double& sy = sommesY[static_cast<std::size_t>(k)];
        for (int r = debut + 1; r <= fin; ++r) {
          int premiere = 1, derniere = NX - 1;
          if (zone) {
            const double dy = r - ZoneY;
            if (std::fabs(dy) > RayonZone) continue;
            const double demi = std::sqrt(RayonZone * RayonZone - dy * dy);
            premiere = std::max(1, static_cast<int>(std::ceil(ZoneX - demi)));
            derniere = std::min(NX - 1, static_cast<int>(std::floor(ZoneX + demi)));
            if (premiere > derniere) continue;
          }
          const std::int16_t* m = Masque.Ligne(r - 1);
          int c = premiere;
          while (c <= derniere && m[c - 1] != 1) ++c;
          if (c > derniere) continue;
          int d = derniere;
          while (d > c && m[d - 1] != 1) --d;
          const double l = d - c + 1;
          compte += l;
          sx += l * (c + d) / 2.0;
          sy += r * l;
        }
      },
      BalayageAPartager(NX, NY));
  double compte = 0, sx = 0, sy = 0;
  for (int k = 0; k < Bandes; ++k) compte += comptes[k], sx += sommesX[k], sy += sommesY[k];
  RayonPupille = std::sqrt(compte / std::numbers::pi);
  if (compte > 0) {
    CentreX = sx / compte;
    CentreY = sy / compte;
  }
}

void TPupille::CalculerObstruction() {
  if (RayonPupille == 0 || AxeX.size() < static_cast<std::size_t>(NX) ||
      AxeY.size() < static_cast<std::size_t>(NY)) {
    Obstruction = 0;
    return;
  }
  constexpr int Bandes = 8;
  std::array<long, Bandes> comptes{};
  PourBandes(
      NY, Bandes,
      [&](int k, int debut, int fin) {
        for (int r = debut; r < fin; ++r) {
          if (!(AxeY[r] * AxeY[r] < 0.9)) continue;  // the whole row beyond the circle
          for (int c = 0; c < NX; ++c)
            if (M(r, c) == 0 && AxeX[c] * AxeX[c] + AxeY[r] * AxeY[r] < 0.9)
              ++comptes[static_cast<std::size_t>(k)];
        }
      },
      BalayageAPartager(NX, NY));
  long compte = 0;
  for (long n : comptes) compte += n;
  Obstruction = std::sqrt(compte / std::numbers::pi) / RayonPupille;
}

void TPupille::SeuilAutomatique(int n, int p) {
  if (n <= 0 || Donnees.Vide()) return;
  Seuil = SeuilDesBlocs(n, p);
  Seuiller();
}

double TPupille::SeuilDesBlocs(int n, int p) const {
  if (n <= 0 || Donnees.Vide()) return Seuil;
  // Within a zone, the blocks tile the square around the star: the frame's size and the other
  // stars then change nothing.
  int x0 = 0, y0 = 0, largeur = NX, hauteur = NY;
  if (RayonZone > 0) {
    x0 = std::clamp(static_cast<int>(std::floor(ZoneX - 1 - RayonZone)), 0, NX - 1);
    y0 = std::clamp(static_cast<int>(std::floor(ZoneY - 1 - RayonZone)), 0, NY - 1);
    largeur = std::min(NX, static_cast<int>(std::ceil(ZoneX - 1 + RayonZone)) + 1) - x0;
    hauteur = std::min(NY, static_cast<int>(std::ceil(ZoneY - 1 + RayonZone)) + 1) - y0;
    n = std::min({n, largeur, hauteur});
  }
  const int bx = largeur / n, by = hauteur / n;
  const long d = static_cast<long>(bx) * by;
  double mini = 0, maxi = 0;
  bool premier = true;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double moyenne = 0;
      if (d > 0) {
        double s = 0;
        for (int r = y0 + j * by; r < y0 + (j + 1) * by; ++r) {
          const double* l = Donnees.Ligne(r);
          for (int c = x0 + i * bx; c < x0 + (i + 1) * bx; ++c) s += l[c];
        }
        moyenne = s / d;
      }
      if (premier || moyenne < mini) mini = moyenne;
      if (premier || moyenne > maxi) maxi = moyenne;
      premier = false;
    }
  return ((100.0 - p) * mini + p * maxi) / 100.0;
}

void TPupille::Centrer() {
  const double dx = NX / 2.0 - CentreX, dy = NY / 2.0 - CentreY;
  Decaler(dx, dy);
  for (auto& s : SousEnsembles) {
    TFctXY f;
    f.NX = NX, f.NY = NY;
    f.Donnees = *s;
    f.Decaler(dx, dy);
    s = std::make_shared<const TGrilleReelle>(std::move(f.Donnees));
  }
  if (RayonZone > 0) ZoneX += dx, ZoneY += dy;
  Seuiller();
  TrouverPupille();
  AxesPupille();
}

void TPupille::Symetrie180() {
  TFctXY::Symetrie180();
  for (auto& s : SousEnsembles) {
    auto tourne = std::make_shared<TGrilleReelle>(*s);
    auto plan = tourne->Plan(0);
    std::reverse(plan.begin(), plan.end());
    s = std::move(tourne);
  }
  if (RayonZone > 0) {
    ZoneX = NX + 1 - ZoneX;
    ZoneY = NY + 1 - ZoneY;
  }
  // The pupil turns with the picture: its centre as the turned mask gives it.
  if (RayonPupille > 0) {
    CentreX = NX + 1 - CentreX;
    CentreY = NY + 1 - CentreY;
    AxesPupille();
  }
}

void TPupille::AxesPupille() {
  const double r = RayonPupille;
  DefinirAxes(CentreX, CentreY, 0, 0, CentreX + r, CentreY + r, 1, -1);
}

void TPupille::CopierPupille(const TPupille& s) {
  Role = s.Role;
  CentreX = s.CentreX;
  CentreY = s.CentreY;
  RayonPupille = s.RayonPupille;
  Obstruction = s.Obstruction;
  Coefficients = s.Coefficients;
  Selection = s.Selection;
  OrdresSup = s.OrdresSup;
  ZoneX = s.ZoneX;
  ZoneY = s.ZoneY;
  RayonZone = s.RayonZone;
  SousEnsembles = s.SousEnsembles;
  Variantes = s.Variantes;
  Copier(s);
}

void TPupille::RecadrerPupille(int marge) {
  const double r = RayonPupille;
  const int x0 = static_cast<int>(Arrondi(CentreX - r - marge));
  const int y0 = static_cast<int>(Arrondi(CentreY - r - marge));
  const int cote = 2 * static_cast<int>(Arrondi(r + marge));
  Extraire(x0, y0, cote, cote);
  CentreX -= x0;
  CentreY -= y0;
  if (RayonZone > 0) ZoneX -= x0, ZoneY -= y0;
}

void TPupille::LimiterPupille() {
  const double e2 = Obstruction * Obstruction;
  for (int r = 0; r < NY && r < static_cast<int>(AxeY.size()); ++r)
    for (int c = 0; c < NX && c < static_cast<int>(AxeX.size()); ++c) {
      if (M(r, c) != 1) continue;
      const double r2 = AxeX[c] * AxeX[c] + AxeY[r] * AxeY[r];
      if (r2 > 1 || r2 < e2) {
        V(r, c) = 0;
        M(r, c) = 0;
      }
    }
}

void TPupille::PlanIncline(double kx, double ky) {
  for (int r = 0; r < NY && r < static_cast<int>(AxeY.size()); ++r)
    for (int c = 0; c < NX && c < static_cast<int>(AxeX.size()); ++c)
      if (M(r, c) == 1) V(r, c) = kx * AxeX[c] + ky * AxeY[r];
}

}  // namespace quelvane
