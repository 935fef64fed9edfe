#include "core/fonctionxy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace quelvane {
namespace {

TFctXY Rampe(int nx, int ny, double pas = 1.0) {
  TFctXY f;
  f.Allouer(nx, ny);
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) f.V(r, c) = pas * (r * nx + c);
  return f;
}

TEST(FctXYGeometrie, Symetrie180DeuxFoisRestaure) {
  TFctXY f = Rampe(7, 5);
  f.M(1, 2) = 1;
  f.Symetrie180();
  EXPECT_EQ(f.V(0, 0), 34);  // old (5,7) 1-based
  EXPECT_EQ(f.M(5 - 1 - 1, 7 - 1 - 2), 1);
  f.Symetrie180();
  EXPECT_EQ(f.V(0, 0), 0);
  EXPECT_EQ(f.V(4, 6), 34);
  EXPECT_EQ(f.M(1, 2), 1);
}

TEST(FctXYGeometrie, DecalerArrondiEtBords) {
  TFctXY f = Rampe(5, 4);
  TFctXY g;
  g.Copier(f);
  g.Decaler(0, 0);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c) EXPECT_EQ(g.V(r, c), f.V(r, c));

  g.V(1, 1) = 2.5;
  g.V(1, 2) = 3.5;
  g.Decaler(0, 0);
  EXPECT_EQ(g.V(1, 1), 2);  // halves to even
  EXPECT_EQ(g.V(1, 2), 4);

  TFctXY ligne;
  ligne.Allouer(3, 1);
  ligne.V(0, 0) = 0;
  ligne.V(0, 1) = 10;
  ligne.V(0, 2) = 20;
  ligne.Decaler(0.5, 0);
  EXPECT_EQ(ligne.V(0, 0), 0);  // reads the missing column 0 as 0
  EXPECT_EQ(ligne.V(0, 1), 5);
  EXPECT_EQ(ligne.V(0, 2), 15);
}

TEST(FctXYGeometrie, AgrandirPuissanceDeux) {
  TFctXY f = Rampe(100, 60);
  f.M(0, 0) = 1;
  for (int c = 0; c < 100; ++c) f.AxeX[c] = c * 0.5;
  f.AgrandirPuissanceDeux();
  EXPECT_EQ(f.NX, 128);
  EXPECT_EQ(f.NY, 128);
  EXPECT_EQ(f.V(34, 14), 0);  // old (1,1) lands at offsets 14 (columns) and 34 (rows)
  EXPECT_EQ(f.V(34, 15), 1);
  EXPECT_EQ(f.V(35, 14), 100);
  EXPECT_EQ(f.M(34, 14), 1);
  EXPECT_DOUBLE_EQ(f.AxeX[14 + 10], 5.0);

  TFctXY g = Rampe(129, 10);
  g.AgrandirPuissanceDeux();
  EXPECT_EQ(g.NX, 256);
  TFctXY h = Rampe(128, 128);
  h.AgrandirPuissanceDeux();
  EXPECT_EQ(h.NX, 128);
  EXPECT_EQ(h.V(3, 4), 3 * 128 + 4);

  TFctXY impaire = Rampe(101, 103);  // 27/2 → 14 and 25/2 → 12: halves to even
  impaire.AgrandirPuissanceDeux();
  EXPECT_EQ(impaire.V(12, 15), 1);
  EXPECT_EQ(impaire.V(13, 14), 101);
}

TEST(FctXYGeometrie, ExtraireHorsGrilleDonneZero) {
  TFctXY f = Rampe(4, 4);
  f.Extraire(-1, 2, 3, 3);
  EXPECT_EQ(f.NX, 3);
  EXPECT_EQ(f.NY, 3);
  EXPECT_EQ(f.V(0, 0), 0);      // column −1 outside
  EXPECT_EQ(f.V(0, 1), 2 * 4);  // old (row 2, col 0)
  EXPECT_EQ(f.V(2, 2), 0);      // row 4 outside
}

TEST(FctXYStatistiques, MasqueVide) {
  TFctXY f = Rampe(4, 3);
  f.MoyenneEcartType();
  EXPECT_EQ(f.NbEffectif, 0);
  EXPECT_EQ(f.Moyenne, 0);
  EXPECT_EQ(f.EcartType, 0);
  f.MinMaxMasque();
  EXPECT_TRUE(std::isfinite(f.Mini));
  EXPECT_EQ(f.Etendue, 0);
}

TEST(FctXYStatistiques, MoyenneEcartTypeSurLeMasque) {
  TFctXY f = Rampe(4, 1);  // 0 1 2 3
  f.M(0, 1) = f.M(0, 3) = 1;
  f.MoyenneEcartType();
  EXPECT_EQ(f.NbEffectif, 2);
  EXPECT_DOUBLE_EQ(f.Moyenne, 2);
  EXPECT_DOUBLE_EQ(f.EcartType, 1);
  f.MinMaxMasque();
  EXPECT_EQ(f.Mini, 1);
  EXPECT_EQ(f.Maxi, 3);
  f.MinMax();
  EXPECT_EQ(f.Mini, 0);
  TFctXY g = Rampe(4, 1);
  g.V(0, 3) = 7;
  EXPECT_DOUBLE_EQ(f.EcartQuadratique(g), 4);  // only masked samples, not divided
}

TEST(FctXYAxes, DefinirAxesEtConversions) {
  TFctXY f;
  f.Allouer(5, 5);
  f.DefinirAxes(3, 3, 0, 0, 4, 4, 1, -1);
  EXPECT_EQ(f.AxeX[2], 0);
  EXPECT_EQ(f.PasX, 1);
  EXPECT_EQ(f.AxeY[2], 0);
  EXPECT_EQ(f.PasY, -1);
  f.CentreX = 3;
  f.CentreY = 3;
  EXPECT_EQ(f.ColonneDeX(1.4, -1), 4);
  EXPECT_EQ(f.LigneDeY(1, -1), 2);  // y up, rows down
  f.PasX = 0;
  EXPECT_EQ(f.ColonneDeX(1, -7), -7);
}

TEST(FctXYInterpolation, BornesEtValeurs) {
  TFctXY f = Rampe(4, 3);
  double v = -1;
  EXPECT_FALSE(f.InterpolerBilineaire(4, 1, v));  // X = NX
  ASSERT_TRUE(f.InterpolerBilineaire(1, 1, v));
  EXPECT_EQ(v, f.V(0, 0));
  ASSERT_TRUE(f.InterpolerBilineaire(1.5, 2.5, v));
  EXPECT_DOUBLE_EQ(v, (f.V(1, 0) + f.V(1, 1) + f.V(2, 0) + f.V(2, 1)) / 4);
  f.MasqueVisible = 1;
  EXPECT_FALSE(f.InterpolerBilineaire(1.5, 2.5, v));
}

TEST(FctXYDerivees, GradientUnilateralAuBordDuMasque) {
  TFctXY f;
  f.Allouer(5, 1);
  for (int c = 0; c < 5; ++c) f.V(0, c) = c * c;
  f.M(0, 1) = f.M(0, 2) = f.M(0, 3) = 1;
  TFctXY g;
  g.Allouer(5, 1);
  g.GradientX(f);
  EXPECT_EQ(g.V(0, 1), 4 - 1);          // only right neighbour inside
  EXPECT_EQ(g.V(0, 2), (9 - 1) / 2.0);  // both
  EXPECT_EQ(g.V(0, 3), 9 - 4);          // only left
  TFctXY d;
  d.DeriveeX(f);
  EXPECT_EQ(d.V(0, 0), 0);
  EXPECT_EQ(d.V(0, 1), (4 - 0) / 2.0);
  EXPECT_EQ(d.V(0, 4), 0);
}

TEST(FctXYOperandes, TailleInsuffisanteRefusee) {
  TFctXY grand = Rampe(8, 8), petit = Rampe(4, 4);
  EXPECT_THROW(grand.Ajouter(petit), std::length_error);
  EXPECT_THROW(grand.CombinaisonLineaire(grand, petit, 1, 1), std::length_error);
  EXPECT_NO_THROW(petit.Ajouter(grand));
}

TEST(FctXYCopie, CopierUnChampComplexeGardeSesDeuxPlans) {
  TFctXY c;
  c.Complexe = 1;
  c.Allouer(4, 4);
  c.Donnees(1, 2, 3) = 5;
  TFctXY d;
  d.Copier(c);
  ASSERT_EQ(d.Donnees.Plans(), 2);
  EXPECT_EQ(d.Donnees(1, 2, 3), 5);
}

TEST(FctXYFourier, FiltrePoissonSurChampReelNeChangeRien) {
  TFctXY f = Rampe(4, 4);
  f.FiltrePoisson();
  EXPECT_EQ(f.V(2, 3), 11);
}

TEST(FctXYFourier, FiltrePoissonPondereParLaDistanceAuCentre) {
  TFctXY f;
  f.Complexe = 1;
  f.Allouer(4, 4);
  f.PasX = 2;
  f.PasY = -0.5;
  for (int p = 0; p < 2; ++p)
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) f.Donnees(p, r, c) = 1;
  f.FiltrePoisson();
  EXPECT_EQ(f.Donnees(0, 2, 2), 0);  // the zero frequency, (3, 3) 1-based
  EXPECT_EQ(f.Donnees(1, 2, 2), 0);
  EXPECT_DOUBLE_EQ(f.Donnees(0, 2, 3), 1.0);        // distance² 1, |PasX·PasY| = 1
  EXPECT_DOUBLE_EQ(f.Donnees(1, 0, 0), 1.0 / 8.0);  // distance² 4 + 4
}

}  // namespace
}  // namespace quelvane
