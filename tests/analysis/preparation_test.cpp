// The test's copies of a pair: background measured and subtracted, flux equalised, the grid
// cut around the pupil, and the pairs that cannot be measured refused.

#include "analysis/preparation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quelvane {
namespace {

struct TCadre {
  int Largeur = 256, Hauteur = 200;
  double CentreX = 120.3, CentreY = 97.6;  // 1-based
  double Rayon = 50;
  double Plateau = 5000;
  double Biais = 1500, PenteX = 0.8, PenteY = -0.5;  // ADU, ADU per pixel
  double Bruit = 10;
  int PixelsChauds = 40;
  unsigned Graine = 3;
};

// A flat disc over a sloping background with noise and saturated hot pixels, prepared as the
// open command prepares it.
TPupille Image(const TCadre& k, bool extra = false) {
  TPupille p;
  p.Allouer(k.Largeur, k.Hauteur);
  std::mt19937 alea(k.Graine);
  std::normal_distribution<double> bruit(0, k.Bruit);
  for (int r = 0; r < k.Hauteur; ++r)
    for (int c = 0; c < k.Largeur; ++c) {
      const double x = c + 1 - k.CentreX, y = r + 1 - k.CentreY;
      const double fond = k.Biais + k.PenteX * x + k.PenteY * y;
      p.V(r, c) = fond + (std::hypot(x, y) <= k.Rayon ? k.Plateau : 0) + bruit(alea);
    }
  std::uniform_int_distribution<int> colonne(0, k.Largeur - 1), ligne(0, k.Hauteur - 1);
  for (int i = 0; i < k.PixelsChauds; ++i) p.V(ligne(alea), colonne(alea)) = 65535;
  TkwValue prefs;
  PreparerImage(p, prefs, false);
  if (extra) p.Role = RoleExtra;
  return p;
}

double Somme(const TPupille& p) {
  double s = 0;
  for (double v : p.Donnees.Plan(0)) s += v;
  return s;
}

TEST(Fond, PlanRetrouveMalgreLesPixelsChaudsEtLEtoile) {
  const TCadre k;
  const TPupille p = Image(k);
  const TFond f = MesurerFond(p, k.CentreX, k.CentreY, k.Rayon, "intra-focale");
  EXPECT_NEAR(f.Niveau, k.Biais, 0.5);
  EXPECT_NEAR(f.PenteX, k.PenteX, 0.01);
  EXPECT_NEAR(f.PenteY, k.PenteY, 0.01);
  EXPECT_NEAR(f.Bruit, k.Bruit, 1.5);
  EXPECT_NEAR(f.Valeur(k.CentreX + 10, k.CentreY), k.Biais + 10 * k.PenteX, 0.6);
}

TEST(Fond, ImpossibleQuandLaPupilleRemplitLImage) {
  TCadre k;
  k.Largeur = k.Hauteur = 100;
  k.CentreX = k.CentreY = 50.5;
  k.Rayon = 48;
  const TPupille p = Image(k);
  EXPECT_THROW(MesurerFond(p, k.CentreX, k.CentreY, k.Rayon, "intra-focale"), ErreurTest);
}

TEST(PreparationPaire, FondSoustraitFluxEgaliseGrilleAutourDeLaPupille) {
  TCadre k;
  const TPupille intra = Image(k);
  TCadre ke = k;
  ke.Plateau = 0.9 * k.Plateau;  // 10 % less light in the extra-focal exposure
  ke.Biais = 1480, ke.PenteX = -0.3, ke.CentreX = 140.8, ke.Graine = 4;
  const TPupille extra = Image(ke, true);
  TkwValue prefs;
  const TPaireTest paire = PreparerPaire(intra, extra, prefs);
  const TPreparationPaire& p = paire.Preparation;
  EXPECT_TRUE(p.FondCorrige);
  EXPECT_NEAR(p.FondIntra.Niveau, k.Biais, 1);
  EXPECT_NEAR(p.FondExtra.Niveau, ke.Biais, 1);
  EXPECT_NEAR(p.RapportFlux, 0.9, 0.005);
  EXPECT_EQ(p.Cote, 256);  // 3 R rounded up to a power of two, not the frame
  ASSERT_EQ(paire.Intra->NX, 256);
  ASSERT_EQ(paire.Extra->NY, 256);
  // Both pupils near the grid centre, same flux, nothing left of the background, and the
  // hot pixels gone.
  EXPECT_NEAR(paire.Intra->CentreX, 128.5, 1);
  EXPECT_NEAR(paire.Extra->CentreX, 128.5, 1);
  EXPECT_NEAR(Somme(*paire.Extra) / Somme(*paire.Intra), 1, 0.003);
  double coin = 0, maxi = 0;
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 20; ++c) coin += paire.Intra->V(r, c) / 400;
  for (double v : paire.Intra->Donnees.Plan(0)) maxi = std::max(maxi, v);
  EXPECT_NEAR(coin, 0, 3);
  EXPECT_LT(maxi, k.Plateau + 6 * k.Bruit);
  // The threshold is a quarter of the plateau: the geometric edge of the disc.
  EXPECT_NEAR(paire.Intra->RayonPupille, k.Rayon, 0.5);
  EXPECT_NEAR(paire.Extra->RayonPupille, k.Rayon, 0.5);
}

TEST(PreparationPaire, SansCorrectionLesImagesSontSeulementDecoupees) {
  const TCadre k;
  const TPupille intra = Image(k), extra = Image(k, true);
  TkwValue prefs;
  prefs.CorrectionFond = false;
  const TPaireTest paire = PreparerPaire(intra, extra, prefs);
  EXPECT_FALSE(paire.Preparation.FondCorrige);
  EXPECT_EQ(paire.Preparation.RapportFlux, 1);
  EXPECT_NEAR(paire.Intra->V(128, 128), k.Biais + k.Plateau, 6 * k.Bruit + 20);
}

TEST(PreparationPaire, UnGrandCadreDonneUneGrilleALaTailleDeLaPupille) {
  TCadre k;
  k.Largeur = 1800, k.Hauteur = 1300;
  k.CentreX = 1200.4, k.CentreY = 400.7, k.Rayon = 150;
  k.PixelsChauds = 300;
  const TPupille intra = Image(k), extra = Image(k, true);
  TkwValue prefs;
  const TPaireTest paire = PreparerPaire(intra, extra, prefs);
  EXPECT_EQ(paire.Preparation.Cote, 512);
  EXPECT_NEAR(paire.Preparation.ColonneIntra, 1200 - 256, 1);
  EXPECT_NEAR(paire.Intra->RayonPupille, 150, 0.7);
}

TEST(PreparationPaire, UnSeuilChoisiALaMainEstGarde) {
  const TCadre k;
  TPupille intra = Image(k), extra = Image(k, true);
  intra.Seuil = k.Biais + 0.8 * k.Plateau;  // the user's choice, above the automatic one
  TkwValue prefs;
  const TPaireTest paire = PreparerPaire(intra, extra, prefs);
  EXPECT_NEAR(paire.Intra->Seuil, 0.8 * k.Plateau, 2);
  EXPECT_NEAR(paire.Extra->Seuil, 0.25 * k.Plateau, 0.02 * k.Plateau);
}

// Each refusal names the image and says why, in French.
void ExigerRefus(const TPupille& intra, const TPupille& extra, const std::string& mot) {
  TkwValue prefs;
  try {
    PreparerPaire(intra, extra, prefs);
    ADD_FAILURE() << "paire acceptée, on attendait : " << mot;
  } catch (const ErreurTest& e) {
    EXPECT_NE(std::string(e.what()).find(mot), std::string::npos) << mot << " : " << e.what();
  }
}

TEST(PreparationPaire, PairesImpossiblesAMesurer) {
  const TCadre k;
  const TPupille bonne = Image(k, true);
  TPupille vide;
  vide.Allouer(200, 200);
  ExigerRefus(vide, bonne, "intra-focale");
  TPupille uniforme = vide;
  for (double& v : uniforme.Donnees.Plan(0)) v = 1234;
  ExigerRefus(bonne, uniforme, "extra-focale");
  TPupille nan = vide;
  for (double& v : nan.Donnees.Plan(0)) v = std::nan("");
  ExigerRefus(nan, bonne, "intra-focale");

  TCadre bruit = k;
  bruit.Plateau = 0;
  bruit.PixelsChauds = 0;
  ExigerRefus(Image(bruit), bonne, "rien ne s'y détache");

  TCadre auBord = k;
  auBord.CentreX = 30;
  ExigerRefus(Image(auBord), bonne, "touche le bord");

  TCadre petite = k;
  petite.Rayon = 5;
  petite.PixelsChauds = 0;
  ExigerRefus(Image(petite), Image(petite, true), "trop petite");

  TCadre faible = k;
  faible.Plateau = 40 * k.Plateau;  // six times the other's flux: not the same star
  ExigerRefus(bonne, Image(faible, true), "flux");
}

}  // namespace
}  // namespace quelvane

namespace quelvane {
namespace {

TEST(PreparationPaire, UneBandeDe4097PixelsNeDevientPasUneGrilleGeante) {
  // A 4097 × 3 strip once became an 8192² grid: now the pupil is too small to test.
  TPupille bande;
  bande.Allouer(4097, 3);
  for (int c = 2000; c < 2003; ++c) bande.V(1, c) = 5000;
  TkwValue prefs;
  PreparerImage(bande, prefs, false);
  EXPECT_THROW(PreparerPaire(bande, bande, prefs), ErreurTest);
}

}  // namespace
}  // namespace quelvane
