// The star images of a frame: the test star chosen among others, its pupil found around it
// whatever else the frame holds.

#include "analysis/etoiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/preparation.h"

namespace quelvane {
namespace {

struct TDonut {
  double X, Y, Rayon, Niveau;  // 1-based centre, pixels, ADU
  double Obstruction = 0.3;
  int Branches = 0;  // spider vanes, 2 pixels wide
};

// A frame with a sky of 800 ADU, noise of 8 ADU, and flat defocused discs.
TPupille Cadre(int largeur, int hauteur, const std::vector<TDonut>& donuts, unsigned graine = 5) {
  TPupille p;
  p.Allouer(largeur, hauteur);
  std::mt19937 alea(graine);
  std::normal_distribution<double> bruit(0, 8);
  for (int r = 0; r < hauteur; ++r)
    for (int c = 0; c < largeur; ++c) {
      double v = 800 + bruit(alea);
      for (const TDonut& d : donuts) {
        const double x = c + 1 - d.X, y = r + 1 - d.Y, q = std::hypot(x, y) / d.Rayon;
        if (q > 1 || q < d.Obstruction) continue;
        bool ombre = false;
        for (int b = 0; b < d.Branches; ++b) {
          const double a = b * 3.14159265 / d.Branches;
          ombre = ombre || std::fabs(-x * std::sin(a) + y * std::cos(a)) < 1;
        }
        if (!ombre) v += d.Niveau;
      }
      p.V(r, c) = v;
    }
  return p;
}

bool MemesEtoiles(const TChampEtoiles& a, const TChampEtoiles& b) {
  if (a.Etoiles.size() != b.Etoiles.size() || a.Fond != b.Fond || a.Bruit != b.Bruit) return false;
  for (std::size_t i = 0; i < a.Etoiles.size(); ++i) {
    const TEtoile &x = a.Etoiles[i], &y = b.Etoiles[i];
    if (x.CentreX != y.CentreX || x.CentreY != y.CentreY || x.Rayon != y.Rayon ||
        x.Flux != y.Flux || x.Entiere != y.Entiere || x.Defocalisee != y.Defocalisee)
      return false;
  }
  return true;
}

// A prepared image keeps the stars found on it as it stands (an extra-focal one turned): the
// test gets exactly what a search would give, without it, and searches again as soon as one
// sample changed.
TEST(Etoiles, UneImagePrepareeGardeSesEtoilesTantQuElleNeChangePas) {
  for (const bool extra : {false, true}) {
    TPupille p = Cadre(300, 240, {{120, 110, 40, 3000}, {240, 60, 25, 1500}});
    TkwValue prefs;
    ASSERT_TRUE(PreparerImage(p, prefs, extra));
    ASSERT_TRUE(p.ChampEtoiles);
    EXPECT_TRUE(MemesEtoiles(EtoilesDe(p), TrouverEtoiles(p))) << extra;

    // What is kept is what is returned while the samples stay the same.
    TChampEtoiles leurre;
    leurre.Fond = -1;
    RetenirEtoiles(p, leurre);
    EXPECT_EQ(EtoilesDe(p).Fond, -1);
    p.V(7, 9) += 1;
    const TChampEtoiles apres = EtoilesDe(p);
    EXPECT_NE(apres.Fond, -1);
    EXPECT_TRUE(MemesEtoiles(apres, TrouverEtoiles(p)));
  }
}

TEST(Etoiles, LEmpreinteChangeAvecUnEchantillonOuLaForme) {
  TPupille a = Cadre(64, 48, {});
  const std::uint64_t e = EmpreinteEchantillons(a);
  EXPECT_EQ(EmpreinteEchantillons(a), e);
  TPupille b = a;
  b.V(47, 63) = std::nextafter(b.V(47, 63), 1e9);  // one bit of the last sample
  EXPECT_NE(EmpreinteEchantillons(b), e);
  TPupille c;
  c.Allouer(48, 64);  // the same count of samples, turned
  std::copy(a.Donnees.Plan(0).begin(), a.Donnees.Plan(0).end(), c.Donnees.Plan(0).begin());
  EXPECT_NE(EmpreinteEchantillons(c), e);
}

TEST(Etoiles, LaPlusBrillanteEntiereEstLEtoileDuTest) {
  // The brightest touches the border; of the two complete ones, the brighter is chosen.
  const TPupille p =
      Cadre(400, 300, {{30, 150, 40, 9000}, {200, 120, 40, 3000}, {320, 220, 40, 2000}});
  const TChampEtoiles champ = TrouverEtoiles(p);
  ASSERT_EQ(champ.Etoiles.size(), 3u);
  EXPECT_FALSE(champ.Etoiles[0].Entiere);
  const auto e = ChoisirEtoile(champ);
  ASSERT_TRUE(e);
  EXPECT_NEAR(e->CentreX, 200, 0.5);
  EXPECT_NEAR(e->CentreY, 120, 0.5);
  EXPECT_NEAR(e->Rayon, 40, 1.5);
  EXPECT_NEAR(champ.Fond, 800, 2);
  EXPECT_NEAR(champ.Bruit, 8, 2);

  // Pointing at the faint one chooses it; pointing at empty sky or at the cut one, nothing.
  const auto pointee = ChoisirEtoile(champ, std::pair{330.0, 230.0});
  ASSERT_TRUE(pointee);
  EXPECT_NEAR(pointee->CentreX, 320, 0.5);
  EXPECT_FALSE(ChoisirEtoile(champ, std::pair{100.0, 280.0}));
  EXPECT_FALSE(ChoisirEtoile(champ, std::pair{30.0, 150.0}));
}

TEST(Etoiles, VanesEtObstructionNeCoupentPasUneEtoile) {
  const TPupille p = Cadre(300, 300, {{150.5, 149.5, 70, 4000, 0.35, 4}, {260, 40, 25, 800}});
  const TChampEtoiles champ = TrouverEtoiles(p);
  ASSERT_EQ(champ.Etoiles.size(), 2u);
  EXPECT_NEAR(champ.Etoiles[0].CentreX, 150.5, 0.5);
  EXPECT_NEAR(champ.Etoiles[0].Rayon, 70, 2);
}

TEST(Etoiles, AucuneEtoileEntiereOuDefocaliseeSeDit) {
  const TPupille auBord = Cadre(200, 200, {{20, 100, 40, 3000}});
  const TChampEtoiles champ = TrouverEtoiles(auBord);
  EXPECT_FALSE(ChoisirEtoile(champ));
  EXPECT_NE(RaisonSansEtoile(champ, "intra-focale").find("touche le bord"), std::string::npos);
  const TPupille point = Cadre(200, 200, {{100, 100, 3, 9000, 0}});
  EXPECT_NE(RaisonSansEtoile(TrouverEtoiles(point), "intra-focale").find("trop petite"),
            std::string::npos);
  const TPupille vide = Cadre(200, 200, {});
  EXPECT_NE(RaisonSansEtoile(TrouverEtoiles(vide), "intra-focale").find("rien ne s'y détache"),
            std::string::npos);
}

TEST(Etoiles, LaPupilleEstCelleDeLEtoileMalgreUneAutreSurLesMemesLignes) {
  // A brighter star beside the test star on the same rows: once the test star is pointed at,
  // neither the threshold nor the pupil is taken from the other; a 180° turn keeps them.
  TPupille p = Cadre(500, 250, {{120, 125, 50, 3000}, {330, 130, 50, 9000}});
  TkwValue prefs;
  ASSERT_TRUE(PreparerImage(p, prefs, false));
  EXPECT_NEAR(p.CentreX, 330, 1);  // the brighter one first
  ASSERT_TRUE(ChoisirEtoileImage(p, 110, 120, prefs));
  EXPECT_NEAR(p.CentreX, 120, 0.5);
  EXPECT_NEAR(p.CentreY, 125, 0.5);
  EXPECT_NEAR(p.RayonPupille, 50, 1.5);
  EXPECT_GT(p.Seuil, 800);
  EXPECT_LT(p.Seuil, 800 + 3000);
  EXPECT_FALSE(ChoisirEtoileImage(p, 250, 20, prefs));
  EXPECT_NEAR(p.CentreX, 120, 0.5);  // unchanged
  p.Symetrie180();
  p.TrouverPupille();
  EXPECT_NEAR(p.CentreX, 501 - 120, 0.5);
  EXPECT_NEAR(p.CentreY, 251 - 125, 0.5);
}

TEST(Etoiles, LeSeuilAutomatiqueNeDependPasDuCadre) {
  const TDonut d{150, 140, 45, 3000};
  TPupille petit = Cadre(300, 280, {d});
  TDonut loin = d;
  loin.X += 700, loin.Y += 500;
  TPupille grand = Cadre(1600, 1200, {loin, {200, 200, 45, 500}, {1400, 300, 45, 700}});
  TkwValue prefs;
  PreparerImage(petit, prefs, false);
  PreparerImage(grand, prefs, false);
  EXPECT_NEAR(grand.Seuil, petit.Seuil, 0.02 * 3000);
  EXPECT_NEAR(grand.RayonPupille, petit.RayonPupille, 0.5);
  EXPECT_NEAR(grand.CentreX - 700, petit.CentreX, 0.3);
}

}  // namespace
}  // namespace quelvane
