// Folding the band beyond the pupil's edge onto the edge, and reusing where it folds.

#include "analysis/bord_signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace quelvane {
namespace {

// A signal on a disc of radius R and a band out to 1.25 R, both on mask 1.
TPupille Signal(int n, double rayon, double graine) {
  TPupille s;
  s.Allouer(n, n);
  s.CentreX = s.CentreY = n / 2.0 + 0.5;
  s.RayonPupille = rayon;
  s.AxesPupille();
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double q = std::hypot(s.AxeX[c], s.AxeY[r]);
      if (q > 1.25) continue;
      s.M(r, c) = 1;
      s.V(r, c) = q > 1 ? 3 + std::sin(graine * c + r) : std::cos(graine * r - c);
    }
  return s;
}

bool MemesBits(const TPupille& a, const TPupille& b) {
  const auto x = a.Donnees.Plan(0), y = b.Donnees.Plan(0);
  const auto m = a.Masque.Plan(0), p = b.Masque.Plan(0);
  return std::memcmp(x.data(), y.data(), x.size_bytes()) == 0 &&
         std::memcmp(m.data(), p.data(), m.size_bytes()) == 0;
}

TEST(Repli, LaBandeVaAuBordSansRienPerdre) {
  TPupille s = Signal(96, 30, 0.3);
  double avant = 0;
  for (double v : s.Donnees.Plan(0)) avant += v;
  ReplierBandes(s, 2);
  double apres = 0, dehors = 0;
  for (int r = 0; r < 96; ++r)
    for (int c = 0; c < 96; ++c) {
      apres += s.V(r, c);
      if (std::hypot(s.AxeX[c], s.AxeY[r]) > 1.05 && s.M(r, c) == 1) ++dehors;
    }
  EXPECT_NEAR(apres, avant, 1e-9 * std::fabs(avant));
  EXPECT_EQ(dehors, 0) << "the band left mask 1";
}

// The geometry found for one signal folds another of the same mask, axes and radius exactly as
// folding it afresh; a different mask or radius is not taken for the same.
TEST(Repli, LaGeometrieSertAuxSignauxDeMemeMasque) {
  const TPupille a = Signal(96, 30, 0.3);
  const TRepli g = PreparerRepli(a);
  ASSERT_FALSE(g.Vide());
  TPupille b = Signal(96, 30, 0.7), attendu = b;
  EXPECT_TRUE(g.Pour(b));
  Replier(g, b, 2);
  ReplierBandes(attendu, 2);
  EXPECT_TRUE(MemesBits(b, attendu));

  TPupille autreMasque = Signal(96, 30, 0.3);
  autreMasque.M(10, 10) = 1;
  EXPECT_FALSE(g.Pour(autreMasque));
  TPupille autreRayon = Signal(96, 30, 0.3);
  autreRayon.RayonPupille = 31;
  EXPECT_FALSE(g.Pour(autreRayon));
}

}  // namespace
}  // namespace quelvane
