#include "files/export_texte.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/regional.h"
#include "files/ecriture.h"

namespace quelvane {
namespace {

TEST(ExportOPD, LigneDExemple) {
  DefinirSeparateurDecimal(',');  // the OPD file always uses "."
  TPupille p;
  p.Allouer(5, 5);
  p.Lambda = 555;
  p.RayonPhysique = 1e8;
  p.AxeX = {-1, -0.5, 0, 0.5, 1};
  p.AxeY = {0.5, 0.25, 0, -0.25, -0.5};
  p.M(3, 3) = 1;
  p.V(3, 3) = 277.5;
  p.M(0, 0) = 2;  // not mask 1: omitted
  EXPECT_EQ(TexteOPD(p), "555,200\r\n50,-25,0.5\r\n");
  p.Lambda = 0;
  EXPECT_THROW(TexteOPD(p), ErreurEcriture);
  DefinirSeparateurDecimal('.');
}

TEST(FichierCoefficients, ToujoursEnNanometresRMS) {
  DefinirSeparateurDecimal(',');
  const auto jeu = ConstruireJeuZernike(29, PolyMahajan);
  TCoefZernike c{};
  c[3] = -12.5 * std::sqrt(3.0);
  const std::string texte = TexteCoefficients(c, 29, jeu);
  EXPECT_NE(texte.find("1;Piston;0\r\n"), std::string::npos);
  EXPECT_NE(texte.find("4;Défocalisation;-12,5\r\n"), std::string::npos);
  EXPECT_NE(texte.find("29;(35r^7-60r^5+30r^3-4r) Cos(t);0\r\n"), std::string::npos);
  EXPECT_EQ(std::count(texte.begin(), texte.end(), '\n'), 29);
  DefinirSeparateurDecimal('.');
}

}  // namespace
}  // namespace quelvane

namespace quelvane {
namespace {

TEST(OPD, RelireUnExport) {
  // A wavefront exported and read back: same values at the same normalised positions.
  TPupille f;
  f.Allouer(60, 60);
  f.CentreX = 30.4;
  f.CentreY = 29.7;
  f.RayonPupille = 25;
  f.AxesPupille();
  f.Lambda = 555;
  f.RayonPhysique = 1e8;
  f.Role = RoleFront;
  for (int r = 0; r < 60; ++r)
    for (int c = 0; c < 60; ++c) {
      const double q = std::hypot(f.AxeX[c], f.AxeY[r]);
      if (q <= 1 && q >= 0.3)
        f.M(r, c) = 1, f.V(r, c) = 100 * f.AxeX[c] - 40 * f.AxeY[r] * f.AxeY[r];
    }
  const TPupille g = LireOPD(TexteOPD(f));
  EXPECT_EQ(g.Lambda, 555);
  EXPECT_NEAR(g.RayonPhysique, 1e8, 1e-3);
  EXPECT_NEAR(g.RayonPupille, 25, 1e-9);
  EXPECT_NEAR(g.Obstruction, 0.3, 0.05);
  int n = 0;
  for (int r = 0; r < g.NY; ++r)
    for (int c = 0; c < g.NX; ++c) {
      if (g.M(r, c) != 1) continue;
      ++n;
      ASSERT_NEAR(g.V(r, c), 100 * g.AxeX[c] - 40 * g.AxeY[r] * g.AxeY[r], 1e-6);
    }
  int m = 0;
  for (int r = 0; r < 60; ++r)
    for (int c = 0; c < 60; ++c) m += f.M(r, c);
  EXPECT_EQ(n, m);
  EXPECT_THROW(LireOPD("555,200\r\n1,2\r\n"), ErreurLectureOPD);
  EXPECT_THROW(LireOPD("rien"), ErreurLectureOPD);
  EXPECT_THROW(LireOPD("555,200\r\n0,0,1\r\n1e300,0,1\r\n2e300,0,1\r\n3,0,1\r\n4,0,1\r\n"),
               ErreurLectureOPD);
}

}  // namespace
}  // namespace quelvane
