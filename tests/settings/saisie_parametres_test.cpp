// The user's entries to the engine's parameters: one computation for the dialog and the
// command line.

#include "settings/saisie_parametres.h"

#include <gtest/gtest.h>

namespace quelvane {
namespace {

TEntreesTest Newton200f5() {
  TEntreesTest e;
  e.DiametreMm = 200;
  e.FocaleMm = 1000;
  e.DefocalisationMm = 3.64;
  return e;
}

TEST(SaisieParametres, SourcesEtSphericiteDeMontage) {
  TEntreesTest e = Newton200f5();
  EXPECT_EQ(CalculerAberrationsMontage(e).Sphericite, 0);  // a star at infinity
  // An artificial star at 10 m: g = 1 − 2F/D = 0.8, S = R⁴(1 − g²)/(192F³) = 187.5 nm. The
  // dialog used to test the distance stored before the choice and gave 0.
  e.Source = SourceArtificielle;
  e.DistanceSourceMm = 10000;
  EXPECT_DOUBLE_EQ(DistanceSourceNm(e), 1e10);
  EXPECT_NEAR(CalculerAberrationsMontage(e).Sphericite, 187.5, 1e-9);
  e.Source = SourceCourbure;  // at 2F: g = 0, S = R⁴/(192F³), no coma whatever the angle
  e.IncidenceRadians = 0.01;
  EXPECT_NEAR(CalculerAberrationsMontage(e).Sphericite, 520.8333333, 1e-6);
  EXPECT_EQ(CalculerAberrationsMontage(e).Coma, 0);
  e.Source = SourceAutocollimation;
  const TAberrationsMontage a = CalculerAberrationsMontage(e);
  EXPECT_EQ(a.Sphericite, 0);
  EXPECT_NEAR(a.Astigmatisme, -1e16 * 1e-4 / 4e9, 1e-9);  // −R²θ²/(4F)
  EXPECT_GT(a.Coma, 0);
}

TEST(SaisieParametres, EcritureDansLesParametres) {
  TEntreesTest e = Newton200f5();
  e.Source = SourceAutocollimation;
  e.IncidenceRadians = 0.02;
  e.Orientation = SelonY;
  TParametresTest p;
  p.AstigmatismeX = 99;
  const TAberrationsMontage a = CalculerAberrationsMontage(e);
  AppliquerEntrees(e, a, p);
  EXPECT_EQ(p.DistanceFocale, 1e9);
  EXPECT_EQ(p.RayonInstrument, 1e8);
  EXPECT_DOUBLE_EQ(p.Defocalisation, 3.64e6);
  EXPECT_TRUE(p.Autocollimation);
  EXPECT_EQ(p.AstigmatismeX, 0);
  EXPECT_EQ(p.AstigmatismeY, a.Astigmatisme);
  EXPECT_EQ(p.ComaY, a.Coma);
  // Without an orientation, astigmatism and coma stay as they were.
  e.Orientation = SansOrientation;
  p.AstigmatismeX = 7;
  AppliquerEntrees(e, a, p);
  EXPECT_EQ(p.AstigmatismeX, 7);
  const TEntreesTest retour = EntreesDepuis(p);
  EXPECT_DOUBLE_EQ(retour.DiametreMm, 200);
  EXPECT_DOUBLE_EQ(retour.FocaleMm, 1000);
  EXPECT_DOUBLE_EQ(retour.DefocalisationMm, 3.64);
}

TEST(SaisieParametres, DefocalisationDesRayonsMesures) {
  TEntreesTest e = Newton200f5();
  e.PixelMicrons = 5.2;
  // Radii as measured, not rounded: 0.2 % apart from 69/71 for 68.64/71.07.
  const double d = DefocalisationDepuisRayons(e, 68.64, 71.07);
  EXPECT_NEAR(d, (68.64 + 71.07) / 2 * 5200 * 1e9 / 1e8, 1e-6);
}

}  // namespace
}  // namespace quelvane
