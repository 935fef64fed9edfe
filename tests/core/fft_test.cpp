#include "core/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "core/fonctionxy.h"

namespace quelvane {
namespace {

using Complexe = std::complex<double>;
constexpr double Pi = std::numbers::pi;

// Straight double-precision DFT of an N×N complex array (zero frequency at index 0).
std::vector<Complexe> DFTReference(const std::vector<Complexe>& x, int n, int signe) {
  std::vector<Complexe> lignes(n * n), sortie(n * n);
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k) {
      Complexe s = 0;
      for (int c = 0; c < n; ++c) s += x[r * n + c] * std::polar(1.0, signe * 2 * Pi * c * k / n);
      lignes[r * n + k] = s;
    }
  for (int k = 0; k < n; ++k)
    for (int v = 0; v < n; ++v) {
      Complexe s = 0;
      for (int r = 0; r < n; ++r)
        s += lignes[r * n + k] * std::polar(1.0, signe * 2 * Pi * r * v / n);
      sortie[v * n + k] = s;
    }
  return sortie;
}

// Expected element (row, column) of the program's layout: frequency index − N/2, divided by N².
void ComparerAuSpectreReference(const TGrilleReelle& spectre, const std::vector<Complexe>& entree,
                                int n) {
  const auto ref = DFTReference(entree, n, -1);
  double maxRef = 0;
  for (const auto& z : ref) maxRef = std::max(maxRef, std::abs(z) / (n * n));
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k) {
      const int v = (r + n / 2) % n, u = (k + n / 2) % n;
      const Complexe attendu = ref[v * n + u] / static_cast<double>(n * n);
      ASSERT_NEAR(spectre(0, r, k), attendu.real(), 2e-6 * maxRef) << r << "," << k;
      ASSERT_NEAR(spectre(1, r, k), attendu.imag(), 2e-6 * maxRef) << r << "," << k;
    }
}

TEST(FFT, ImpulsionDonneUneConstante) {
  for (int n : {2, 4, 8, 64}) {
    TGrilleReelle g(1, n, n);
    g(0, 0) = 1;
    int h = n, w = n;
    const auto s = FFT2D(g, h, w);
    for (int r = 0; r < n; ++r)
      for (int k = 0; k < n; ++k) {
        ASSERT_FLOAT_EQ(s(0, r, k), 1.0 / (n * n));
        ASSERT_EQ(s(1, r, k), 0.0);
      }
  }
}

TEST(FFT, ConstanteAuCentre) {
  const int h = 100, w = 60;
  TGrilleReelle g(1, h, w);
  for (double& v : g.Plan(0)) v = 3.5;
  int hh = h, ww = w;
  const auto s = FFT2D(g, hh, ww);
  ASSERT_EQ(hh, 128);
  ASSERT_EQ(ww, 128);
  EXPECT_NEAR(s(0, 64, 64), 3.5 * h * w / (128.0 * 128.0), 1e-6);
  EXPECT_NEAR(s(1, 64, 64), 0, 1e-7);
}

TEST(FFT, CosinusEtSinusDansLeurCase) {
  const int n = 64, u0 = 5, v0 = 3;
  TGrilleReelle c(1, n, n), s(1, n, n);
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k) {
      c(r, k) = std::cos(2 * Pi * (u0 * k + v0 * r) / n);
      s(r, k) = std::sin(2 * Pi * u0 * k / n);
    }
  int h = n, w = n;
  const auto fc = FFT2D(c, h, w);
  EXPECT_NEAR(fc(0, n / 2 + v0, n / 2 + u0), 0.5, 1e-6);  // (N/2+1+v0, N/2+1+u0) 1-based
  EXPECT_NEAR(fc(0, n / 2 - v0, n / 2 - u0), 0.5, 1e-6);
  EXPECT_NEAR(fc(0, n / 2, n / 2), 0, 1e-6);
  EXPECT_NEAR(fc(0, n / 2 + v0, n / 2 - u0), 0, 1e-6);  // the other diagonal stays empty
  const auto fs = FFT2D(s, h, w);
  // sin = (e^{iθ} − e^{−iθ})/2i: −i/2 at +u0 with the e^{−2πi·jk/N} kernel.
  EXPECT_NEAR(fs(1, n / 2, n / 2 + u0), -0.5, 1e-6);
  EXPECT_NEAR(fs(1, n / 2, n / 2 - u0), 0.5, 1e-6);
  EXPECT_NEAR(fs(0, n / 2, n / 2 + u0), 0, 1e-6);
}

TEST(FFT, AccordAvecUneReferenceDoublePrecision) {
  std::mt19937 alea(7);
  std::normal_distribution<double> gauss;
  for (int n : {2, 4, 8, 16, 32, 128}) {
    TGrilleReelle g(2, n, n);
    std::vector<Complexe> x(n * n);
    for (int r = 0; r < n; ++r)
      for (int k = 0; k < n; ++k) {
        x[r * n + k] = {gauss(alea), gauss(alea)};
        g(0, r, k) = x[r * n + k].real();
        g(1, r, k) = x[r * n + k].imag();
      }
    int h = n, w = n;
    const auto s = FFT2DComplexe(g, h, w);
    SCOPED_TRACE(n);
    ComparerAuSpectreReference(s, x, n);
  }
}

TEST(FFT, AllerRetourRendLEntreeCompletee) {
  std::mt19937 alea(3);
  std::uniform_real_distribution<double> u(-100, 100);
  const int h = 100, w = 60;
  TGrilleReelle g(1, h, w);
  for (double& v : g.Plan(0)) v = u(alea);
  int hh = h, ww = w;
  auto s = FFT2D(g, hh, ww);
  FFT2DInverse(s, hh);
  ASSERT_EQ(s.Plans(), 1);
  ASSERT_EQ(s.Lignes(), 128);
  for (int r = 0; r < 128; ++r)
    for (int c = 0; c < 128; ++c) {
      const double attendu = (r < h && c < w) ? g(r, c) : 0.0;
      ASSERT_NEAR(s(r, c), attendu, 1e-3) << r << "," << c;
    }
}

// The filter is the transform, the product and the inverse in turn (to single precision),
// whatever the side (one batch or many, a side not a multiple of eight), the rows and columns
// skipped (an odd count of rows leaves a row without its pair), and whether the factors are
// symmetric (the real part of the output sees only a factor's mean with its mirror's).
TEST(FFT, FiltreFrequentielDonneLesTroisEtapes) {
  std::mt19937 alea(11);
  std::uniform_real_distribution<double> u(-50, 50);
  for (int n : {2, 4, 8, 16, 32, 64, 256})
    for (const bool symetrique : {true, false})
      for (const int r1 : {n - n / 8, n - n / 8 - 1}) {
        if (r1 <= n / 4) continue;
        const int masque = n - 1;
        std::vector<double> facteurs(static_cast<std::size_t>(n) * n);
        for (double& f : facteurs) f = u(alea) / 7;
        if (symetrique)  // f(−q, −k) = f(q, k), around the zero frequency at (N/2, N/2)
          for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
              facteurs[static_cast<std::size_t>((n - r) & masque) * n + ((n - c) & masque)] =
                  facteurs[static_cast<std::size_t>(r) * n + c];
        const TFiltreFrequentiel filtre(n, facteurs);
        const int r0 = n / 4, c0 = n / 8, c1 = n / 2 + 1;
        TGrilleReelle g(1, n, n);
        std::vector<float> entree(static_cast<std::size_t>(n) * n, 0.0f);
        double echelle = 0;
        for (int r = r0; r < r1; ++r)
          for (int c = 0; c < n; ++c)
            if ((r + c) % 3) {
              g(r, c) = entree[static_cast<std::size_t>(r) * n + c] = static_cast<float>(u(alea));
              echelle = std::max(echelle, std::fabs(g(r, c)));
            }
        int h = n, w = n;
        TGrilleReelle spectre = FFT2D(g, h, w);
        for (int p = 0; p < 2; ++p)
          for (std::size_t k = 0; k < facteurs.size(); ++k) spectre.Plan(p)[k] *= facteurs[k];
        FFT2DInverse(spectre, n);
        double fmax = 0;
        for (double f : facteurs) fmax = std::max(fmax, std::fabs(f));
        std::vector<float> sortie(entree.size(), -1.0f);
        auto travail = filtre.Travail();
        for (int fois = 0; fois < 2; ++fois) {  // the work area reused
          filtre.Appliquer(entree.data(), sortie.data(), r0, r1, c0, c1, travail);
          for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) {
              const float v = sortie[static_cast<std::size_t>(r) * n + c];
              if (r >= r0 && r < r1 && c >= c0 && c < c1)
                ASSERT_NEAR(v, spectre(r, c), 1e-7 * echelle * fmax * std::log2(2 * n))
                    << n << (symetrique ? " symmetric" : "") << ": " << r << "," << c;
              else
                ASSERT_EQ(v, -1.0f) << "written outside the rows and columns asked";
            }
        }
      }
  EXPECT_THROW(TFiltreFrequentiel(12, std::vector<double>(144)), std::invalid_argument);
  EXPECT_THROW(TFiltreFrequentiel(8, std::vector<double>(10)), std::invalid_argument);
  EXPECT_THROW(TFiltreFrequentiel(1, std::vector<double>(1)), std::invalid_argument);
}

TEST(FFT, UnParUnDonneDeuxParDeux) {
  TGrilleReelle g(1, 1, 1);
  g(0, 0) = 4;
  int h = 1, w = 1;
  const auto s = FFT2D(g, h, w);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(s.Lignes(), 2);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) EXPECT_DOUBLE_EQ(s(0, r, c), 1.0);
}

TEST(FFT, LignesSeules) {
  const int n = 8;
  TGrilleReelle g(2, 3, n);
  std::vector<Complexe> ligne(n);
  for (int k = 0; k < n; ++k) {
    ligne[k] = {std::sin(k * 1.3), std::cos(k * 0.7)};
    g(0, 1, k) = ligne[k].real();
    g(1, 1, k) = ligne[k].imag();
  }
  FFTLignes(g, n, 3);
  for (int f = 0; f < n; ++f) {
    Complexe s = 0;
    for (int k = 0; k < n; ++k) s += ligne[k] * std::polar(1.0, -2 * Pi * k * f / n);
    EXPECT_NEAR(g(0, 1, f), s.real(), 1e-5);
    EXPECT_NEAR(g(1, 1, f), s.imag(), 1e-5);
    EXPECT_EQ(g(0, 0, f), 0);
  }
}

TEST(FFT, PivoterEtEchangerQuadrants) {
  TGrilleReelle g(1, 2, 3);  // 2 rows, 3 columns
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) g(r, c) = 10 * r + c;
  TGrilleReelle copie = g;
  int lignes = 2, colonnes = 3;
  Pivoter(g, 1, lignes, colonnes);
  EXPECT_EQ(lignes, 3);
  EXPECT_EQ(colonnes, 2);
  EXPECT_EQ(g(2, 0), 0);   // new (N+1−k, r) = old (r, k): old (1,1) → new (3,1)
  EXPECT_EQ(g(0, 1), 12);  // old (2,3) → new (1,2)
  PivoterInverse(g, 1, lignes, colonnes);
  EXPECT_EQ(lignes, 2);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(g(r, c), copie(r, c));

  TGrilleReelle q(2, 4, 4);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) q(1, r, c) = 4 * r + c;
  EchangerQuadrants(q, 2, 4);
  EXPECT_EQ(q(1, 0, 0), 10);
  EXPECT_EQ(q(1, 0, 2), 8);  // the other diagonal pair is exchanged too
  EXPECT_EQ(q(1, 2, 0), 2);
  EchangerQuadrants(q, 2, 4);
  EXPECT_EQ(q(1, 1, 3), 7);
}

TEST(FFT, SpectrePuissance) {
  TGrilleReelle g(2, 2, 2);
  g(0, 1, 1) = 3;
  g(1, 1, 1) = 4;
  const auto p = SpectrePuissance(g, 2, 2);
  EXPECT_EQ(p(1, 1), 25);
  EXPECT_EQ(p(0, 0), 0);
}

TEST(FFTChamp, DirecteEtInverse) {
  TFctXY f;
  f.Allouer(50, 40);
  f.PasX = 0.5;
  f.PasY = -0.25;
  f.MasqueVisible = 1;
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 50; ++c) f.V(r, c) = std::cos(r * 0.3) + c * 0.01;
  TFctXY s;
  s.FFTDirecte(f);
  EXPECT_EQ(s.Complexe, 1);
  EXPECT_EQ(s.NX, 64);
  EXPECT_EQ(s.Donnees.Plans(), 2);
  EXPECT_EQ(s.PasX, 0.5);
  EXPECT_EQ(s.MasqueVisible, 0);
  EXPECT_EQ(s.AxeX.size(), 64u);

  TFctXY reel;
  reel.Allouer(3, 3);
  reel.V(1, 1) = 9;
  TFctXY cible;
  cible.Allouer(2, 2);
  cible.FFTInverse(reel);  // a real source changes nothing
  EXPECT_EQ(cible.NX, 2);

  TFctXY retour;
  retour.FFTInverse(s);
  EXPECT_EQ(retour.Complexe, 0);
  EXPECT_EQ(retour.NX, 64);
  EXPECT_TRUE(s.Donnees.Vide());
  EXPECT_NEAR(retour.V(10, 20), f.V(10, 20), 1e-5);
  EXPECT_NEAR(retour.V(45, 20), 0, 1e-5);
}

}  // namespace
}  // namespace quelvane

namespace quelvane {
namespace {

TEST(FFTLimites, UneTransformeeGeanteEstRefuseeSansAllouer) {
  TGrilleReelle bande(1, 3, TailleFFTMax + 1);
  int h = 3, w = TailleFFTMax + 1;
  EXPECT_THROW(FFT2D(bande, h, w), std::length_error);
}

}  // namespace
}  // namespace quelvane
