#include "analysis/roddier.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/reconstruction.h"

namespace quelvane {
namespace {

std::unique_ptr<TPupille> Disque(int n, double rayon, double valeur) {
  auto p = std::make_unique<TPupille>();
  p->Allouer(n, n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      if (std::hypot(c + 1 - (n + 1) / 2.0, r + 1 - (n + 1) / 2.0) <= rayon) {
        p->V(r, c) = valeur;
        p->M(r, c) = 1;
      }
  return p;
}

TRoddier TestDeDisques(int n, double rayon) {
  TRoddier t;
  t.Intra = Disque(n, rayon, 3);
  t.Extra = Disque(n, rayon, 1);
  t.Signal = std::make_unique<TPupille>();
  t.Signal->Allouer(n, n);
  t.FocaleNm = 1e9;
  t.DefocNm = 3e6;
  t.RayonNm = 1e8;
  return t;
}

TEST(Signal, ValeursMasqueEtAnneau) {
  TRoddier t = TestDeDisques(64, 20);
  t.Extra->V(32, 32) = 3;  // I1 = 3, I2 = 3 → 0
  t.Intra->V(30, 30) = 1;  // I1 = 1, I2 = 1 → 0
  t.Extra->V(31, 31) = 3;
  t.Intra->V(31, 31) = 1;  // → −0.5
  t.CalculerSignal();
  const TPupille& s = *t.Signal;
  EXPECT_EQ(s.Role, RoleSignal);
  EXPECT_DOUBLE_EQ(s.V(20, 20), 0.5);
  EXPECT_DOUBLE_EQ(s.V(31, 31), -0.5);
  EXPECT_EQ(s.M(20, 20), DansPupille);
  EXPECT_NEAR(s.RayonPupille, 20, 0.5);
  EXPECT_NEAR(t.RayonAnneau, 1.15, 0.02);  // the edge of sharp disks spreads no light
  // Points outside both pupils along the row through the centre, at r = 1.0 … 1.2 R.
  const int centre = 31;
  auto codeA = [&](double rr) {
    const int c = static_cast<int>(std::lround(s.CentreX - 1 + rr * s.RayonPupille));
    return s.M(centre, c);
  };
  EXPECT_EQ(codeA(1.1), Anneau);
  EXPECT_EQ(codeA(1.3), HorsPupille);
  EXPECT_EQ(s.V(centre, 63), 0);
  EXPECT_EQ(s.NbEffectif, std::count(s.Masque.Plan(0).begin(), s.Masque.Plan(0).end(), 1));

  TPupille premier;
  premier.Allouer(64, 64);
  premier.Copier(s);
  t.CalculerSignal();  // twice: the same signal
  for (int r = 0; r < 64; ++r)
    for (int c = 0; c < 64; ++c) ASSERT_EQ(t.Signal->V(r, c), premier.V(r, c));
}

TEST(Signal, UnePupilleSeuleSuffitEtLObstructionEstMesuree) {
  TRoddier t = TestDeDisques(64, 20);
  t.Extra->M(31 - 19, 31) = 0;  // inside the intra pupil only
  // A central hole of radius 5 in both images.
  for (TPupille* p : {t.Intra.get(), t.Extra.get()})
    for (int r = 0; r < 64; ++r)
      for (int c = 0; c < 64; ++c)
        if (std::hypot(c - 31.5, r - 31.5) < 5) p->M(r, c) = 0, p->V(r, c) = 0;
  t.CalculerSignal();
  EXPECT_EQ(t.Signal->M(12, 31), DansPupille);
  EXPECT_NEAR(t.Signal->Obstruction, 0.25, 0.03);
  EXPECT_EQ(t.Signal->M(31, 31), HorsPupille);  // the hole is not part of the ring
}

TEST(Signal, TaillesDifferentesRefusees) {
  TRoddier t = TestDeDisques(64, 20);
  t.Extra = Disque(32, 10, 1);
  EXPECT_THROW(t.CalculerSignal(), ErreurTest);
}

TEST(Poisson, ParaboloideAvecSonBord) {
  // The signal of a paraboloid W = a·r² (normalised r): S = K·∇²W = K·4a/ρ² inside, and on
  // the edge the line term −K·(∂W/∂n)/ρ² = −K·2a/ρ², laid on the last pixels so that it
  // balances the inside exactly, as the light of two images of equal flux does.
  TRoddier t = TestDeDisques(128, 40);
  t.CalculerSignal();
  const double kn = t.FocaleNm * (t.FocaleNm - t.DefocNm) / t.DefocNm / (t.RayonNm * t.RayonNm);
  const double a = 50;  // nanometres
  TPupille& s = *t.Signal;
  double interieur = 0;
  int bord = 0;
  auto auBord = [&](int r, int c) {
    return std::hypot(s.AxeX[c], s.AxeY[r]) > 1 - 1.5 / s.RayonPupille;
  };
  for (int r = 0; r < 128; ++r)
    for (int c = 0; c < 128; ++c) {
      if (s.M(r, c) != DansPupille) continue;
      s.V(r, c) = kn * 4 * a;
      interieur += s.V(r, c);
      bord += auBord(r, c);
    }
  for (int r = 0; r < 128; ++r)
    for (int c = 0; c < 128; ++c)
      if (s.M(r, c) == DansPupille && auBord(r, c)) s.V(r, c) -= interieur / bord;
  TSansProgression p;
  t.ResoudrePoisson(p);
  EXPECT_GE(t.IterationsPoisson, 1);
  EXPECT_LE(t.IterationsPoisson, 40);
  const TPupille& w = *t.FrontResiduel;
  // W(0.9) − W(centre) = 0.81·a, whatever the constant.
  // W − a·r² is the same constant everywhere.
  auto ecart = [&](int r, int c) {
    return w.V(r, c) - a * (w.AxeX[c] * w.AxeX[c] + w.AxeY[r] * w.AxeY[r]);
  };
  const double constante = ecart(63, 63);
  for (auto [r, c] : {std::pair{63, 73}, std::pair{43, 63}, std::pair{63, 95}, std::pair{84, 84}})
    EXPECT_NEAR(ecart(r, c), constante, a * 0.01) << r << ", " << c;
  EXPECT_EQ(w.V(0, 0), 0);  // outside the pupil
}

TEST(Poisson, LongueursInvalidesRefusees) {
  TRoddier t = TestDeDisques(64, 20);
  t.CalculerSignal();
  TSansProgression p;
  t.DefocNm = 0;
  EXPECT_THROW(t.ResoudrePoisson(p), ErreurTest);
  t.DefocNm = 2e9;  // beyond the focal length
  EXPECT_THROW(t.ResoudrePoisson(p), ErreurTest);
}

TEST(Progression, PasDeLaBarre) {
  EXPECT_EQ(PasProgression(1), 25);
  EXPECT_EQ(PasProgression(3), 8);
  EXPECT_EQ(PasProgression(20), 1);
  EXPECT_EQ(TitreProgression(2, 2, 3), "Reconstruction du front d'onde Vert (2/3)");
  EXPECT_EQ(TitreProgression(0, 1, 1), "Reconstruction du front d'onde Polychromatique (1/1)");
}

}  // namespace
}  // namespace quelvane
