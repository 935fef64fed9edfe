#include "analysis/analyse_front.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/ajustement.h"
#include "core/regional.h"

namespace quelvane {
namespace {

TPupille Front(double obstruction) {
  TPupille p;
  p.Allouer(81, 81);
  p.CentreX = p.CentreY = 41;
  p.RayonPupille = 36;
  p.Obstruction = obstruction;
  p.AxesPupille();
  return p;
}

TEST(AnalyseFront, SyntheseSurLAnneauExact) {
  const auto jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPupille p = Front(0.3);
  p.Coefficients[10] = 40;
  SelectionComplete(p.Selection);
  p.M(0, 0) = 1;
  SynthetiserFront(p, jeu);
  EXPECT_EQ(p.Role, RoleFront);
  EXPECT_EQ(p.M(0, 0), 0);
  EXPECT_EQ(p.M(40, 40), 0);               // inside the obstruction
  EXPECT_EQ(p.M(40, 40 + 36), 1);          // r = 1
  EXPECT_DOUBLE_EQ(p.V(40, 40 + 36), 40);  // annular spherical is 1 at the edge
}

TEST(AnalyseFront, BasculerEtAjouterSontExacts) {
  const auto jeu = ConstruireJeuZernike(22, PolyZernike);
  TPupille p = Front(0);
  p.Coefficients[3] = 30;
  p.Coefficients[6] = -12;
  SelectionComplete(p.Selection);
  SynthetiserFront(p, jeu);
  const TPupille mesure = p;
  auto sansFocus = p.Selection;
  sansFocus[3] = false;
  BasculerTermes(p, sansFocus, jeu);
  EXPECT_NEAR(p.V(40, 40), mesure.V(40, 40) - 30 * -1, 1e-9);  // Z4 = −1 at the centre
  BasculerTermes(p, mesure.Selection, jeu);
  for (int r = 0; r < 81; ++r)
    for (int c = 0; c < 81; ++c) ASSERT_NEAR(p.V(r, c), mesure.V(r, c), 1e-9);

  AjouterTerme(p, 11, 5, jeu);
  EXPECT_EQ(p.Coefficients[10], 5);
  EXPECT_NEAR(p.V(40, 40 + 36), mesure.V(40, 40 + 36) + 5, 1e-9);
  AjusterZernike(p, jeu);
  EXPECT_NEAR(p.Coefficients[10], 5, 1e-9);
  EXPECT_NEAR(p.Coefficients[3], 30, 1e-9);

  TPupille q = Front(0);
  const auto peu = ConstruireJeuZernike(4, PolyZernike);
  q.M(40, 40 + 36) = 1;
  AjouterTerme(q, 11, 2, peu);  // beyond the fitted count, still applied
  EXPECT_NEAR(q.V(40, 40 + 36), 2, 1e-12);
}

TEST(AnalyseFront, Strehl) {
  TPupille p = Front(0.3);
  p.Lambda = 555;
  p.EcartType = 0;
  CalculerStrehl(p);
  EXPECT_DOUBLE_EQ(p.StrehlRMS, 1);
  EXPECT_NEAR(p.Strehl, 0.8281, 1e-12);
  p.EcartType = 555.0 / 14;
  CalculerStrehl(p);
  EXPECT_NEAR(p.StrehlRMS, 0.8176, 1e-4);
  p.Lambda = 0;
  p.EcartType = 100;
  CalculerStrehl(p);
  EXPECT_NEAR(p.StrehlRMS, 0.8176, 1e-4);  // unchanged without a wavelength
}

TEST(AnalyseFront, FractionLambda) {
  EXPECT_EQ(FractionLambda(69.375, 555, 0), "Lambda/8");
  EXPECT_EQ(FractionLambda(138.75, 555, 0), "Lambda/4");
  EXPECT_EQ(FractionLambda(0, 555, 0), "0 lambda");
  DefinirSeparateurDecimal(',');
  EXPECT_EQ(FractionLambda(1110, 555, 2), "2,00 lambda");
  DefinirSeparateurDecimal('.');
}

TEST(AnalyseFront, TermesSoustraitsNommesUneFois) {
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TSelZernike s{};
  SelectionComplete(s);
  EXPECT_EQ(TermesSoustraits(s, jeu), "aucun");
  for (int j : {1, 2, 3, 4, 7}) s[j - 1] = false;  // Z8 kept: coma still named
  EXPECT_EQ(TermesSoustraits(s, jeu), "inclinaison, défocalisation, coma");
  s[10] = false;
  EXPECT_EQ(TermesSoustraits(s, jeu), "inclinaison, défocalisation, coma, sphéricité");
}

}  // namespace
}  // namespace quelvane
