#include "core/ajustement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quelvane {
namespace {

// A wavefront pupil of radius `rayon` pixels: mask 1 on the ring, axes normalised.
TPupille PupilleFront(int n, double rayon, double obstruction) {
  TPupille p;
  p.Allouer(n, n);
  p.CentreX = p.CentreY = (n + 1) / 2.0;
  p.RayonPupille = rayon;
  p.Obstruction = obstruction;
  p.AxesPupille();
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double r2 = p.AxeX[c] * p.AxeX[c] + p.AxeY[r] * p.AxeY[r];
      p.M(r, c) = (r2 <= 1 && r2 >= obstruction * obstruction) ? 1 : 0;
    }
  return p;
}

void Synthetiser(TPupille& p, const TJeuZernike& jeu, const TCoefZernike& c) {
  for (int r = 0; r < p.NY; ++r)
    for (int k = 0; k < p.NX; ++k) {
      TValZernike v{};
      if (p.M(r, k) != 1 || !CalculZernike(jeu, p.AxeY[r], p.AxeX[k], p.Obstruction, v)) continue;
      double s = 0;
      for (int j = 0; j < jeu.NbTermes; ++j) s += c[j] * v[j];
      p.V(r, k) = s;
    }
}

TEST(Svd, DecompositionExacte) {
  std::mt19937 alea(11);
  std::normal_distribution<double> g;
  const int m = 9, n = 5;
  std::vector<double> a(m * n);
  for (double& x : a) x = g(alea);
  auto u = a;
  std::vector<double> w, v;
  svdcmp(u, m, n, w, v);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += u[i * n + k] * w[k] * v[j * n + k];
      EXPECT_NEAR(s, a[i * n + j], 1e-12);
    }
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k) {
      double uu = 0, vv = 0;
      for (int i = 0; i < m; ++i) uu += u[i * n + j] * u[i * n + k];
      for (int i = 0; i < n; ++i) vv += v[i * n + j] * v[i * n + k];
      EXPECT_NEAR(uu, j == k, 1e-12);
      EXPECT_NEAR(vv, j == k, 1e-12);
    }
  for (double x : w) EXPECT_GE(x, 0);
}

TEST(Ajustement, DefocalisationSeule) {
  for (int type : {PolyZernike, PolyMahajan}) {
    const auto jeu = ConstruireJeuZernike(22, type);
    TPupille p = PupilleFront(96, 40, type == PolyMahajan ? 0.3 : 0.0);
    TCoefZernike c{};
    c[3] = 100;
    Synthetiser(p, jeu, c);
    SelectionComplete(p.Selection);
    AjusterZernike(p, jeu);
    EXPECT_NEAR(p.Coefficients[3], 100, 1e-9);
    for (int j = 0; j < 22; ++j)
      if (j != 3) {
        EXPECT_NEAR(p.Coefficients[j], 0, 1e-9) << j;
      }
  }
}

TEST(Ajustement, RetrouveDesCoefficientsAleatoires) {
  std::mt19937 alea(5);
  std::uniform_real_distribution<double> u(-150, 150);
  for (auto [type, eps] : {std::pair{PolyZernike, 0.0}, std::pair{PolyMahajan, 0.35}}) {
    const auto jeu = ConstruireJeuZernike(42, type);
    TPupille p = PupilleFront(128, 60, eps);
    TCoefZernike c{};
    for (double& x : c) x = u(alea);
    Synthetiser(p, jeu, c);
    SelectionComplete(p.Selection);
    AjusterZernike(p, jeu);
    for (int j = 0; j < 42; ++j) EXPECT_NEAR(p.Coefficients[j], c[j], 1e-9 * 150) << "Z" << j + 1;
  }
}

TEST(Ajustement, SousEnsembleEtMasque) {
  const auto jeu = ConstruireJeuZernike(22, PolyZernike);
  TPupille p = PupilleFront(80, 30, 0);
  TCoefZernike c{};
  c[3] = 40;
  c[10] = -25;
  Synthetiser(p, jeu, c);
  // Samples outside the mask carry garbage that must not count.
  for (int r = 0; r < p.NY; ++r)
    for (int k = 0; k < p.NX; ++k)
      if (p.M(r, k) != 1) p.V(r, k) = 1e6;
  p.Coefficients.fill(9);
  p.Selection.fill(false);
  p.Selection[3] = p.Selection[10] = true;
  AjusterZernike(p, jeu);
  EXPECT_NEAR(p.Coefficients[3], 40, 1e-9);
  EXPECT_NEAR(p.Coefficients[10], -25, 1e-9);
  for (int j = 0; j < 42; ++j)
    if (j != 3 && j != 10) {
      EXPECT_EQ(p.Coefficients[j], 0);
    }
}

TEST(Ajustement, ObstructionExclueEnMahajan) {
  const auto jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPupille p = PupilleFront(80, 30, 0.0);
  p.Obstruction = 0.4;  // mask covers the hole; the ring still decides
  TCoefZernike c{};
  c[4] = 33;
  Synthetiser(p, jeu, c);
  for (int r = 0; r < p.NY; ++r)
    for (int k = 0; k < p.NX; ++k)
      if (p.AxeX[k] * p.AxeX[k] + p.AxeY[r] * p.AxeY[r] < 0.16) p.V(r, k) = -5e5;
  SelectionComplete(p.Selection);
  AjusterZernike(p, jeu);
  EXPECT_NEAR(p.Coefficients[4], 33, 1e-9);
}

TEST(Ajustement, CasDegeneres) {
  const auto jeu = ConstruireJeuZernike(42, PolyZernike);
  TPupille vide = PupilleFront(32, 10, 0);
  for (int r = 0; r < 32; ++r)
    for (int k = 0; k < 32; ++k) vide.M(r, k) = 0;
  SelectionComplete(vide.Selection);
  vide.Coefficients.fill(4);
  AjusterZernike(vide, jeu);
  for (double x : vide.Coefficients) EXPECT_EQ(x, 0);

  TPupille minuscule = PupilleFront(5, 1.2, 0);  // fewer samples than terms
  for (int r = 0; r < 5; ++r)
    for (int k = 0; k < 5; ++k) minuscule.V(r, k) = r - k;
  SelectionComplete(minuscule.Selection);
  AjusterZernike(minuscule, jeu);
  for (double x : minuscule.Coefficients) EXPECT_TRUE(std::isfinite(x));

  TPupille aucune = PupilleFront(32, 10, 0);
  aucune.Selection.fill(false);
  AjusterZernike(aucune, jeu);
  for (double x : aucune.Coefficients) EXPECT_EQ(x, 0);
}

}  // namespace
}  // namespace quelvane
