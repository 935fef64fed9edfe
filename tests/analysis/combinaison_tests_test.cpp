// Tests combined: turning, averaging with the stand told apart, differences, trends — from
// star images simulated as a camera records them.

#include "analysis/combinaison_tests.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/analyse_front.h"
#include "analysis/description_test.h"
#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "core/ajustement.h"
#include "support/simulateur_etoile.h"

namespace quelvane {
namespace {

TPupille FrontSynthetique(const TCoefZernike& c, const TJeuZernike& jeu) {
  TPupille f;
  f.Allouer(120, 120);
  f.CentreX = f.CentreY = 60.5;
  f.RayonPupille = 55;
  f.Obstruction = 0.25;
  f.Lambda = 555;
  f.RayonPhysique = 1e8;
  f.AxesPupille();
  f.Coefficients = c;
  SelectionComplete(f.Selection);
  SynthetiserFront(f, jeu);
  f.OrdresSup = true;
  return f;
}

TEST(Combinaison, TournerLaCarteOuLesCoefficientsRevientAuMeme) {
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TCoefZernike c{};
  c[4] = 30, c[5] = -12, c[6] = 20, c[8] = 15, c[10] = 25, c[11] = 8, c[18] = 6;
  const TPupille f = FrontSynthetique(c, jeu);
  for (double angle : {30.0, 90.0, -45.0}) {
    TPupille g = FrontTourne(f, angle, f, jeu);
    AjusterZernike(g, jeu);
    const TCoefZernike attendu = TournerCoefficients(c, angle, 22);
    for (int j = 4; j < 22; ++j) EXPECT_NEAR(g.Coefficients[j], attendu[j], 0.3) << j;
  }
  // A quarter turn of astigmatism changes its sign; spherical does not turn.
  const TCoefZernike q = TournerCoefficients(c, 90, 22);
  EXPECT_NEAR(q[4], -30, 1e-9);
  EXPECT_NEAR(q[5], 12, 1e-9);
  EXPECT_EQ(q[10], 25);
  // Counter-clockwise as displayed: the axis of Z5 (along x) goes to 45° up-right
  // for a 45° turn, where the map rises.
  TCoefZernike a{};
  a[4] = 10;
  const TPupille g = FrontTourne(FrontSynthetique(a, jeu), 45, FrontSynthetique(a, jeu), jeu);
  const int haut = 60 - 30, droite = 60 + 30, gauche = 60 - 30;  // rows grow downward
  EXPECT_GT(g.V(haut, droite), 0);
  EXPECT_LT(g.V(haut, gauche), 0);
}

// A test of the simulated mirror turned by `angle` on a stand that adds its own terms.
TTestEnregistre Tester(const TCoefZernike& miroir, const TCoefZernike& banc, double angle,
                       std::uint64_t graine, double lambda = 555) {
  outils::TTelescopeSimule t;
  t.Obstruction = 0.2;
  const TCoefZernike tourne = TournerCoefficients(miroir, angle, 22);
  for (int j = 0; j < NMaxZern; ++j) t.CoefficientsNm[j] = tourne[j] + banc[j];
  outils::TCameraSimulee c;
  c.Largeur = c.Hauteur = 160;
  c.DefocalisationMm = 2.5;
  c.SousPixels = 2;
  c.Bruit = true;
  c.Graine = graine;
  TPreferences prefs;
  prefs.LambdaRef = lambda;
  TPupille intra, extra;
  for (auto [im, in] : {std::pair{&intra, true}, std::pair{&extra, false}}) {
    im->Allouer(c.Largeur, c.Hauteur);
    im->Donnees = outils::SimulerImage(t, c, outils::SpectreLarge(), in);
    EXPECT_TRUE(PreparerImage(*im, prefs, !in));
  }
  TParametresTest p;
  p.DistanceFocale = t.FocaleMm * 1e6;
  p.RayonInstrument = t.DiametreMm * 5e5;
  p.Defocalisation = c.DefocalisationMm * 1e6;
  p.RotationOptique = angle;
  p.ImageIntra = &intra;
  p.ImageExtra = &extra;
  TSansProgression progression;
  const auto test =
      ReconstruireSimple(p, prefs, ConstruireJeuZernike(22, PolyMahajan), progression);
  return DecrireTest(*test->FrontOnde, p, prefs, test->Preparation, {}, "");
}

TEST(Combinaison, MiroirTourneSurUnBancAstigmateLesDeuxRetrouves) {
  TCoefZernike miroir{}, banc{};
  miroir[4] = 40, miroir[5] = -10, miroir[10] = 30;  // astigmatism and spherical
  banc[4] = 20, banc[5] = 15;                        // the stand's own astigmatism
  const std::vector<TTestEnregistre> tests = {Tester(miroir, banc, 0, 1),
                                              Tester(miroir, banc, 90, 2)};
  const TTestEnregistre m = MoyenneDesTests(tests, {"a.qvt", "b.qvt"}, true);
  // Within a single test's accuracy (a few nanometres).
  EXPECT_NEAR(m.Front.Coefficients[4], 40, 4);
  EXPECT_NEAR(m.Front.Coefficients[5], -10, 4);
  EXPECT_NEAR(m.Front.Coefficients[10], 30, 4);
  double z5 = 0, z6 = 0;
  for (const TTermeBanc& b : m.TermesBanc) {
    if (b.J == 5) z5 = b.ValeurNm;
    if (b.J == 6) z6 = b.ValeurNm;
  }
  EXPECT_NEAR(z5, 20, 4);
  EXPECT_NEAR(z6, 15, 4);
  EXPECT_NE(m.NoteSeparation.find("m = 2"), std::string::npos);
  ASSERT_EQ(m.Composition.size(), 2u);
  EXPECT_EQ(m.Composition[1].RotationDeg, 90);
  EXPECT_EQ(m.Nature, "moyenne");
  EXPECT_TRUE(m.Front.Variantes);  // each test's ± carried through

  // Without separation, a quarter turn apart, the stand's astigmatism still cancels in the
  // average (it enters once with each sign): the optic's remains.
  const TTestEnregistre brut = MoyenneDesTests(tests, {"a.qvt", "b.qvt"}, false);
  EXPECT_TRUE(brut.TermesBanc.empty());
  EXPECT_NEAR(brut.Front.Coefficients[4], 40, 4);
  // Its ± is that of a mean of two independent tests: each test's, over √2 (summed over the
  // terms, the draws being few).
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  const TIncertitudes ua = Incertitudes(tests[0].Front, jeu),
                      ub = Incertitudes(tests[1].Front, jeu), um = Incertitudes(brut.Front, jeu);
  ASSERT_TRUE(ua.Connues && ub.Connues && um.Connues);
  double attendu = 0, obtenu = 0;
  for (int j = 4; j < 22; ++j) {
    attendu +=
        (ua.Coefficients[j] * ua.Coefficients[j] + ub.Coefficients[j] * ub.Coefficients[j]) / 4;
    obtenu += um.Coefficients[j] * um.Coefficients[j];
  }
  EXPECT_GT(obtenu / attendu, 0.5);
  EXPECT_LT(obtenu / attendu, 2.0);
  // Half a turn apart, astigmatism cannot be told from the stand's: said, not guessed.
  const std::vector<TTestEnregistre> demiTour = {tests[0], Tester(miroir, banc, 180, 3)};
  const TTestEnregistre d = MoyenneDesTests(demiTour, {"a.qvt", "c.qvt"}, true);
  EXPECT_NE(d.NoteSeparation.find("Non séparables"), std::string::npos);
  for (const TTermeBanc& b : d.TermesBanc) EXPECT_NE(b.J, 5);
  // One angle only: nothing to separate.
  EXPECT_THROW(MoyenneDesTests({tests[0], tests[0]}, {"a", "a"}, true), ErreurCombinaison);
  EXPECT_THROW(MoyenneDesTests({tests[0]}, {"a"}, false), ErreurCombinaison);
}

TEST(Combinaison, DifferenceDUneOptiqueNulleAuxErreursPres) {
  TCoefZernike miroir{};
  miroir[4] = 25, miroir[10] = 35;
  const TTestEnregistre a = Tester(miroir, {}, 0, 11), b = Tester(miroir, {}, 0, 12);
  const TTestEnregistre d = DifferenceDesTests(a, b, "a", "b");
  const TIncertitudes u = Incertitudes(d.Front, JeuDuTest(d));
  ASSERT_TRUE(u.Connues);
  for (int j = 4; j < 22; ++j)
    EXPECT_LE(std::abs(d.Front.Coefficients[j]), 3 * u.Coefficients[j] + 0.5) << "Z" << j + 1;
  // The same optic turned: a − b of its two orientations is zero too, once each is undone.
  const TTestEnregistre c = Tester(miroir, {}, 90, 13);
  const TTestEnregistre e = DifferenceDesTests(a, c, "a", "c");
  EXPECT_NEAR(e.Front.Coefficients[4], 0, 3);
  // A change of the optic shows as itself.
  TCoefZernike retouche = miroir;
  retouche[10] = 20;
  const TTestEnregistre f = DifferenceDesTests(Tester(retouche, {}, 0, 14), a, "f", "a");
  EXPECT_NEAR(f.Front.Coefficients[10], -15, 3);
  // Another wavelength is another test.
  const TTestEnregistre rouge = Tester(miroir, {}, 0, 15, 630);
  try {
    DifferenceDesTests(a, rouge, "a", "rouge");
    ADD_FAILURE();
  } catch (const ErreurCombinaison& e) {
    EXPECT_NE(std::string(e.what()).find("longueur d'onde"), std::string::npos);
  }
}

TEST(Combinaison, TendanceDansLOrdreDesHeuresEtEnCSV) {
  double s = 0;
  ASSERT_TRUE(SecondesISO("1970-01-02T00:00:01", s));
  EXPECT_EQ(s, 86401);
  ASSERT_TRUE(SecondesISO("2026-12-08T21:03:11.5Z", s));
  EXPECT_FALSE(SecondesISO("08/12/2026", s));
  EXPECT_FALSE(SecondesISO("2026-13-08", s));
  EXPECT_FALSE(SecondesISO("2026-12-08T21:03", s));

  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  std::vector<TTestEnregistre> tests(3);
  const char* dates[] = {"2026-12-08T23:30:00", "", "2026-12-08T21:00:00"};
  for (int i = 0; i < 3; ++i) {
    TCoefZernike c{};
    c[10] = 10.0 * (i + 1);
    tests[i].NbTermes = 22;
    tests[i].DateObs = dates[i];
    tests[i].Front = FrontSynthetique(c, jeu);
  }
  const auto points = Tendance(tests, {"a", "b", "c"});
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].Fichier, "c");
  EXPECT_EQ(points[1].Fichier, "a");
  EXPECT_NEAR(points[1].Heures, 2.5, 1e-9);
  EXPECT_EQ(points[2].Fichier, "b");  // no time: last
  EXPECT_FALSE(points[2].DateConnue);
  EXPECT_NEAR(points[0].CoefficientsRMS[10], 30 / jeu.FacteurNorm[10], 1e-6);  // RMS-normalised
  const std::string csv = TexteCSVTendance(points, {11});
  EXPECT_EQ(csv.substr(0, csv.find('\r')),
            "date_obs,heures,fichier,rms_nm,rms_se_nm,ptv_nm,ptv_se_nm,strehl,strehl_se,"
            "Z11_rms_nm,Z11_se_nm");
  EXPECT_NE(csv.find("2026-12-08T21:00:00,0,c,"), std::string::npos);
}

}  // namespace
}  // namespace quelvane
