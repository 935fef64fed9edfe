#include "core/pupille.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quelvane {
namespace {

// Disk of radius r (and hole of radius trou) centred at 1-based (cx, cy); data = mask × niveau.
TPupille Anneau(int n, double cx, double cy, double r, double trou = 0, double niveau = 1) {
  TPupille p;
  p.Allouer(n, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      const double d = std::hypot(j - cx, i - cy);
      const bool dedans = d <= r && d >= trou;
      p.M(i - 1, j - 1) = dedans ? 1 : 0;
      p.V(i - 1, j - 1) = dedans ? niveau : 0;
    }
  return p;
}

TEST(PupilleTrouver, CordesEnPremiereColonne) {
  TPupille p;
  p.Allouer(6, 4);
  p.M(1, 0) = p.M(2, 0) = 1;
  p.TrouverPupille();
  EXPECT_DOUBLE_EQ(p.RayonPupille, std::sqrt(2 / M_PI));
  EXPECT_DOUBLE_EQ(p.CentreX, 1);
  EXPECT_DOUBLE_EQ(p.CentreY, 2.5);
}

TEST(PupilleTrouver, DerniereColonneJamaisTestee) {
  TPupille p;
  p.Allouer(6, 4);
  p.CentreX = 9;
  p.CentreY = 8;
  p.M(0, 5) = p.M(2, 5) = 1;
  p.TrouverPupille();
  EXPECT_EQ(p.RayonPupille, 0);
  EXPECT_EQ(p.CentreX, 9);
  EXPECT_EQ(p.CentreY, 8);
}

TEST(PupilleTrouver, AnneauRayonEtObstruction) {
  TPupille p = Anneau(128, 64.3, 60.7, 40, 10);
  p.TrouverPupille();
  EXPECT_NEAR(p.RayonPupille, 40, 0.3);
  EXPECT_NEAR(p.CentreX, 64.3, 0.05);
  EXPECT_NEAR(p.CentreY, 60.7, 0.05);
  p.AxesPupille();
  EXPECT_NEAR(p.AxeX[64 - 1], (64 - p.CentreX) / p.RayonPupille, 1e-12);
  EXPECT_LT(p.PasY, 0);  // y points up
  p.CalculerObstruction();
  EXPECT_NEAR(p.Obstruction, 0.25, 0.01);
}

// The extra-focal image is turned when opened: its centre turns with it, as finding the pupil
// again on the turned picture gives it (the panel showed one centre at opening and another
// once the window was activated again).
TEST(PupilleGeometrie, Symetrie180TourneLeCentre) {
  TPupille p = Anneau(100, 47.3, 52.8, 30);
  p.TrouverPupille();
  p.Symetrie180();
  const double cx = p.CentreX, cy = p.CentreY;
  EXPECT_NEAR(cx, 101 - 47.3, 0.05);
  EXPECT_NEAR(cy, 101 - 52.8, 0.05);
  p.TrouverPupille();
  EXPECT_NEAR(p.CentreX, cx, 1e-9);
  EXPECT_NEAR(p.CentreY, cy, 1e-9);
}

TEST(PupilleSeuil, BlocsEntiersSeulement) {
  TPupille p;
  p.Allouer(100, 100);
  for (int r = 0; r < 100; ++r)
    for (int c = 0; c < 100; ++c)
      p.V(r, c) = (r >= 96 || c >= 96) ? 1e6 : (r < 12 && c < 12 ? 100 : 0);
  p.SeuilAutomatique(8, 50);  // 12 × 12 blocks: rows and columns 97..100 take no part
  EXPECT_DOUBLE_EQ(p.Seuil, 50);
  EXPECT_EQ(p.M(0, 0), 1);
  EXPECT_EQ(p.M(50, 50), 0);
}

TEST(PupilleSeuil, PlusDeBlocsQueDeColonnes) {
  TPupille p;
  p.Allouer(4, 4);
  p.V(1, 1) = -3;
  p.V(2, 2) = 8;
  p.SeuilAutomatique(8, 50);
  EXPECT_EQ(p.Seuil, 0);
  EXPECT_EQ(p.M(0, 0), 1);
  EXPECT_EQ(p.M(1, 1), 0);
  EXPECT_EQ(p.M(2, 2), 1);
}

TEST(PupilleGeometrie, RecadrerPupille) {
  TPupille p = Anneau(128, 64, 64, 30);
  p.CentreX = p.CentreY = 64;
  p.RayonPupille = 30;
  p.V(24, 24) = 77;  // old (25, 25) 1-based
  p.RecadrerPupille(10);
  EXPECT_EQ(p.NX, 80);
  EXPECT_EQ(p.NY, 80);
  EXPECT_EQ(p.V(0, 0), 77);
  EXPECT_EQ(p.CentreX, 40);
  EXPECT_EQ(p.CentreY, 40);
}

TEST(PupilleGeometrie, CentrerAmeneLaPupilleAuMilieu) {
  TPupille p = Anneau(128, 50, 70, 20, 0, 1000);
  p.Seuil = 500;
  p.TrouverPupille();
  p.Centrer();
  EXPECT_NEAR(p.CentreX, 64, 0.6);
  EXPECT_NEAR(p.CentreY, 64, 0.6);
  EXPECT_NEAR(p.RayonPupille, 20, 0.5);
  EXPECT_DOUBLE_EQ(p.AxeX[0], (1 - p.CentreX) / p.RayonPupille);
}

TEST(PupilleGeometrie, LimiterPupilleAuxBordsDeLAnneau) {
  TPupille p = Anneau(64, 32, 32, 20, 0, 5);
  p.CentreX = p.CentreY = 32;
  p.RayonPupille = 10;  // half the masked disk: the outer half is cut
  p.Obstruction = 0.3;
  p.AxesPupille();
  p.LimiterPupille();
  EXPECT_EQ(p.M(31, 31), 0);  // centre, inside the obstruction
  EXPECT_EQ(p.V(31, 31), 0);
  EXPECT_EQ(p.M(31, 31 + 5), 1);   // r = 0.5
  EXPECT_EQ(p.M(31, 31 + 15), 0);  // r = 1.5
  EXPECT_EQ(p.M(31, 31 + 10), 1);  // r = 1 exactly stays
}

TEST(PupilleGeometrie, CopierPupilleNeCopiePasLaLongueurDOnde) {
  TPupille a = Anneau(16, 8, 8, 4);
  a.Role = RoleFront;
  a.Lambda = 633;
  a.Coefficients[3] = 12;
  a.CentreX = 8.5;
  TPupille b;
  b.Lambda = 550;
  b.CopierPupille(a);
  EXPECT_EQ(b.Role, RoleFront);
  EXPECT_EQ(b.Lambda, 550);
  EXPECT_EQ(b.Coefficients[3], 12);
  EXPECT_EQ(b.CentreX, 8.5);
  EXPECT_EQ(b.M(7, 7), 1);
}

}  // namespace
}  // namespace quelvane
