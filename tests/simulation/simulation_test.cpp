// Interferograms and Foucault grams against what an interferometer and a knife edge show.

#include <gtest/gtest.h>

#include <cmath>

#include "simulation/foucault.h"
#include "simulation/interferogramme.h"
#include "support/front_essai.h"

namespace quelvane {
namespace {

constexpr double Lambda = 555;

// A 129 × 129 wavefront of radius 60 pixels centred on sample (65, 65), values W(x, y).
template <class F>
TPupille Front(F&& w) {
  return essais::FrontEssai(129, 65, 60, 0, w);
}

// Bright crests strictly inside the pupil along a row: N fringes across the diameter put
// N + 1 crests from edge to edge, N − 1 of them inside.
int Cretes(const TPupille& i, int ligne) {
  int n = 0;
  for (int c = 1; c < 128; ++c)
    if (i.M(ligne, c - 1) == 1 && i.M(ligne, c + 1) == 1 && i.V(ligne, c) > i.V(ligne, c - 1) &&
        i.V(ligne, c) >= i.V(ligne, c + 1) && i.V(ligne, c) > 0.9)
      ++n;
  return n;
}

TEST(Interferogramme, FrontNulFrangesDroitesEtFrangeBrillanteAuCentre) {
  const TPupille w = Front([](double, double) { return 0.0; });
  TPupille i;
  CalculerInterferogramme(w, 0, 8, Lambda, 5, i);
  EXPECT_EQ(i.Role, RoleInterferogramme);
  EXPECT_EQ(i.Franges, 8);
  EXPECT_NEAR(i.V(64, 64), 1, 1e-12);  // bright through the centre
  EXPECT_EQ(Cretes(i, 64), 8 - 1);
  for (int r = 20; r < 110; r += 10) ASSERT_NEAR(i.V(r, 70), i.V(64, 70), 1e-9);  // straight
  EXPECT_EQ(i.M(0, 0), 0);
  EXPECT_EQ(i.MasqueVisible, 1);
  // At 90° the fringes lie along the rows.
  CalculerInterferogramme(w, 90, 8, Lambda, 5, i);
  for (int c = 20; c < 110; c += 10) ASSERT_NEAR(i.V(70, c), i.V(70, 64), 1e-9);
}

TEST(Interferogramme, DefocalisationEtInclinaison) {
  // λ/2 of defocus between centre and edge: the fringe through the centre is bright there
  // and dark at the edge of the same line.
  const TPupille d = Front([](double x, double y) { return Lambda / 2 * (x * x + y * y); });
  TPupille i;
  CalculerInterferogramme(d, 0, 8, Lambda, 5, i);
  EXPECT_NEAR(i.V(64, 64), 1, 1e-9);
  EXPECT_NEAR(i.V(64 - 59, 64), 0, 0.02);
  // One wave of tilt across the diameter takes exactly one fringe away.
  const TPupille t = Front([](double x, double) { return Lambda / 2 * x; });
  const TPupille zero = Front([](double, double) { return 0.0; });
  TPupille sept;
  CalculerInterferogramme(t, 0, 8, Lambda, 5, i);
  CalculerInterferogramme(zero, 0, 7, Lambda, 5, sept);
  for (int r = 0; r < 129; ++r)
    for (int c = 0; c < 129; ++c) ASSERT_NEAR(i.V(r, c), sept.V(r, c), 1e-9);
  EXPECT_THROW(CalculerInterferogramme(t, 0, 8, 0, 5, i), ErreurSimulation);
}

TEST(Foucault, InclinaisonEtDefocalisation) {
  const TPupille t = Front([](double x, double) { return 40 * x; });
  TPupille g;
  CalculerFoucault(t, 0, g);
  EXPECT_EQ(g.Role, RoleFoucault);
  EXPECT_NEAR(g.V(64, 64), 40, 1e-9);
  EXPECT_NEAR(g.V(30, 90), 40, 1e-9);
  CalculerFoucault(t, 90, g);
  EXPECT_NEAR(g.V(64, 64), 0, 1e-9);
  // Positive defocus, the focus short of the knife, the knife coming from the right: a ramp
  // along x, dark on the left (the side opposite to the knife), bright on the right.
  const TPupille d = Front([](double x, double y) { return 100 * (x * x + y * y); });
  CalculerFoucault(d, 0, g);
  EXPECT_LT(g.V(64, 20), 0);
  EXPECT_GT(g.V(64, 108), 0);
  EXPECT_NEAR(g.V(64, 94) - g.V(64, 79), g.V(64, 79) - g.V(64, 64), 1e-6);  // linear
  EXPECT_NEAR(g.V(30, 94), g.V(64, 94), 1e-9);                              // constant across
  // The knife: through the centre, perpendicular to α = 0, 2.2 radii long.
  EXPECT_EQ(g.Traces[2].Visible, 1);
  EXPECT_NEAR(g.Traces[2].X1, 0, 1e-9);
  EXPECT_NEAR(g.Traces[2].Y1, 1.1, 1e-9);
  EXPECT_NEAR(g.Traces[1].X1, -1.1, 1e-9);
}

TEST(Series, DemiTourParPas) {
  EXPECT_EQ(AnglesSerie(0, 45), (std::vector<int>{135, 90, 45, 0}));
  EXPECT_EQ(AnglesSerie(0, 50), (std::vector<int>{130, 80, 30, -20}));
  EXPECT_EQ(AnglesSerie(10, 180), (std::vector<int>{10}));
  EXPECT_TRUE(AnglesSerie(0, 0).empty());
}

}  // namespace
}  // namespace quelvane
