// Seidel terms, the three-colour table and the meridian profile.

#include "simulation/seidel.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/front_essai.h"

namespace quelvane {
namespace {

const TJeuZernike& Classique() {
  static const TJeuZernike j = ConstruireJeuZernike(22, PolyZernike);
  return j;
}

TSelZernike Tous() {
  TSelZernike s{};
  SelectionComplete(s);
  return s;
}

TEST(Seidel, ExemplesEtSphericitePure) {
  TCoefZernike a{};
  a[3] = 100;
  auto l = CalculerSeidel(a, Tous(), Classique(), 0);
  EXPECT_NEAR(l[2].Valeur, 200, 1e-9);   // defocus
  EXPECT_NEAR(l[0].Valeur, -100, 1e-9);  // piston
  EXPECT_NEAR(l[3].Valeur, 0, 1e-9);
  a = {};
  a[6] = 10;  // coma along x
  l = CalculerSeidel(a, Tous(), Classique(), 0);
  EXPECT_NEAR(l[4].Valeur, 30, 1e-9);
  EXPECT_NEAR(*l[4].OrientationDeg, 0, 1e-9);
  EXPECT_NEAR(l[1].Valeur, 20, 1e-9);
  // Pure primary spherical: the spherical term with the sign of Z11, no astigmatism nor coma.
  a = {};
  a[10] = -40;
  l = CalculerSeidel(a, Tous(), Classique(), 0);
  EXPECT_NEAR(l[5].Valeur, -240, 1e-9);
  EXPECT_NEAR(l[3].Valeur, 0, 1e-9);
  EXPECT_NEAR(l[4].Valeur, 0, 1e-9);
  EXPECT_FALSE(l[3].OrientationDeg);
  // A term left out of the selection is left out of the Seidel terms.
  TSelZernike sans = Tous();
  sans[10] = false;
  EXPECT_NEAR(CalculerSeidel(a, sans, Classique(), 0)[5].Valeur, 0, 1e-12);
}

TEST(Seidel, OrientationsDeLAstigmatismeEtDeLaComa) {
  for (double angle : {30.0, 120.0, -75.0}) {
    TCoefZernike a{};
    const double t = angle * 3.14159265358979 / 180;
    a[4] = 50 * std::cos(2 * t);
    a[5] = 50 * std::sin(2 * t);
    const auto l = CalculerSeidel(a, Tous(), Classique(), 0);
    // The axis repeats every 180°: 120° reads as −60°.
    double o = *l[3].OrientationDeg;
    EXPECT_NEAR(std::remainder(o - angle, 180.0), 0, 1e-9) << angle;
    EXPECT_NEAR(l[3].Valeur, 100, 1e-9);
  }
  TCoefZernike c{};
  c[6] = -10;  // coma pointing the other way: 180°, not 0°
  EXPECT_NEAR(std::fabs(*CalculerSeidel(c, Tous(), Classique(), 0)[4].OrientationDeg), 180, 1e-9);
}

TEST(Seidel, TermesAnnulairesConvertisExactement) {
  // Annular Z11 over ε = 0.3 is (6r⁴ − 6(1+ε²)r² + 1 + 4ε² + ε⁴)/(1−ε²)²: its spherical term is
  // 6a/(1−ε²)², not 6a.
  const TJeuZernike annulaire = ConstruireJeuZernike(22, PolyMahajan);
  TCoefZernike a{};
  a[10] = 50;
  const double e2 = 0.09;
  const auto l = CalculerSeidel(a, Tous(), annulaire, 0.3);
  EXPECT_NEAR(l[5].Valeur, 6 * 50 / ((1 - e2) * (1 - e2)), 1e-6);
  // And the classical coefficients give the same wavefront wherever the annulus is.
  const TCoefZernike c = CoefficientsClassiques(a, annulaire, 0.3);
  TValZernike va{}, vc{};
  CalculZernike(annulaire, 0.2, 0.5, 0.3, va);
  CalculZernike(Classique(), 0.2, 0.5, 0.3, vc);
  double wa = 0, wc = 0;
  for (int j = 0; j < 22; ++j) wa += a[j] * va[j], wc += c[j] * vc[j];
  EXPECT_NEAR(wa, wc, 1e-6);
}

TEST(Trichromie, PoidsEtFoyers) {
  TPupille b, v, r;
  for (TPupille* p : {&b, &v, &r}) p->EcartType = 30;
  b.Lambda = 470, v.Lambda = 550, r.Lambda = 650;
  v.Coefficients[3] = 0;  // the reference colour
  b.Coefficients[3] = 25, r.Coefficients[3] = -10;
  const auto t = CalculerTrichromie({&b, &v, &r}, Classique(), 1e9, 1e8, {1, 1, 1});
  EXPECT_EQ(t.Colonnes[1].FoyerMm, 0);
  EXPECT_NEAR(t.Colonnes[0].FoyerMm, 4 * 100 * 1e-6 * 25, 1e-12);
  const double sb = std::exp(-std::pow(2 * 3.14159265358979 * 30 / 470, 2));
  const double sv = std::exp(-std::pow(2 * 3.14159265358979 * 30 / 550, 2));
  const double sr = std::exp(-std::pow(2 * 3.14159265358979 * 30 / 650, 2));
  EXPECT_NEAR(t.StrehlPolychromatique, (sb + sv + sr) / 3, 1e-9);  // weights 1: the mean
  EXPECT_NEAR(t.ChromatismeMm, t.Colonnes[0].FoyerMm - t.Colonnes[2].FoyerMm, 1e-15);
  const auto p = CalculerTrichromie({&b, &v, &r}, Classique(), 1e9, 1e8, {0, 1, 0});
  EXPECT_NEAR(p.StrehlPolychromatique, sv, 1e-12);
}

template <class F>
TPupille Front(double eps, F&& w) {
  TPupille p = essais::FrontEssai(101, 51, 40, eps, w);
  p.RayonPhysique = 1e8;
  p.MasqueVisible = 1;
  return p;
}

TEST(Meridienne, SymetrieEtObstruction) {
  // Rotationally symmetric: the same profile at every azimuth, symmetric about the centre.
  const TPupille p = Front(0, [](double x, double y) { return 100 * (x * x + y * y); });
  bool mm = false;
  const auto a = ProfilMeridien(p, 0, 1, mm);
  const auto b = ProfilMeridien(p, 3.14159265358979 / 2, 1, mm);
  EXPECT_TRUE(mm);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  ASSERT_EQ(a[0].size(), b[0].size());
  for (std::size_t i = 0; i < a[0].size(); ++i) {
    EXPECT_NEAR(a[0][i].Valeur, b[0][i].Valeur, 1e-6);
    EXPECT_NEAR(a[0][i].Valeur, a[0][a[0].size() - 1 - i].Valeur, 1e-6);
  }
  EXPECT_NEAR(a[0].front().X, -100, 3);
  EXPECT_NEAR(std::fabs(a[0].back().X), 100, 3);  // millimetres to the edge of a 200 mm pupil
  // An obstructed wavefront: two segments, nothing drawn across the hole.
  const TPupille o = Front(0.3, [](double x, double) { return 50 * x; });
  const auto s = ProfilMeridien(o, 0, 1, mm);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_LT(s[0].back().X, -25);
  EXPECT_GT(s[1].front().X, 25);
  // Zoom 2: the central half of the diameter only.
  const auto z = ProfilMeridien(p, 0, 2, mm);
  EXPECT_NEAR(z[0].back().X, 50, 3);
}

}  // namespace
}  // namespace quelvane
