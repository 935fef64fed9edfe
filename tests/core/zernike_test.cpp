#include "core/zernike.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace quelvane {
namespace {

constexpr double Pi = std::numbers::pi;

double Fact(int k) { return k <= 1 ? 1.0 : k * Fact(k - 1); }

// The classical radial polynomial from its closed sum.
double RadialClassique(int n, int m, double r) {
  double s = 0;
  for (int k = 0; k <= (n - m) / 2; ++k)
    s += (k % 2 ? -1.0 : 1.0) * Fact(n - k) /
         (Fact(k) * Fact((n + m) / 2 - k) * Fact((n - m) / 2 - k)) * std::pow(r, n - 2 * k);
  return s;
}

TEST(ZernikeNumerotation, OrdresEtLibelles) {
  EXPECT_EQ(LibelleZernike(1), "Z1 (0,0)");
  EXPECT_EQ(LibelleZernike(3), "Z3 (1,-1)");
  EXPECT_EQ(LibelleZernike(7), "Z7 (3,1)");
  EXPECT_EQ(LibelleZernike(8), "Z8 (3,-1)");
  EXPECT_EQ(LibelleZernike(11), "Z11 (4,0)");
  EXPECT_EQ(LibelleZernike(22), "Z22 (6,0)");
  EXPECT_EQ(LibelleZernike(42), "Z42 (8,6)");
  EXPECT_EQ(NomZernike(4), "Défocalisation");
  EXPECT_EQ(NomZernike(17), "Sec. coma");
  EXPECT_EQ(NomZernike(29), "(35r^7-60r^5+30r^3-4r) Cos(t)");
}

TEST(ZernikeNumerotation, NomPolynome) {
  EXPECT_EQ(NomPolynome(0, 0), "1");
  EXPECT_EQ(NomPolynome(2, 0), "2r^2-1");
  EXPECT_EQ(NomPolynome(1, 1), "r Cos(t)");
  EXPECT_EQ(NomPolynome(2, 2), "r^2 Cos(2t)");
  EXPECT_EQ(NomPolynome(3, 1), "(3r^3-2r) Cos(t)");
  EXPECT_EQ(NomPolynome(4, 0), "6r^4-6r^2+1");
  EXPECT_EQ(NomPolynome(7, -3), "(21r^7-30r^5+10r^3) Sin(3t)");
  EXPECT_EQ(NomPolynome(8, 6), "(8r^8-7r^6) Cos(6t)");
  EXPECT_EQ(NomPolynome(1, -1), "r Sin(t)");
}

TEST(ZernikeJeu, OrdreMaxEtFacteurs) {
  EXPECT_EQ(ConstruireJeuZernike(0, 0).OrdreMax, 0);
  EXPECT_EQ(ConstruireJeuZernike(1, 0).OrdreMax, 0);
  EXPECT_EQ(ConstruireJeuZernike(22, 0).OrdreMax, 5);
  EXPECT_EQ(ConstruireJeuZernike(42, 0).OrdreMax, 7);
  const auto jeu = ConstruireJeuZernike(42, 1);
  for (int j = 1; j <= 42; ++j) {
    int n, m;
    OrdresZernike(j, n, m);
    EXPECT_DOUBLE_EQ(jeu.FacteurNorm[j - 1], std::sqrt((n + 1.0) * (m == 0 ? 1 : 2))) << j;
  }
}

TEST(ZernikeJeu, InstancePartagee) {
  InitZernike(36, PolyZernike);
  EXPECT_EQ(JeuZernike().NbTermes, 36);
  EXPECT_EQ(JeuZernike().Type, PolyZernike);
  InitZernike(99, PolyMahajan);  // bounded to 42
  EXPECT_EQ(JeuZernike().NbTermes, 42);
}

TEST(ZernikeCalcul, ClassiquesContreLaFormeFermee) {
  for (int type : {PolyZernike, PolyMahajan}) {
    const auto jeu = ConstruireJeuZernike(42, type);
    for (double r : {0.0, 0.1, 0.37, 0.5, 0.81, 1.0})
      for (double t : {0.0, 0.4, 2.2, -1.3}) {
        TValZernike v{};
        ASSERT_TRUE(CalculZernike(jeu, r * std::sin(t), r * std::cos(t), 0.0, v));
        for (int j = 1; j <= 42; ++j) {
          int n, m;
          OrdresZernike(j, n, m);
          const int a = std::abs(m);
          const double angulaire = m > 0 ? std::cos(a * t) : m < 0 ? std::sin(a * t) : 1.0;
          ASSERT_NEAR(v[j - 1], RadialClassique(n, a, r) * angulaire, 1e-12)
              << "Z" << j << " r=" << r << " t=" << t;
        }
      }
  }
}

TEST(ZernikeCalcul, AnnulairesContreMahajan) {
  const double e = 0.3, e2 = e * e;
  const auto jeu = ConstruireJeuZernike(22, PolyMahajan);
  for (double r : {0.3, 0.45, 0.7, 0.92, 1.0}) {
    const double t = 0.6;
    TValZernike v{};
    ASSERT_TRUE(CalculZernike(jeu, r * std::sin(t), r * std::cos(t), e, v));
    EXPECT_NEAR(v[1], r / std::sqrt(1 + e2) * std::cos(t), 1e-12);
    EXPECT_NEAR(v[3], (2 * r * r - 1 - e2) / (1 - e2), 1e-12);
    const double r40 =
        (6 * std::pow(r, 4) - 6 * (1 + e2) * r * r + 1 + 4 * e2 + e2 * e2) / ((1 - e2) * (1 - e2));
    EXPECT_NEAR(v[10], r40, 1e-12);
    const double r31 = (3 * (1 + e2) * std::pow(r, 3) - 2 * (1 + e2 + e2 * e2) * r) /
                       ((1 - e2) * std::sqrt((1 + e2) * (1 + 4 * e2 + e2 * e2)));
    EXPECT_NEAR(v[6], r31 * std::cos(t), 1e-12);
    EXPECT_NEAR(v[7], r31 * std::sin(t), 1e-12);
  }
  TValZernike v{};
  ASSERT_TRUE(CalculZernike(jeu, 0, 0.7, e, v));
  EXPECT_NEAR(v[1], 0.67048, 1e-5);
  EXPECT_NEAR(v[3], -0.12088, 1e-5);
}

// With the RMS factors, every term has unit RMS over the ring and the terms are orthogonal.
TEST(ZernikeCalcul, OrthonormesSurLAnneau) {
  for (double e : {0.0, 0.35}) {
    const auto jeu = ConstruireJeuZernike(42, PolyMahajan);
    // Gauss–Legendre in r² (exact for polynomials), uniform in angle.
    const std::vector<double> xg = {-0.9815606342467192, -0.9041172563704749, -0.7699026741943047,
                                    -0.5873179542866175, -0.3678314989981802, -0.1252334085114689,
                                    0.1252334085114689,  0.3678314989981802,  0.5873179542866175,
                                    0.7699026741943047,  0.9041172563704749,  0.9815606342467192};
    const std::vector<double> wg = {0.0471753363865118, 0.1069393259953184, 0.1600783285433462,
                                    0.2031674267230659, 0.2334925365383548, 0.2491470458134028,
                                    0.2491470458134028, 0.2334925365383548, 0.2031674267230659,
                                    0.1600783285433462, 0.1069393259953184, 0.0471753363865118};
    const int na = 40;
    std::vector<double> gram(42 * 42, 0.0);
    double poids = 0;
    for (std::size_t i = 0; i < xg.size(); ++i) {
      const double s = e * e + (1 - e * e) * (xg[i] + 1) / 2;  // s = r²
      const double r = std::sqrt(s);
      for (int a = 0; a < na; ++a) {
        const double t = 2 * Pi * (a + 0.5) / na;
        TValZernike v{};
        ASSERT_TRUE(CalculZernike(jeu, r * std::sin(t), r * std::cos(t), e, v));
        for (int j = 0; j < 42; ++j)
          for (int k = 0; k < 42; ++k)
            gram[j * 42 + k] += wg[i] * v[j] * jeu.FacteurNorm[j] * v[k] * jeu.FacteurNorm[k];
        poids += wg[i];
      }
    }
    for (int j = 0; j < 42; ++j)
      for (int k = 0; k < 42; ++k)
        ASSERT_NEAR(gram[j * 42 + k] / poids, j == k ? 1.0 : 0.0, 1e-9)
            << "Z" << j + 1 << " Z" << k + 1 << " e=" << e;
  }
}

TEST(ZernikeCalcul, BordsDeLAnneau) {
  const auto mahajan = ConstruireJeuZernike(22, PolyMahajan);
  const auto zernike = ConstruireJeuZernike(22, PolyZernike);
  TValZernike v{};
  v.fill(-7);
  EXPECT_TRUE(CalculZernike(mahajan, 0, 1.0, 0.3, v));
  EXPECT_TRUE(CalculZernike(mahajan, 0.3, 0, 0.3, v));
  TValZernike w{};
  w.fill(-7);
  EXPECT_FALSE(CalculZernike(mahajan, 0, 0.99 * 0.3, 0.3, w));
  EXPECT_EQ(w[0], -7);  // untouched
  EXPECT_FALSE(CalculZernike(mahajan, 0.8, 0.8, 0.3, w));
  EXPECT_TRUE(CalculZernike(zernike, 0, 0, 0.3, w));
  EXPECT_DOUBLE_EQ(w[3], -1);  // classical focus at the centre
}

TEST(ZernikeCoefficients, AllerRetourRMS) {
  InitZernike(42, PolyMahajan);
  TCoefZernike c{};
  for (int j = 0; j < 42; ++j) c[j] = j + 1.5;
  TCoefZernike d = c;
  CoefVersRMS(d);
  EXPECT_DOUBLE_EQ(d[3], c[3] / std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(d[6], c[6] / std::sqrt(8.0));
  CoefDepuisRMS(d);
  EXPECT_EQ(d[0], 0);
  for (int j = 1; j < 42; ++j) EXPECT_NEAR(d[j], c[j], 1e-12);
  InitZernike(22, PolyMahajan);
}

TEST(ZernikeCoefficients, MasquesDeSoustraction) {
  TSelZernike s;
  SelectionComplete(s);
  const auto a = MasqueSoustraction(s, true, false);
  EXPECT_FALSE(a[0] || a[1] || a[2] || a[3]);
  EXPECT_TRUE(a[4] && a[6]);
  const auto b = MasqueSoustraction(s, false, true);
  EXPECT_FALSE(b[6] || b[7] || b[15] || b[16]);
  EXPECT_TRUE(b[3] && b[8] && b[14] && b[17]);
  const auto c = MasqueSansTilt(s);
  EXPECT_FALSE(c[0] || c[1] || c[2]);
  EXPECT_TRUE(c[3]);
  TCoefZernike z;
  z.fill(3);
  RazCoefficients(z);
  EXPECT_EQ(z[41], 0);
}

}  // namespace
}  // namespace quelvane
