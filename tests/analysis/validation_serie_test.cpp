// Series of short frames made as a planetary camera records them (each frame through its own
// von Kármán atmosphere, the image moving, photon and read noise, cosmic rays, another star,
// a Bayer mosaic), stacked and reconstructed with the default preferences, against the
// wavefront they were made with. A single frame carries the atmosphere's own aberrations; the
// stack averages them away, and its error bars must cover the true errors.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "analysis/analyse_front.h"
#include "analysis/empilement.h"
#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "support/cas_series.h"
#include "support/simulateur_serie.h"

namespace quelvane::outils {
namespace {

// A 200 mm f/5 Newtonian (obstruction 0.25) with eighteen terms of mixed aberrations, pupil
// images of 45 pixels on a 160 × 160 frame, short exposures of 3,000 ADU over a faint sky.
TSerieSimulee Serie(bool intra, int images, double r0, std::uint64_t graine) {
  TSerieSimulee s;
  s.Telescope.DiametreMm = 200;
  s.Telescope.FocaleMm = 1000;
  s.Telescope.Obstruction = 0.25;
  const std::pair<int, double> termes[] = {{5, 90},   {6, -40},  {7, -60},  {8, 25},   {9, 70},
                                           {10, -30}, {11, 110}, {12, 35},  {13, -20}, {14, 45},
                                           {15, 25},  {16, 30},  {17, -20}, {18, 25},  {19, -15},
                                           {20, 30},  {21, -20}, {22, -35}};
  for (auto [j, v] : termes) s.Telescope.CoefficientsNm[j - 1] = v;
  TCameraSimulee& c = s.Camera;
  c.PixelMicrons = 5.2;
  c.Largeur = c.Hauteur = 160;
  c.DefocalisationMm = 45 * 5.2e-3 * 1000 / 100;
  c.SousPixels = 0;
  c.Plateau = 3000;
  c.Fond = 100;
  c.Biais = 256;
  c.Bruit = true;
  c.BruitLecture = 3;
  s.Intra = intra;
  s.Images = images;
  s.Atmosphere.R0Mm = r0;
  s.Atmosphere.AgitationPixels = 1.5;
  s.Graine = graine;
  return s;
}

struct TResultat {
  TCoefZernike Mesures{}, Vrais{}, Ecarts{};  // RMS-normalised nanometres
  double ErreurRMS = 0;                       // over Z5–Z22
};

TResultat Tester(const TSerieSimulee& si, const TSerieSimulee& se) {
  const TSerieSimuleeEnMemoire mi(si), me(se);
  TSansProgression p;
  const std::shared_ptr<TPupille> a = ImageEmpilee(Empiler(mi, {}, p, "intra-focale"));
  const std::shared_ptr<TPupille> b = ImageEmpilee(Empiler(me, {}, p, "extra-focale"));
  const TPreferences prefs;
  PreparerImage(*a, prefs, false);
  PreparerImage(*b, prefs, true);
  TParametresTest param;
  param.DistanceFocale = si.Telescope.FocaleMm * 1e6;
  param.RayonInstrument = si.Telescope.DiametreMm * 5e5;
  param.Defocalisation = si.Camera.DefocalisationMm * 1e6;
  param.ImageIntra = a.get();
  param.ImageExtra = b.get();
  const TJeuZernike jeu = ConstruireJeuZernike(prefs.NPolyZern, prefs.ModePoly);
  const auto test = ReconstruireSimple(param, prefs, jeu, p);
  TResultat r;
  r.Mesures = test->FrontOnde->Coefficients;
  const TIncertitudes u = Incertitudes(*test->FrontOnde, jeu);
  EXPECT_EQ(u.Methode, "blocs d'images");
  r.Ecarts = u.Coefficients;
  r.Vrais = si.Telescope.CoefficientsNm;
  CoefVersRMS(jeu, r.Mesures);
  CoefVersRMS(jeu, r.Ecarts);
  CoefVersRMS(jeu, r.Vrais);
  for (int j = 4; j < 22; ++j) r.ErreurRMS += std::pow(r.Mesures[j] - r.Vrais[j], 2);
  r.ErreurRMS = std::sqrt(r.ErreurRMS);
  return r;
}

TEST(ValidationSerie, PilesDansLesCiblesEtBarresDErreurHonnetes) {
  const TPreferences prefs;
  int dedans = 0, total = 0;
  for (const TCasSerie& cas : MatriceSeries(false)) {
    const TResultatSerie r = EvaluerSerie(cas, prefs);
    ASSERT_EQ(r.Erreur, "") << cas.Nom;
    EXPECT_EQ(r.Methode, "blocs d'images");
    std::printf("%s : erreur %.2f nm, %d sur 18 dans ±1σ\n", cas.Nom.c_str(), r.ErreurRMS,
                r.DansUnSigma);
    EXPECT_LE(r.ErreurRMS, 6) << cas.Nom;
    EXPECT_NEAR(r.RMSMesure, r.RMSVrai, 0.1 * r.RMSVrai) << cas.Nom;
    dedans += r.DansUnSigma;
    total += 18;
  }
  // About two thirds within ±1σ, never fewer than half; not all of them either (then the bars
  // would be too wide to tell a real term from noise).
  EXPECT_GE(2 * dedans, total) << dedans << " sur " << total;
  EXPECT_LE(dedans, total * 0.9) << dedans << " sur " << total;
}

TEST(ValidationSerie, EtoileDuChampMosaiqueEtRayonsCosmiques) {
  TSerieSimulee si = Serie(true, 24, 150, 31), se = Serie(false, 24, 150, 32);
  for (TSerieSimulee* s : {&si, &se}) {
    s->Mosaique = true;
    s->RayonsCosmiques = 2;
  }
  // The test star left of centre, another one 2.8 radii to its right, cut by the frame.
  si.Camera.DecalageX = -22;
  se.Camera.DecalageX = -18;
  const TResultat seule = Tester(si, se);
  EXPECT_LE(seule.ErreurRMS, 6);
  si.AutresEtoiles = {{126, 8, 0.5}};
  se.AutresEtoiles = {{126, -5, 0.5}};
  const TResultat avec = Tester(si, se);
  for (int j = 3; j < 22; ++j) EXPECT_NEAR(avec.Mesures[j], seule.Mesures[j], 1.0) << "Z" << j + 1;
}

}  // namespace
}  // namespace quelvane::outils
