// A test star among others, in frames of any size: simulated star images pasted into camera
// frames (sky with a gradient, bias, noise), reconstructed with and without what surrounds
// them. Neither another star outside the test star's light nor the size of the frame may move a
// coefficient.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "support/cas_validation.h"
#include "support/simulateur_etoile.h"

namespace quelvane::outils {
namespace {

struct TEtoiles {
  TGrilleReelle Intra, Extra;  // star light only, 256 × 256, centred
  TCasValidation Cas;
};

const TEtoiles& EtoilesSimulees() {
  static const TEtoiles e = [] {
    TEtoiles s;
    s.Cas = MatriceValidation(false)[1];  // mixed terms, f/5, R 70
    for (TCameraSimulee* c : {&s.Cas.Intra, &s.Cas.Extra}) {
      c->Largeur = c->Hauteur = 256;
      c->Biais = c->Fond = c->PenteFondX = c->PenteFondY = 0;
      c->Bruit = false;
      c->DecalageX = c->DecalageY = 0;
    }
    s.Intra = SimulerImage(s.Cas.Telescope, s.Cas.Intra, SpectreLarge(), true);
    s.Extra = SimulerImage(s.Cas.Telescope, s.Cas.Extra, SpectreLarge(), false);
    return s;
  }();
  return e;
}

struct TCollage {
  double Facteur;
  int Colonne, Ligne;  // where the 256² star image's top-left corner goes (0-based)
};

// A camera frame: bias, sky with a gradient, photon and read noise, and the star images.
TPupille Cadre(int largeur, int hauteur, const TGrilleReelle& etoile,
               const std::vector<TCollage>& collages, unsigned graine) {
  TGrilleReelle v(1, hauteur, largeur);
  for (const TCollage& k : collages)
    for (int r = 0; r < etoile.Lignes(); ++r)
      for (int c = 0; c < etoile.Colonnes(); ++c) {
        const int rr = k.Ligne + r, cc = k.Colonne + c;
        if (rr >= 0 && rr < hauteur && cc >= 0 && cc < largeur)
          v(rr, cc) += k.Facteur * etoile(r, c);
      }
  std::mt19937_64 alea(graine);
  std::normal_distribution<double> gauss;
  TPupille p;
  p.Allouer(largeur, hauteur);
  for (int r = 0; r < hauteur; ++r)
    for (int c = 0; c < largeur; ++c) {
      const double e = 400 + 0.05 * c - 0.03 * r + v(r, c);
      p.V(r, c) = 1024 + e + gauss(alea) * std::sqrt(e + 9);
    }
  return p;
}

TPupille Decoupe(const TPupille& cadre, int c0, int r0, int largeur, int hauteur) {
  TPupille p;
  p.Allouer(largeur, hauteur);
  for (int r = 0; r < hauteur; ++r)
    for (int c = 0; c < largeur; ++c) p.V(r, c) = cadre.V(r0 + r, c0 + c);
  return p;
}

// Coefficients (RMS-normalised, nanometres) of the pair's test with the default preferences.
TCoefZernike Coefficients(TPupille intra, TPupille extra,
                          TPreparationPaire* preparation = nullptr) {
  const TPreferences prefs;
  PreparerImage(intra, prefs, false);
  PreparerImage(extra, prefs, true);
  const TCasValidation& cas = EtoilesSimulees().Cas;
  TParametresTest p;
  p.DistanceFocale = cas.Telescope.FocaleMm * 1e6;
  p.RayonInstrument = cas.Telescope.DiametreMm * 5e5;
  p.Defocalisation = cas.Intra.DefocalisationMm * 1e6;
  p.ImageIntra = &intra;
  p.ImageExtra = &extra;
  TSansProgression progression;
  const TJeuZernike jeu = ConstruireJeuZernike(prefs.NPolyZern, prefs.ModePoly);
  const auto test = ReconstruireSimple(p, prefs, jeu, progression);
  TCoefZernike c = test->FrontOnde->Coefficients;
  CoefVersRMS(jeu, c);
  if (preparation) *preparation = test->Preparation;
  return c;
}

double EcartMax(const TCoefZernike& a, const TCoefZernike& b) {
  double e = 0;
  for (int j = 3; j < 22; ++j) e = std::max(e, std::fabs(a[j] - b[j]));
  return e;
}

TEST(ValidationChamp, UneAutreEtoileNeDeplaceAucunCoefficient) {
  const TEtoiles& s = EtoilesSimulees();
  const int l = 600, h = 480, c0 = 170, r0 = 110;  // test star's image at (298, 238)
  const double r = 70;
  const TCoefZernike seule = Coefficients(Cadre(l, h, s.Intra, {{1, c0, r0}}, 1),
                                          Cadre(l, h, s.Extra, {{1, c0 + 30, r0 - 20}}, 2));
  // A fainter star 2.6 pupil radii away in three directions, and a brighter one cut by the
  // frame's border.
  for (const double angle : {0.0, 2.4, 4.4}) {
    const int dc = static_cast<int>(std::lround(2.6 * r * std::cos(angle)));
    const int dr = static_cast<int>(std::lround(2.6 * r * std::sin(angle)));
    const TCoefZernike avec = Coefficients(
        Cadre(l, h, s.Intra, {{1, c0, r0}, {0.4, c0 + dc, r0 + dr}}, 1),
        Cadre(l, h, s.Extra, {{1, c0 + 30, r0 - 20}, {0.4, c0 + 30 - dc, r0 - 20 - dr}}, 2));
    EXPECT_LT(EcartMax(seule, avec), 1.0) << "angle " << angle;
  }
  const TCoefZernike coupee =
      Coefficients(Cadre(l, h, s.Intra, {{1, c0, r0}, {3, l - 100, 150}}, 1),
                   Cadre(l, h, s.Extra, {{1, c0 + 30, r0 - 20}, {3, -150, 200}}, 2));
  EXPECT_LT(EcartMax(seule, coupee), 1.0);
}

TEST(ValidationChamp, LaTailleDuCadreNeDeplaceAucunCoefficient) {
  const TEtoiles& s = EtoilesSimulees();
  // The same frame, whole (1400 × 1000) and cut to 384 × 384 around the star.
  const TPupille intra = Cadre(1400, 1000, s.Intra, {{1, 600, 400}, {0.5, 100, 700}}, 3);
  const TPupille extra = Cadre(1400, 1000, s.Extra, {{1, 610, 390}, {0.7, 1100, 80}}, 4);
  const TCoefZernike grand = Coefficients(intra, extra);
  const TCoefZernike petit =
      Coefficients(Decoupe(intra, 536, 336, 384, 384), Decoupe(extra, 546, 326, 384, 384));
  EXPECT_LT(EcartMax(grand, petit), 0.5);
}

// A camera clips the brightest part of the pupil (3 % of the star's bright samples): those
// samples say nothing of the signal and are kept out of it, and the test counts them. Read as
// they are, the coefficients were off by 6 nm.
TEST(ValidationChamp, PixelsSaturesHorsDuSignal) {
  const TEtoiles& s = EtoilesSimulees();
  TPupille intra = Cadre(400, 400, s.Intra, {{1, 70, 70}}, 5);
  TPupille extra = Cadre(400, 400, s.Extra, {{1, 75, 65}}, 6);
  const TCoefZernike reference = Coefficients(intra, extra);
  const auto plan = intra.Donnees.Plan(0);
  const double haut = *std::max_element(plan.begin(), plan.end());
  std::vector<double> lumiere;
  for (const TPupille* p : {&intra, &extra})
    for (double v : p->Donnees.Plan(0))
      if (v > 0.3 * haut) lumiere.push_back(v);
  std::sort(lumiere.begin(), lumiere.end());
  const double pleine = lumiere[lumiere.size() * 97 / 100];
  // A 16-bit camera whose full scale is that level (its BZERO tells).
  auto ecreter = [&](TPupille p) {
    for (double& v : p.Donnees.Plan(0)) v = std::min(v, pleine);
    p.Infos.Bitpix = 16, p.Infos.BScale = 1, p.Infos.BZero = pleine - 32767;
    return p;
  };
  TPreparationPaire prep;
  const TCoefZernike ecretee = Coefficients(ecreter(intra), ecreter(extra), &prep);
  EXPECT_GT(prep.PixelsSaturesIntra + prep.PixelsSaturesExtra, 300);
  EXPECT_LT(EcartMax(reference, ecretee), 4.5);
  // Clipped beyond use: refused, with the share said.
  const double bas = lumiere[lumiere.size() / 3];
  TPupille noyee = intra;
  for (double& v : noyee.Donnees.Plan(0)) v = std::min(v, bas);
  noyee.Infos.Bitpix = 16, noyee.Infos.BScale = 1, noyee.Infos.BZero = bas - 32767;
  try {
    Coefficients(noyee, extra);
    ADD_FAILURE() << "an image saturated over most of its pupil was used";
  } catch (const ErreurTest& e) {
    EXPECT_NE(std::string(e.what()).find("saturée"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace quelvane::outils
