// Moving images through a wavefront model, and the Neumann solve of the Poisson equation.

#include "analysis/transport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "analysis/poisson_neumann.h"
#include "core/multiversion.h"

namespace quelvane {
namespace {

const TJeuZernike& Jeu() {
  static const TJeuZernike j = ConstruireJeuZernike(NMaxZern, PolyMahajan);
  return j;
}

TGrilleReelle Tache(int n, double cx, double cy, double sigma) {
  TGrilleReelle g(1, n, n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      g(r, c) = 1000 * std::exp(-((c - cx) * (c - cx) + (r - cy) * (r - cy)) / (2 * sigma * sigma));
  return g;
}

TEST(Transport, FrontNulIdentite) {
  const TRepere rep{64.5, 64.5, 40, 0.2};
  const TFrontModele m = EchantillonnerModele(TCoefZernike{}, Jeu(), rep, 128, 128);
  const TGrilleReelle im = Tache(128, 60, 70, 9);
  const TGrilleReelle t = TransporterImage(im, m, 1.0);
  for (int r = 1; r < 127; ++r)
    for (int c = 1; c < 127; ++c) ASSERT_DOUBLE_EQ(t(r, c), im(r, c));
}

TEST(Transport, UneInclinaisonDeplaceLImageDUnNombreEntierDePixels) {
  // Z2 = r·cos θ: a slope of a/R nanometres per pixel along the columns, everywhere (the
  // outside continues the edge's slope), so k·a/R pixels of shift and a Jacobian of 1.
  const double R = 40, a = 300, k = 2 * R / a;  // two pixels
  TCoefZernike coef{};
  coef[1] = a;
  const TFrontModele m = EchantillonnerModele(coef, Jeu(), {64.5, 64.5, R, 0}, 128, 128);
  // The model's terms are held in single precision: its slopes are right to a few parts in
  // 10⁷, the shift to a few millionths of a pixel.
  EXPECT_NEAR(m.GradientColonnes(64, 64), a / R, 1e-7 * a / R);
  EXPECT_NEAR(m.GradientColonnes(64, 120), a / R, 1e-6);  // beyond the edge
  EXPECT_NEAR(m.GradientLignes(10, 64), 0, 1e-6);
  const TGrilleReelle im = Tache(128, 60, 70, 9);
  const TGrilleReelle t = TransporterImage(im, m, k);
  for (int r = 20; r < 108; ++r)
    for (int c = 20; c < 100; ++c) ASSERT_NEAR(t(r, c), im(r, c + 2), 1e-3);  // of 1000
}

TEST(Transport, LeFluxSuitLaLumiere) {
  // Astigmatism and spherical aberration move light about but keep all of it.
  TCoefZernike coef{};
  coef[4] = 400;
  coef[10] = 250;
  const TFrontModele m = EchantillonnerModele(coef, Jeu(), {64.5, 64.5, 40, 0}, 128, 128);
  const TGrilleReelle im = Tache(128, 64.5, 64.5, 18);
  const TGrilleReelle t = TransporterImage(im, m, 0.05);
  double avant = 0, apres = 0;
  for (double v : im.Plan(0)) avant += v;
  for (double v : t.Plan(0)) apres += v;
  EXPECT_NEAR(apres / avant, 1, 2e-3);
  double difference = 0;
  for (std::size_t i = 0; i < im.TaillePlan(); ++i)
    difference += std::fabs(t.Plan(0)[i] - im.Plan(0)[i]);
  EXPECT_GT(difference / avant, 0.05);  // and it did move
}

TEST(Transport, HorsDeLaPupilleLaPenteEstCelleDuBord) {
  TCoefZernike coef{};
  coef[8] = 100;  // trefoil: r³ cos 3θ
  const TRepere rep{64.5, 64.5, 40, 0};
  const TFrontModele m = EchantillonnerModele(coef, Jeu(), rep, 128, 128);
  // Along the row through the centre, to the right: θ = 0, the slope at the edge is 3·100/R.
  for (int c : {105, 110, 120}) EXPECT_NEAR(m.GradientColonnes(64, c), 300 / 40.0, 0.2) << c;
  EXPECT_EQ(m.Valeurs(64, 120), 0);
}

TEST(Transport, UnGradientDemesureNeSortPasDeLImage) {
  TCoefZernike coef{};
  coef[4] = 1e300;
  const TFrontModele m = EchantillonnerModele(coef, Jeu(), {64.5, 64.5, 40, 0}, 128, 128);
  const TGrilleReelle t = TransporterImage(Tache(128, 64, 64, 10), m, 1e10);
  for (double v : t.Plan(0)) ASSERT_TRUE(std::isfinite(v));
}

// Sample by sample, as the transport is defined: the bilinear read where the ray comes from,
// times the Jacobian of the displacement; 0 on the frame's edge and where no ray comes from.
double TransportDUnEchantillon(const TGrilleReelle& im, const TFrontModele& m, double k, int r,
                               int c) {
  const int ny = im.Lignes(), nx = im.Colonnes();
  if (r == 0 || c == 0 || r == ny - 1 || c == nx - 1) return 0;
  const auto& gc = m.GradientColonnes;
  const auto& gr = m.GradientLignes;
  const double x = c + k * gc(r, c), y = r + k * gr(r, c);
  if (!(x >= 0 && x < nx - 1 && y >= 0 && y < ny - 1)) return 0;
  const double dcc = k * (gc(r, c + 1) - gc(r, c - 1)) / 2,
               dcr = k * (gc(r + 1, c) - gc(r - 1, c)) / 2;
  const double drc = k * (gr(r, c + 1) - gr(r, c - 1)) / 2,
               drr = k * (gr(r + 1, c) - gr(r - 1, c)) / 2;
  const double j = (1 + dcc) * (1 + drr) - dcr * drc;
  if (!std::isfinite(j)) return 0;
  const int cx = static_cast<int>(x), ry = static_cast<int>(y);
  const double fx = x - cx, fy = y - ry;
  return ((1 - fx) * (1 - fy) * im(ry, cx) + fx * (1 - fy) * im(ry, cx + 1) +
          (1 - fx) * fy * im(ry + 1, cx) + fx * fy * im(ry + 1, cx + 1)) *
         j;
}

// Whatever the gradients (rays leaving by every side, NaN, infinite, huge), every width (the
// rows go four samples at a time), with the model's box or without it: the same bits as
// sample by sample.
TEST(Transport, LesMemesBitsQueSampleParSample) {
  std::mt19937 alea(5);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const int nx : {3, 5, 8, 13, 64}) {
    const int ny = 11;
    TFrontModele m;
    m.GradientColonnes.Allouer(1, ny, nx);
    m.GradientLignes.Allouer(1, ny, nx);
    TGrilleReelle im(1, ny, nx);
    for (int r = 0; r < ny; ++r)
      for (int c = 0; c < nx; ++c) {
        im(r, c) = 100 + 50 * u(alea);
        if (r < 2 || r > ny - 3 || c < 1 || c > nx - 2) continue;  // a border of zeros
        m.GradientColonnes(r, c) = 3 * u(alea);
        m.GradientLignes(r, c) = 3 * u(alea);
      }
    m.GradientColonnes(4, nx / 2) = std::nan("");
    m.GradientLignes(5, nx / 2) = HUGE_VAL;
    m.GradientColonnes(6, nx - 2) = 1e300;
    for (const double k : {0.0, 0.7, 4.0}) {
      const TGrilleReelle t = TransporterImage(im, m, k);
      TFrontModele avecBoite = m;
      avecBoite.Boite = std::array<int, 4>{2, ny - 3, 1, nx - 2};
      const TGrilleReelle b = TransporterImage(im, avecBoite, k);
      for (int r = 0; r < ny; ++r)
        for (int c = 0; c < nx; ++c) {
          const double attendu = TransportDUnEchantillon(im, m, k, r, c);
          ASSERT_EQ(std::memcmp(&t(r, c), &attendu, sizeof attendu), 0)
              << nx << " k " << k << ": " << r << "," << c << " " << t(r, c) << " " << attendu;
          ASSERT_EQ(std::memcmp(&b(r, c), &attendu, sizeof attendu), 0) << "with the box";
        }
    }
  }
}

// The model's normal matrix, samples and fit: the AVX2 loops and the portable ones give the
// same bits, for term counts that fill their lanes or leave one, two or three over.
TEST(Transport, LeModeleDonneLesMemesBitsSansAvx2) {
  if (!ProcesseurAvx2()) GTEST_SKIP() << "pas d'AVX2 : seules les boucles portables";
  std::mt19937 alea(7);
  std::uniform_real_distribution<double> u(-1, 1);
  TGrilleReelle w(1, 96, 96);
  TGrilleEntiere masque(1, 96, 96);
  for (int r = 0; r < 96; ++r)
    for (int c = 0; c < 96; ++c) {
      w(r, c) = 50 * u(alea);
      masque(r, c) = u(alea) > -0.9 ? 1 : 0;  // a tenth of the samples off the mask
    }
  for (const int termes : {12, 21, 22, 42}) {
    const TJeuZernike jeu = ConstruireJeuZernike(termes, PolyMahajan);
    TCoefZernike coef{};
    for (int j = 0; j < termes; ++j) coef[j] = 100 * u(alea);
    TFrontModele m[2];
    TCoefZernike c[2];
    for (int k = 0; k < 2; ++k) {
      Avx2Interdit() = k == 1;
      const TBaseModele base(jeu, {48.3, 47.6, 30, 0.3}, 96, 96);
      m[k] = base.Echantillonner(coef);
      c[k] = base.Ajuster(w, masque);
    }
    Avx2Interdit() = false;
    const auto memes = [](const TGrilleReelle& a, const TGrilleReelle& b) {
      return std::memcmp(a.Plan(0).data(), b.Plan(0).data(), a.TaillePlan() * sizeof(double)) == 0;
    };
    EXPECT_TRUE(memes(m[0].Valeurs, m[1].Valeurs)) << termes << " termes";
    EXPECT_TRUE(memes(m[0].GradientColonnes, m[1].GradientColonnes)) << termes << " termes";
    EXPECT_TRUE(memes(m[0].GradientLignes, m[1].GradientLignes)) << termes << " termes";
    EXPECT_EQ(std::memcmp(c[0].data(), c[1].data(), sizeof c[0]), 0) << termes << " termes";
  }
}

// The five-point Laplacian of W on the support, no flux across its boundary.
TGrilleReelle LaplacienDiscret(const TGrilleReelle& w, const TGrilleEntiere& m) {
  TGrilleReelle l(1, w.Lignes(), w.Colonnes());
  for (int r = 0; r < w.Lignes(); ++r)
    for (int c = 0; c < w.Colonnes(); ++c) {
      if (m(r, c) != 1) continue;
      const int v[4][2] = {{r, c - 1}, {r, c + 1}, {r - 1, c}, {r + 1, c}};
      for (const auto& p : v)
        if (m(p[0], p[1]) == 1) l(r, c) += w(p[0], p[1]) - w(r, c);
    }
  return l;
}

TEST(PoissonNeumann, RetrouveUnFrontQuelconqueSurUnAnneau) {
  // Any W on an annulus: its discrete Laplacian (boundary flux included) solves back to W,
  // up to a constant. Specks beside the annulus are left out.
  const int n = 128;
  TGrilleEntiere m(1, n, n);
  TGrilleReelle w(1, n, n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double x = (c - 63.5) / 45, y = (63.5 - r) / 45, q = std::hypot(x, y);
      if (q <= 1 && q >= 0.3) {
        m(r, c) = 1;
        w(r, c) = 30 * x * x * x - 12 * x * y + 7 * std::cos(5 * std::atan2(y, x)) * q * q;
      }
    }
  m(63, 63) = m(64, 64) = 1;  // the bright spot behind an obstruction
  const TGrilleReelle s = LaplacienDiscret(w, m);
  const TSolutionPoisson sol = ResoudrePoissonNeumann(s, m, 1, 200, 1e-9);
  EXPECT_LT(sol.ResiduRelatif, 1e-6);
  EXPECT_EQ(sol.W(63, 63), 0);
  const double k = sol.W(20, 64) - w(20, 64);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      if (m(r, c) == 1 && !(r == 63 || r == 64)) {
        ASSERT_NEAR(sol.W(r, c) - w(r, c), k, 1e-4);
      }
}

// The support is the largest region, whatever its shape: a U whose arms meet only at its
// foot is one region; of two equal squares, the first in raster order is kept.
TEST(PoissonNeumann, LaPlusGrandeRegionQuelleQueSoitSaForme) {
  const int n = 64;
  TGrilleEntiere m(1, n, n);
  TGrilleReelle s(1, n, n);
  for (int r = 5; r < 40; ++r)
    for (int c = 5; c < 30; ++c)
      if (r >= 32 || c < 12 || c >= 23) m(r, c) = 1;  // a U: two arms, one foot
  for (int r = 45; r < 55; ++r)
    for (int c = 40; c < 50; ++c) m(r, c) = 1;  // a square beside it
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) s(r, c) = m(r, c) ? std::sin(0.3 * r) + 0.1 * c : 0;
  TSolutionPoisson sol = ResoudrePoissonNeumann(s, m, 1, 400, 1e-9);
  EXPECT_NE(sol.W(6, 6), 0);    // left arm
  EXPECT_NE(sol.W(6, 28), 0);   // right arm
  EXPECT_EQ(sol.W(50, 45), 0);  // the smaller square
  TGrilleEntiere deux(1, n, n);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) deux(40 + r, 2 + c) = deux(10 + r, 50 + c) = 1;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) s(r, c) = deux(r, c) ? std::sin(0.3 * r) + 0.1 * c : 0;
  sol = ResoudrePoissonNeumann(s, deux, 1, 400, 1e-9);
  EXPECT_EQ(sol.W(45, 5), 0);  // the same size, but later in raster order
  double somme = 0;
  for (int r = 10; r < 18; ++r)
    for (int c = 50; c < 58; ++c) somme += std::abs(sol.W(r, c));
  EXPECT_GT(somme, 0);
}

}  // namespace
}  // namespace quelvane
