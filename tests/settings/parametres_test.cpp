#include "settings/parametres.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/regional.h"
#include "core/zernike.h"
#include "files/nombres.h"

namespace quelvane {
namespace {

TEST(ParametresTest, DefocalisationDeLExempleTravaille) {
  // 200 mm, 1000 mm, 9 µm, binnings 1 and 2, radii 40 and 42: 180 000 nm per pixel × 41.
  const double l = CalculerDefocalisation(200, 1000, 9, 1, 2, 40, 42);
  EXPECT_DOUBLE_EQ(l, 41 * 180000.0);
  DefinirSeparateurDecimal(',');
  EXPECT_EQ(FormaterFixe(l / 1e6, 3), "7,380");
  DefinirSeparateurDecimal('.');
  EXPECT_EQ(CalculerDefocalisation(0, 1000, 9, 1, 1, 40, 42), 0);
}

TEST(ParametresTest, SourceAuRayonDeCourbure) {
  const double f = 1000e6, r = 100e6;
  const double d = DistanceObjet("2000", 0);
  EXPECT_DOUBLE_EQ(d, 2 * f);
  EXPECT_EQ(ComaHorsAxe(0.1, f, r, d), 0);
  EXPECT_NEAR(SphericiteSource(f, r, d), 520.833, 1e-3);
  EXPECT_NEAR(SphericiteSource(f, r, d) / ConstruireJeuZernike(22, 0).FacteurNorm[10], 232.93,
              1e-2);
  EXPECT_EQ(AstigmatismeHorsAxe(0, f, r), 0);
  EXPECT_EQ(SphericiteSource(f, r, 0), 0);  // at infinity
  EXPECT_EQ(ComaHorsAxe(0.1, 0, r, d), 0);
}

TEST(ParametresTest, FormulesHorsAxe) {
  const double f = 1000e6, r = 100e6, theta = 0.01;
  EXPECT_DOUBLE_EQ(AstigmatismeHorsAxe(theta, f, r), -r * r * theta * theta / (4 * f));
  EXPECT_DOUBLE_EQ(ComaHorsAxe(theta, f, r, 0), theta * r * r * r / (12 * f * f));
  const double d = 10000e6;  // artificial star 10 m away
  const double g = 1 - 2 * f / d;
  EXPECT_DOUBLE_EQ(ComaHorsAxe(theta, f, r, d), g * theta * r * r * r / (12 * f * f));
  EXPECT_DOUBLE_EQ(SphericiteSource(f, r, d), r * r * r * r * (1 - g * g) / (192 * f * f * f));
}

TEST(ParametresTest, UnitesDeDistanceEtDAngle) {
  EXPECT_EQ(DistanceObjet("Infini", 1), 0);
  EXPECT_DOUBLE_EQ(DistanceObjet("3", 1), 3e9);
  EXPECT_DOUBLE_EQ(DistanceObjet("2", 2), 2e12);
  EXPECT_DOUBLE_EQ(DistanceObjet("5", -1), 5e6);
  EXPECT_NEAR(angleIncidence("1", 0), 0.0174532925199, 1e-13);
  EXPECT_DOUBLE_EQ(angleIncidence("0.0174532925199", 1), 0.0174532925199);
  EXPECT_EQ(angleIncidence("x", 0), 0);
}

TEST(ParametresTest, TextesSexagesimaux) {
  EXPECT_EQ(HeuresEnTexte(5.5), "5h 30m 0.000s");
  EXPECT_EQ(DegresEnTexte(12.25), "12° 15' 0.000\"");
  // A southern declination keeps its sign in front; seconds that round to 60 carry.
  EXPECT_EQ(DegresEnTexte(-0.5), "-0° 30' 0.000\"");
  EXPECT_EQ(DegresEnTexte(-12.25), "-12° 15' 0.000\"");
  EXPECT_EQ(HeuresEnTexte(1.99999999), "2h 0m 0.000s");
  EXPECT_EQ(HeuresEnTexte(-0.0000000001), "0h 0m 0.000s");
  EXPECT_EQ(DegresEnTexte(std::nan("")), "0.000° ");
  DefinirSeparateurDecimal(',');
  EXPECT_EQ(HeuresEnTexte(1.0 + 1.0 / 60 + 1.5 / 3600), "1h 1m 1,500s");
  DefinirSeparateurDecimal('.');
}

TEST(ParametresTest, ParametresInitiauxVides) {
  EXPECT_EQ(ParametresInitiaux.DistanceFocale, 0);
  EXPECT_EQ(ParametresInitiaux.ImageIntra, nullptr);
  EXPECT_FALSE(ParametresInitiaux.ParametresValides);
}

}  // namespace
}  // namespace quelvane
