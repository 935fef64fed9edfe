#include "simulation/seidel.h"

#include <cmath>
#include <numbers>

#include "core/ajustement.h"

namespace quelvane {

TCoefZernike CoefficientsClassiques(const TCoefZernike& a, const TJeuZernike& jeu, double eps) {
  if (jeu.Type == PolyZernike) return a;
  // Sample the annular expansion over the whole unit disc (its polynomials extend there) and
  // fit the classical terms: the fit is exact, the samples only need to tell them apart.
  const TJeuZernike classique = ConstruireJeuZernike(jeu.NbTermes, PolyZernike);
  TPupille p;
  const int n = 96;
  p.Allouer(n, n);
  p.CentreX = p.CentreY = (n + 1) / 2.0;
  p.RayonPupille = n / 2.0 - 0.5;
  p.AxesPupille();
  SelectionComplete(p.Selection);
  TValZernike v{};
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double x = p.AxeX[c], y = p.AxeY[r];
      if (x * x + y * y > 1) continue;
      CalculZernikeEtendu(jeu, y, x, eps, v);
      double w = 0;
      for (int j = 0; j < jeu.NbTermes; ++j) w += a[j] * v[j];
      p.V(r, c) = w;
      p.M(r, c) = 1;
    }
  AjusterZernike(p, classique);
  return p.Coefficients;
}

std::array<TLigneSeidel, 6> CalculerSeidel(const TCoefZernike& coefficients,
                                           const TSelZernike& selection, const TJeuZernike& jeu,
                                           double obstruction) {
  TCoefZernike choisis{};
  for (int j = 0; j < jeu.NbTermes; ++j) choisis[j] = selection[j] ? coefficients[j] : 0;
  const TCoefZernike c = CoefficientsClassiques(choisis, jeu, obstruction);
  auto a = [&](int j) { return j <= jeu.NbTermes ? c[j - 1] : 0.0; };
  constexpr double Degres = 180 / std::numbers::pi;
  std::array<TLigneSeidel, 6> l{};
  for (int i = 0; i < 6; ++i) l[i].Nom = NomsSeidel[i];
  l[0].Valeur = a(1) - a(4) + a(11);
  const double bx = a(2) - 2 * a(7), by = a(3) - 2 * a(8);
  l[1].Valeur = std::hypot(bx, by);
  if (bx != 0 || by != 0) l[1].OrientationDeg = std::atan2(by, bx) * Degres;
  const double astig = std::hypot(a(5), a(6));
  l[2].Valeur = 2 * a(4) - 6 * a(11) - astig;
  l[3].Valeur = 2 * astig;
  if (astig != 0) l[3].OrientationDeg = std::atan2(a(6), a(5)) / 2 * Degres;
  l[4].Valeur = 3 * std::hypot(a(7), a(8));
  if (a(7) != 0 || a(8) != 0) l[4].OrientationDeg = std::atan2(a(8), a(7)) * Degres;
  l[5].Valeur = 6 * a(11);
  return l;
}

TTrichromie CalculerTrichromie(const std::array<const TPupille*, 3>& fronts, const TJeuZernike& jeu,
                               double f, double rho, const std::array<double, 3>& poids) {
  TTrichromie t;
  const double k = rho > 0 ? 4 * (f / rho) * (f / rho) * 1e-6 : 0;
  double somme = 0, total = 0;
  for (int i = 0; i < 3; ++i) {
    if (!fronts[i]) continue;
    const TPupille& w = *fronts[i];
    TColonneRVB& c = t.Colonnes[i];
    // The best focus (the focus term, orthogonal to spherical aberration), moved by
    // 2(f/ρ)² times its r² coefficient: 2a4 for the classical term, 2a4/(1 − ε²) for the
    // annular one.
    const double e2 = jeu.Type == PolyMahajan ? w.Obstruction * w.Obstruction : 0;
    c.Lambda = w.Lambda;
    c.FoyerMm = k * w.Coefficients[3] / (1 - e2);
    c.Z4Rms = jeu.FacteurNorm[3] != 0 ? w.Coefficients[3] / jeu.FacteurNorm[3] : 0;
    c.Z11Rms = jeu.FacteurNorm[10] != 0 ? w.Coefficients[10] / jeu.FacteurNorm[10] : 0;
    c.EcartRms = w.EcartType;
    c.Strehl =
        w.Lambda > 0 ? std::exp(-std::pow(2 * std::numbers::pi * w.EcartType / w.Lambda, 2)) : 0;
    somme += poids[i] * c.Strehl;
    total += poids[i];
  }
  t.StrehlPolychromatique = total > 0 ? somme / total : 0;
  t.ChromatismeMm = t.Colonnes[0].FoyerMm - t.Colonnes[2].FoyerMm;
  return t;
}

std::vector<std::vector<TPointProfil>> ProfilMeridien(const TPupille& p, double theta, int zoom,
                                                      bool& mm) {
  std::vector<std::vector<TPointProfil>> segments;
  if (p.RayonPupille <= 0 || zoom < 1) return segments;
  const double L = p.RayonPupille / zoom;
  const int e = static_cast<int>(std::lround(2 * L));
  mm = p.RayonPhysique > 1 && p.Role != RolePSF && p.Role != RolePSFTheorique;
  const double echelle = mm ? p.RayonPhysique * 1e-6 / p.RayonPupille : 1.0;
  bool ouvert = false;
  for (int k = 0; k <= e; ++k) {
    const double d = k - L;
    const double x = p.CentreX + d * std::cos(theta), y = p.CentreY - d * std::sin(theta);
    double v = 0;
    // Off the grid, or off a shown mask (the central obstruction), the line breaks.
    if (p.InterpolerBilineaire(x, y, v)) {
      if (!ouvert) segments.emplace_back();
      segments.back().push_back({d * echelle, v});
      ouvert = true;
    } else {
      ouvert = false;
    }
  }
  return segments;
}

}  // namespace quelvane
