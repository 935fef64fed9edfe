// Simulated defocused star pairs through the whole engine, against the wavefront they were
// made with.

#include "analysis/reconstruction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "analysis/preparation.h"
#include "core/parallele.h"
#include "support/simulateur_etoile.h"

namespace quelvane {
namespace {

struct TPaire {
  TPupille Intra, Extra;
};

TPaire Simuler(const outils::TTelescopeSimule& t, const outils::TCameraSimulee& c,
               const TkwValue& prefs) {
  TPaire p;
  for (auto [im, intra] : {std::pair{&p.Intra, true}, std::pair{&p.Extra, false}}) {
    im->Allouer(c.Largeur, c.Hauteur);
    im->Donnees = outils::SimulerImage(t, c, outils::SpectreLarge(), intra);
    EXPECT_TRUE(PreparerImage(*im, prefs, !intra));
  }
  return p;
}

TParametresTest Parametres(const outils::TTelescopeSimule& t, const outils::TCameraSimulee& c,
                           TPaire& paire) {
  TParametresTest p;
  p.DistanceFocale = t.FocaleMm * 1e6;
  p.RayonInstrument = t.DiametreMm * 5e5;
  p.Defocalisation = c.DefocalisationMm * 1e6;
  p.ImageIntra = &paire.Intra;
  p.ImageExtra = &paire.Extra;
  return p;
}

// A 128 × 128 frame 2 mm from focus: pupil images of about 38 pixels.
outils::TCameraSimulee PetiteCamera() {
  outils::TCameraSimulee c;
  c.Largeur = c.Hauteur = 128;
  c.DefocalisationMm = 2;
  return c;
}

// Mean level of a ring of normalised radii [r1, r2] of an image centred on its pupil.
double NiveauAnneau(const TPupille& im, double r1, double r2) {
  double s = 0;
  int n = 0;
  for (int r = 0; r < im.NY; ++r)
    for (int c = 0; c < im.NX; ++c) {
      const double q = std::hypot(c + 1 - im.CentreX, r + 1 - im.CentreY) / im.RayonPupille;
      if (q >= r1 && q <= r2) s += im.V(r, c), ++n;
    }
  return s / n;
}

// Positive spherical aberration (outer zone focusing short): the intra-focal image has the
// bright outer rim, the extra-focal one the dim edge.
TEST(Simulateur, SpheriquePositiveBordBrillantEnIntra) {
  outils::TTelescopeSimule t;
  t.CoefficientsNm[10] = 80;
  const outils::TCameraSimulee c = PetiteCamera();
  TkwValue prefs;
  TPaire p = Simuler(t, c, prefs);
  EXPECT_GT(NiveauAnneau(p.Intra, 0.8, 0.95), 1.1 * NiveauAnneau(p.Intra, 0.3, 0.6));
  EXPECT_LT(NiveauAnneau(p.Extra, 0.8, 0.95), 0.95 * NiveauAnneau(p.Extra, 0.3, 0.6));
  // The aberration pulls the intra image in and pushes the extra one out.
  EXPECT_LT(p.Intra.RayonPupille, p.Extra.RayonPupille);
  EXPECT_NEAR((p.Intra.RayonPupille + p.Extra.RayonPupille) / 2, outils::RayonImagePixels(t, c),
              1.5);
}

TEST(Reconstruction, RetrouveUnFrontConnu) {
  outils::TTelescopeSimule t;
  t.Obstruction = 0.25;
  const std::pair<int, double> termes[] = {{5, 30}, {6, -15}, {7, 20}, {8, 10},
                                           {9, 10}, {11, 60}, {12, 8}, {22, -10}};
  for (auto [j, v] : termes) t.CoefficientsNm[j - 1] = v;
  outils::TCameraSimulee c;
  c.Largeur = c.Hauteur = 200;
  c.DefocalisationMm = 3;
  TkwValue prefs;
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPaire paire = Simuler(t, c, prefs);
  TSansProgression progression;
  const auto test = ReconstruireSimple(Parametres(t, c, paire), prefs, jeu, progression);
  const TPupille& f = *test->FrontOnde;
  EXPECT_EQ(f.Role, RoleFront);
  EXPECT_EQ(f.Lambda, prefs.LambdaRef);
  EXPECT_NEAR(f.Obstruction, 0.25, 0.06);
  EXPECT_FALSE(f.Selection[3]);  // tilt, focus and coma removed from the display
  EXPECT_FALSE(f.Selection[6]);
  EXPECT_TRUE(f.Selection[10]);

  double erreur2 = 0;
  for (int j = 4; j < 22; ++j) {
    const double d = (f.Coefficients[j] - t.CoefficientsNm[j]) / jeu.FacteurNorm[j];
    erreur2 += d * d;
  }
  EXPECT_LT(std::sqrt(erreur2 / 18), 5.0);  // nanometres RMS over Z5–Z22
  // Signs as the physics gives them, and the well-measured terms to 15 %.
  EXPECT_GT(f.Coefficients[4], 0);
  EXPECT_LT(f.Coefficients[5], 0);
  EXPECT_NEAR(f.Coefficients[6], 20, 3);
  EXPECT_NEAR(f.Coefficients[10], 60, 9);
}

// Threads share rows, images and noise draws, never a sum: one thread or several, the same
// wavefront, the same variants, to the last bit.
TEST(Reconstruction, MemesBitsQuelQueSoitLeNombreDeFils) {
  if (NombreCoeurs() < 2) GTEST_SKIP() << "un seul cœur";
  outils::TTelescopeSimule t;
  t.Obstruction = 0.2;
  t.CoefficientsNm[4] = 25;
  t.CoefficientsNm[10] = 40;
  outils::TCameraSimulee c;
  c.Largeur = c.Hauteur = 256;  // a grid the transforms share between threads
  c.DefocalisationMm = 3;
  TkwValue prefs;
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPaire paire = Simuler(t, c, prefs);
  const int avant = NombreFils();
  std::vector<std::unique_ptr<TRoddier>> tests;
  for (int fils : {1, 2}) {
    DefinirNombreFils(fils);
    TSansProgression progression;
    tests.push_back(ReconstruireSimple(Parametres(t, c, paire), prefs, jeu, progression));
  }
  DefinirNombreFils(avant);
  const auto memes = [](const TPupille& a, const TPupille& b) {
    const auto x = a.Donnees.Plan(0), y = b.Donnees.Plan(0);
    return x.size() == y.size() &&
           std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0 &&
           std::memcmp(a.Coefficients.data(), b.Coefficients.data(), sizeof(a.Coefficients)) == 0;
  };
  const TPupille &a = *tests[0]->FrontOnde, &b = *tests[1]->FrontOnde;
  EXPECT_TRUE(memes(a, b));
  // The residual's spread decides when the passes stop: summed by fixed bands.
  TPupille ra = *tests[0]->FrontResiduel, rb = *tests[1]->FrontResiduel;
  EXPECT_TRUE(memes(ra, rb));
  for (int fils : {1, 2}) {
    DefinirNombreFils(fils);
    (fils == 1 ? ra : rb).MoyenneEcartType();
  }
  DefinirNombreFils(avant);
  EXPECT_EQ(std::memcmp(&ra.EcartType, &rb.EcartType, sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(&ra.Moyenne, &rb.Moyenne, sizeof(double)), 0);
  ASSERT_TRUE(a.Variantes && b.Variantes);
  ASSERT_EQ(a.Variantes->Fronts.size(), b.Variantes->Fronts.size());
  ASSERT_FALSE(a.Variantes->Fronts.empty());
  for (std::size_t k = 0; k < a.Variantes->Fronts.size(); ++k)
    EXPECT_TRUE(memes(a.Variantes->Fronts[k], b.Variantes->Fronts[k])) << "variante " << k;
}

TEST(Reconstruction, AutocollimationEtCorrectionsDeMontage) {
  outils::TTelescopeSimule t;
  t.CoefficientsNm[10] = 60;
  const outils::TCameraSimulee c = PetiteCamera();
  TkwValue prefs;
  prefs.NIter = 2;
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPaire paire = Simuler(t, c, prefs);
  TSansProgression progression;
  TParametresTest p = Parametres(t, c, paire);
  const auto direct = ReconstruireSimple(p, prefs, jeu, progression);
  p.Autocollimation = true;
  p.Sphericite = 10;
  const auto auto_ = ReconstruireSimple(p, prefs, jeu, progression);
  // Set-up correction first, then the halving: (Z11 − 10)/2.
  EXPECT_NEAR(auto_->FrontOnde->Coefficients[10], (direct->FrontOnde->Coefficients[10] - 10) / 2,
              1e-6);
}

TEST(Reconstruction, TroisCouleursMiseAuPointCommune) {
  outils::TTelescopeSimule t;
  t.CoefficientsNm[10] = 40;
  outils::TCameraSimulee c = PetiteCamera();
  TkwValue prefs;
  prefs.NIter = 1;
  prefs.OriginFoc = 1;
  prefs.AjustAuto = false;  // forced on, then restored
  prefs.LambdaB = 450;
  prefs.LambdaV = 550;
  prefs.LambdaR = 650;
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPaire paires[3] = {Simuler(t, c, prefs), Simuler(t, c, prefs), Simuler(t, c, prefs)};
  c.DefocalisationMm = 2.02;  // the red pair focuses a little elsewhere
  paires[2] = Simuler(t, c, prefs);
  TParametresTest p = Parametres(t, c, paires[0]);
  p.IntraBleu = &paires[0].Intra, p.ExtraBleu = &paires[0].Extra;
  p.IntraVert = &paires[1].Intra, p.ExtraVert = &paires[1].Extra;
  p.IntraRouge = &paires[2].Intra, p.ExtraRouge = &paires[2].Extra;
  TSansProgression progression;
  const auto tests = ReconstruireTroisCouleurs(p, prefs, jeu, progression);
  EXPECT_NEAR(tests[1]->FrontOnde->Coefficients[3], 0, 1e-9);  // green is the origin
  EXPECT_EQ(tests[0]->FrontOnde->Lambda, 450);
  EXPECT_EQ(tests[2]->FrontOnde->Couleur, 3);
  EXPECT_TRUE(tests[1]->FrontOnde->Selection[3]);  // focus kept, tilt removed
  EXPECT_FALSE(tests[1]->FrontOnde->Selection[1]);
  EXPECT_NE(tests[2]->FrontOnde->Coefficients[3], 0);

  p.IntraRouge = nullptr;
  EXPECT_THROW(ReconstruireTroisCouleurs(p, prefs, jeu, progression), ErreurTest);
}

}  // namespace
}  // namespace quelvane
