// Point spread functions, transfer functions and spot diagrams against closed forms.

#include "simulation/psf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "simulation/interferogramme.h"
#include "simulation/spots.h"
#include "support/front_essai.h"

namespace quelvane {
namespace {

constexpr double Pi = std::numbers::pi;

// A 128 × 128 pupil of radius 40 pixels, obstruction ε, wavefront W(x, y) in nanometres.
template <class F>
TPupille Pupille(double eps, F&& w) {
  TPupille p = essais::FrontEssai(128, 64.5, 40, eps, w);
  SelectionComplete(p.Selection);
  return p;
}
auto Plat = [](double, double) { return 0.0; };

// Overlap of two discs of radii a and b whose centres are d apart.
double Recouvrement(double a, double b, double d) {
  if (d >= a + b) return 0;
  if (d <= std::fabs(a - b)) return Pi * std::min(a, b) * std::min(a, b);
  const double x = (d * d + a * a - b * b) / (2 * d);
  return a * a * std::acos(x / a) + b * b * std::acos((d - x) / b) -
         std::sqrt((-d + a + b) * (d + a - b) * (d - a + b) * (d + a + b)) / 2;
}

// The transfer function of a perfect annular pupil: the overlap of the pupil with itself
// shifted by ν·D, over its area.
double FTMAnneau(double nu, double eps) {
  const double d = 2 * nu;
  const double recouvrement =
      Recouvrement(1, 1, d) - 2 * Recouvrement(1, eps, d) + Recouvrement(eps, eps, d);
  return recouvrement / (Pi * (1 - eps * eps));
}

TEST(PSF, PupilleParfaitePremierAnneauNoir) {
  const TPupille p = Pupille(0, Plat);
  TPSF psf = PSFDuFront(p, 2, 555, 4);  // x4
  const TPupille& t = *psf.Theorique;
  EXPECT_EQ(t.Role, RolePSFTheorique);
  EXPECT_EQ(t.NX, 80);  // cut to the pupil's diameter
  // The maximum at the centre, and equal to the real PSF for a flat wavefront.
  int rm = 0, cm = 0;
  for (int r = 0; r < t.NY; ++r)
    for (int c = 0; c < t.NX; ++c)
      if (t.V(r, c) > t.V(rm, cm)) rm = r, cm = c;
  EXPECT_EQ(rm, 39);  // row and column 40 counted from 1
  EXPECT_EQ(cm, 39);
  for (int r = 0; r < t.NY; ++r)
    for (int c = 0; c < t.NX; ++c) ASSERT_NEAR(psf.Reelle->V(r, c), t.V(r, c), 1e-9 * t.V(rm, cm));
  // First dark ring at 1.22 λF/D: 1.22·M/(2R) samples of the padded grid (M = 4·128).
  const double attendu = 1.22 * 512 / 80;
  int premier = 0;
  for (int c = cm + 1; c < t.NX - 1; ++c)
    if (t.V(rm, c) < t.V(rm, c - 1) && t.V(rm, c) <= t.V(rm, c + 1)) {
      premier = c - cm;
      break;
    }
  EXPECT_NEAR(premier, attendu, 1.0);
}

TEST(PSF, ObstructionEtMarechal) {
  const TAnalysePSF libre = AnalyserPSF(Pupille(0, Plat), 555);
  EXPECT_NEAR(libre.RapportPics, 1, 1e-9);
  // ε = 0.3: the peak of the perfect obstructed pupil is (1 − ε²)² of the open one's, and its
  // transfer function follows the annulus's overlap within 1 %.
  TPupille anneau = Pupille(0.3, Plat);
  TPupille ouvert = Pupille(0, Plat);
  TPSF a = PSFDuFront(anneau, 2, 555, 4), o = PSFDuFront(ouvert, 2, 555, 4);
  EXPECT_NEAR(a.Theorique->V(39, 39) / o.Theorique->V(39, 39), std::pow(1 - 0.09, 2), 0.01);
  const TAnalysePSF an = AnalyserPSF(anneau, 555);
  for (const TPointCourbe& pt : an.FTM)
    if (pt.X > 0.02 && pt.X < 0.95) {
      ASSERT_NEAR(pt.Parfaite, FTMAnneau(pt.X, 0.3), 0.012) << pt.X;
    }
  // A wavefront of λ/14 RMS (defocus): peak ratio within 2 % of exp(−(2πσ/λ)²).
  const double sigma = 555.0 / 14, a4 = sigma * std::sqrt(3.0);
  const TAnalysePSF d = AnalyserPSF(
      Pupille(0, [&](double x, double y) { return a4 * (2 * (x * x + y * y) - 1); }), 555);
  EXPECT_NEAR(d.RapportPics, std::exp(-std::pow(2 * Pi / 14, 2)), 0.02);
  // Encircled energy of a perfect open pupil: 84 % within the first dark ring.
  EXPECT_NEAR(libre.EnergieAiry1, 0.838, 0.02);
  EXPECT_GT(libre.EnergieAiry2, 0.9);
}

TEST(PSF, LaComaDeplaceLeCentroide) {
  // Coma (3r³ − 2r)·cos θ: the spot's centroid moves along x, with the sign of the slope
  // (positive W leads, the rays of a positive slope land on the +x side of the reference).
  const TAnalysePSF c = AnalyserPSF(
      Pupille(0, [](double x, double y) { return 80 * (3 * (x * x + y * y) - 2) * x; }), 555);
  // The term's mean slope along x over the pupil is positive: the centroid on +x, the side
  // where the spot diagram puts the rays of a positive slope.
  EXPECT_GT(c.CentroideX, 0.05);
  EXPECT_LT(std::fabs(c.CentroideY), 0.02 * std::fabs(c.CentroideX) + 1e-3);
  const TAnalysePSF m = AnalyserPSF(
      Pupille(0, [](double x, double y) { return -80 * (3 * (x * x + y * y) - 2) * x; }), 555);
  EXPECT_NEAR(m.CentroideX, -c.CentroideX, 0.01 * std::fabs(c.CentroideX));
}

TEST(PSF, TropGrandeRefusee) {
  TPupille grand;
  grand.Allouer(1024, 1024);
  grand.RayonPupille = 400;
  EXPECT_THROW(PSFDuFront(grand, 3, 555, 4), ErreurSimulation);
}

TEST(Spots, FrontParfaitDansLeDisqueDAiryEtEchelle) {
  TParametresSpots p{1e9, 1e8, 555, 4};  // f/5
  TPupille s;
  CalculerSpots(Pupille(0, Plat), p, s);
  EXPECT_EQ(s.Role, RoleSpot);
  // Every ray at the centre, inside the Airy circle (drawn at 2.5 Airy radii to the edge).
  int touches = 0;
  for (int r = 0; r < s.NY; ++r)
    for (int c = 0; c < s.NX; ++c) touches += s.V(r, c) != 0;
  EXPECT_EQ(touches, 1);
  EXPECT_EQ(s.V(63, 63), 1.0);
  EXPECT_NEAR(s.Traces[1].Rayon, 1 / 2.5, 1e-12);
  EXPECT_NEAR(s.Traces[2].Rayon, 2 / 2.5, 1e-12);
  // A tilt: the rays on one pixel at the right-hand edge, the Airy radius A/D of the half
  // width, A = 1.22 λ f/(2ρ) and D = f/ρ times the slope.
  const double a = 5000;
  CalculerSpots(Pupille(0, [&](double x, double) { return a * x; }), p, s);
  EXPECT_EQ(s.V(63, 127), 1.0);
  const double airy = 1.22 * 555 * 1e9 / 2e8, d = 1e9 / 1e8 * a;
  EXPECT_NEAR(s.Traces[1].Rayon, airy / d, 1e-12);
  // At f/10 the Airy disc doubles.
  TParametresSpots p10{2e9, 1e8, 555, 4};
  CalculerSpots(Pupille(0, [&](double x, double) { return a * x; }), p10, s);
  EXPECT_NEAR(s.Traces[1].Rayon, airy / d, 1e-12);  // both scale with f: the ratio holds
  EXPECT_THROW(CalculerSpots(Pupille(0, Plat), TParametresSpots{}, s), ErreurSimulation);
}

}  // namespace
}  // namespace quelvane
