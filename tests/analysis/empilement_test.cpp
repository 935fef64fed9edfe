// Stacking a series: frames measured and sorted, the bad ones left out with their reason,
// registration to a fraction of a pixel, outliers out of the mean, the same bits on any number
// of threads.

#include "analysis/empilement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/erreur_test.h"

namespace quelvane {
namespace {

TEST(Recalage, DecalageCubiqueExactSurLesPolynomesDuSecondDegre) {
  auto f = [](double x, double y) { return 3 + 0.5 * x - 0.2 * y + 0.01 * x * y + 0.003 * x * x; };
  TGrilleReelle g(1, 30, 40);
  for (int r = 0; r < 30; ++r)
    for (int c = 0; c < 40; ++c) g(r, c) = f(c, r);
  TGrilleReelle d;
  DecalerCubique(g, 1.3, -2.7, d);
  for (int r = 4; r < 26; ++r)
    for (int c = 4; c < 36; ++c) EXPECT_NEAR(d(r, c), f(c - 1.3, r + 2.7), 1e-9);
  // What comes from beyond the source is missing, not invented.
  EXPECT_TRUE(std::isnan(d(0, 0)));
  EXPECT_TRUE(std::isnan(d(29, 39)));
}

// Frames of flat defocused discs (radius 30, obstruction 0.3) moving around (x, y), sky 500 ADU,
// noise; what each frame holds can be changed frame by frame.
struct TImageDonut {
  double X = 100, Y = 90, Flux = 3000;  // level of the disc, ADU
  bool Cosmique = false;
  double Flou = 1.0;  // edge width, pixels
  double AutreX = 0, AutreY = 0, AutreFlux = 0;
};

class TSerieDonuts final : public TSerieImages {
 public:
  explicit TSerieDonuts(std::vector<TImageDonut> images) : images_(std::move(images)) {
    description_.Largeur = 200;
    description_.Hauteur = 180;
    description_.Nombre = description_.Annoncees = static_cast<int>(images_.size());
    description_.PleineEchelle = 65535;
  }
  void Lire(int k, TGrilleReelle& g) const override {
    const TImageDonut& d = images_[static_cast<std::size_t>(k)];
    std::mt19937 alea(static_cast<unsigned>(k + 1));
    std::normal_distribution<double> bruit(0, 10);
    g.Allouer(1, 180, 200);
    auto disque = [&](double x, double y, double cx, double cy, double flou) {
      const double q = std::hypot(x - cx, y - cy);
      return 0.25 * std::erfc((q - 30) / flou) * std::erfc((9 - q) / flou);
    };
    for (int r = 0; r < 180; ++r)
      for (int c = 0; c < 200; ++c) {
        double v = 500 + bruit(alea) + d.Flux * disque(c + 1, r + 1, d.X, d.Y, d.Flou);
        if (d.AutreFlux > 0) v += d.AutreFlux * disque(c + 1, r + 1, d.AutreX, d.AutreY, d.Flou);
        g(r, c) = v;
      }
    if (d.Cosmique) g(static_cast<int>(d.Y) + 5, static_cast<int>(d.X) + 3) += 20000;
  }
  std::string NomImage(int k) const override { return "essai, image " + std::to_string(k + 1); }
  std::string Date(int) const override { return "2026-12-08T21:00:00"; }

 private:
  std::vector<TImageDonut> images_;
};

std::vector<TImageDonut> Mouvantes(int n) {
  std::vector<TImageDonut> v(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    v[static_cast<std::size_t>(k)].X = 100 + 2.5 * std::sin(1.7 * k);
    v[static_cast<std::size_t>(k)].Y = 90 + 2.5 * std::cos(2.3 * k);
  }
  return v;
}

TEST(Empilement, ImagesRateesLaisseesDeCoteAvecLeurRaison) {
  std::vector<TImageDonut> v = Mouvantes(24);
  v[3].Flux = 600;  // a cloud
  v[7].X = 135;     // the star cut by the frame's border
  for (auto& d : v) d.X += 40;
  v[9].Flux = 0;                                                       // nothing at all
  for (int k : {12, 13, 14}) v[static_cast<std::size_t>(k)].Flou = 4;  // a gust
  v[16].Flou = v[17].Flou = 1.3;                                       // slightly poorer seeing
  v[5].Cosmique = v[15].Cosmique = true;
  const TSerieDonuts serie(v);
  TOptionsEmpilement o;
  o.PourcentGarde = 85;
  TSansProgression p;
  const TEmpilement e = Empiler(serie, o, p, "intra-focale");
  EXPECT_EQ(e.Lues, 24);
  auto raison = [&](int k) { return e.Images[static_cast<std::size_t>(k)].Rejet; };
  EXPECT_NE(raison(3).find("flux trop faible"), std::string::npos) << raison(3);
  EXPECT_NE(raison(7).find("touche le bord"), std::string::npos) << raison(7);
  EXPECT_NE(raison(9).find("introuvable"), std::string::npos) << raison(9);
  for (int k : {12, 13, 14}) EXPECT_NE(raison(k).find("bord flou"), std::string::npos) << raison(k);
  // Of the 18 usable ones, 85 %: the sharpest 16.
  for (int k : {16, 17}) EXPECT_NE(raison(k).find("moins nette"), std::string::npos) << raison(k);
  EXPECT_TRUE(e.Images[5].Gardee);
  EXPECT_EQ(e.Gardees + e.Rejetees, 24);
  EXPECT_EQ(e.Gardees, 16);
  EXPECT_GT(e.EchantillonsRejetes, 0);  // the cosmic rays
  EXPECT_NEAR(e.DispersionRecalage, 2.5, 0.8);
  // Registered to a fraction of a pixel: the mean has the edge of one frame, its level the
  // disc's, the background 0, and no trace of the cosmic rays.
  const int c0 = static_cast<int>(std::lround(140 - 1 - e.ColonneOrigine));
  const int r0 = static_cast<int>(std::lround(90 - 1 - e.LigneOrigine));
  EXPECT_NEAR(e.Image(r0, c0 + 20), 3000, 30);
  EXPECT_NEAR(e.Image(r0 + 60, c0 + 60), 0, 15);
  double maximum = 0;
  for (double x : e.Image.Plan(0)) maximum = std::max(maximum, x);
  EXPECT_LT(maximum, 3300);
  // The blocks of the error bars, each a mean of its own frames.
  EXPECT_EQ(e.SousEnsembles.size(), 4u);
  for (const auto& b : e.SousEnsembles) EXPECT_NEAR(b(r0, c0 + 20), 3000, 60);
}

TEST(Empilement, LesMemesBitsQuelQueSoitLeNombreDeFils) {
  const TSerieDonuts serie(Mouvantes(40));
  TSansProgression p;
  TOptionsEmpilement un, deux;
  un.Fils = 1, deux.Fils = 3;
  const TEmpilement a = Empiler(serie, un, p, "intra-focale"),
                    b = Empiler(serie, deux, p, "intra-focale");
  ASSERT_EQ(a.Image.TaillePlan(), b.Image.TaillePlan());
  EXPECT_TRUE(std::equal(a.Image.Plan(0).begin(), a.Image.Plan(0).end(), b.Image.Plan(0).begin()));
  ASSERT_EQ(a.SousEnsembles.size(), b.SousEnsembles.size());
  for (std::size_t k = 0; k < a.SousEnsembles.size(); ++k)
    EXPECT_TRUE(std::equal(a.SousEnsembles[k].Plan(0).begin(), a.SousEnsembles[k].Plan(0).end(),
                           b.SousEnsembles[k].Plan(0).begin()));
}

TEST(Empilement, LEtoilePointeeEstSuivieDImageEnImage) {
  // A brighter star beside the test star: by default the brighter one; pointed at, the other,
  // followed as the image drifts by 30 pixels over the series.
  std::vector<TImageDonut> v = Mouvantes(12);
  for (int k = 0; k < 12; ++k) {
    auto& d = v[static_cast<std::size_t>(k)];
    d.X = 60 + 2.5 * k, d.Flux = 2000;
    d.AutreX = d.X + 80, d.AutreY = d.Y, d.AutreFlux = 5000;
  }
  const TSerieDonuts serie(v);
  TSansProgression p;
  TOptionsEmpilement o;
  o.PourcentGarde = 100;
  const TEmpilement brillante = Empiler(serie, o, p, "intra-focale");
  o.Etoile = std::pair{62.0, 88.0};
  const TEmpilement pointee = Empiler(serie, o, p, "intra-focale");
  EXPECT_EQ(pointee.Gardees, 12);
  EXPECT_NEAR(pointee.Images[11].X, 60 + 2.5 * 11, 0.3);
  EXPECT_NEAR(brillante.Images[11].X, 140 + 2.5 * 11, 0.3);
  EXPECT_NEAR(pointee.Images[0].Flux / brillante.Images[0].Flux, 0.4, 0.02);
}

TEST(Empilement, SansAucuneImageUtilisableLeDitAvecLaRaison) {
  std::vector<TImageDonut> v(5);
  for (auto& d : v) d.Flux = 0;
  const TSerieDonuts serie(v);
  TSansProgression p;
  try {
    Empiler(serie, {}, p, "extra-focale");
    ADD_FAILURE();
  } catch (const ErreurTest& e) {
    EXPECT_NE(std::string(e.what()).find("extra-focale"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("essai, image 1"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace quelvane
