// quelvane-batch on series: videos and lists of files for each side, the pointed star, the
// stack written as FITS, and what is refused.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "files/fits.h"
#include "support/ecriture_fits.h"
#include "support/ecriture_ser.h"
#include "support/processus.h"
#include "support/simulateur_serie.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::LireFichier;
using namespace quelvane::outils;

// Sixteen short frames a side through the atmosphere: a 200 mm f/5 mirror with 60 nm of
// spherical aberration and 40 nm of astigmatism, pupil images of 35 pixels.
TSerieSimulee Serie(bool intra) {
  TSerieSimulee s;
  s.Telescope.Obstruction = 0.25;
  s.Telescope.CoefficientsNm[10] = 60;
  s.Telescope.CoefficientsNm[4] = 40;
  TCameraSimulee& c = s.Camera;
  c.Largeur = c.Hauteur = 128;
  c.DefocalisationMm = 35 * 5.2e-3 * 1000 / 100;
  c.SousPixels = 0;
  c.Plateau = 4000;
  c.Fond = 100;
  c.Biais = 256;
  c.Bruit = true;
  s.Intra = intra;
  s.Images = 16;
  s.Atmosphere.R0Mm = 150;
  s.Atmosphere.AgitationPixels = 1;
  s.Graine = intra ? 3 : 4;
  return s;
}

class BatchSerie : public quelvane::essais::TestAvecDossier {
 protected:
  void SetUp() override {
    TestAvecDossier::SetUp();
    Ecrire("Prefs.txt", "");
  }
  std::string Video(const std::string& nom, const TSerieSimulee& s, int annoncees = -1) {
    TVideoAEcrire v;
    v.Largeur = s.Camera.Largeur, v.Hauteur = s.Camera.Hauteur, v.Profondeur = 16;
    v.ImagesAnnoncees = annoncees;
    for (int k = 0; k < s.Images; ++k) v.Images.push_back(EnSeizeBits(SimulerImageSerie(s, k)));
    EXPECT_TRUE(EcrireSER(Chemin(nom), v));
    return Chemin(nom);
  }
  std::string Options() const {
    return " --diameter 200 --focal 1000 --defocus 1.82 --prefs " + Chemin("Prefs.txt");
  }
};

TEST_F(BatchSerie, VideosDesDeuxCotesAvecBarresDErreur) {
  const std::string a = Video("intra.ser", Serie(true)), b = Video("extra.ser", Serie(false));
  const auto s = LancerBatch("reconstruct --intra " + a + " --extra " + b + Options() +
                             " --keep 90 --json " + Chemin("r.json"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NE(s.Texte.find("images gardées sur 16"), std::string::npos) << s.Texte;
  EXPECT_NE(s.Texte.find(" ± "), std::string::npos) << s.Texte;
  const auto j = nlohmann::json::parse(LireFichier(Chemin("r.json")));
  EXPECT_EQ(j["frames"]["intra"]["read"], 16);
  EXPECT_EQ(j["frames"]["intra"]["kept"], 15);  // 90 %
  EXPECT_EQ(j["frames"]["extra"]["frames"].size(), 16u);
  EXPECT_EQ(j["uncertainty"]["method"], "blocs d'images");
  const double z11 = j["coefficients_nm"][10].get<double>();
  const double se = j["coefficients_se_nm"][10].get<double>();
  EXPECT_NEAR(z11, 60, 8);
  EXPECT_GT(se, 0);
  EXPECT_LT(se, 5);
  EXPECT_GT(j["rms_se_nm"].get<double>(), 0);
}

TEST_F(BatchSerie, EmpilementEnFITSAvecSonEnTete) {
  // A cube of frames and two single frames with their exposure: one series of five frames.
  const TSerieSimulee s = Serie(true);
  TImageAEcrire cube, un, deux;
  for (TImageAEcrire* im : {&cube, &un, &deux}) {
    im->Bitpix = -32;
    im->Largeur = im->Hauteur = 128;
    im->Cartes = {{"EXPTIME", "0.02"}, {"TELESCOP", "'Newton 200'"}};
  }
  cube.Plans = 4;  // three planes would be colours; any other count, frames
  auto ajouter = [&](TImageAEcrire& im, int k) {
    const quelvane::TGrilleReelle g = SimulerImageSerie(s, k);
    im.Valeurs.insert(im.Valeurs.end(), g.Plan(0).begin(), g.Plan(0).end());
  };
  for (int k = 0; k < 4; ++k) ajouter(cube, k);
  ajouter(un, 5);
  ajouter(deux, 6);
  ASSERT_TRUE(EcrireFITS(Chemin("cube.fits"), cube));
  ASSERT_TRUE(EcrireFITS(Chemin("un.fit"), un));
  ASSERT_TRUE(EcrireFITS(Chemin("deux.fit"), deux));
  const auto r = LancerBatch("stack --in " + Chemin("cube.fits") + " " + Chemin("un.fit") + " " +
                             Chemin("deux.fit") + " --keep 100 --out " + Chemin("pile.fits") +
                             " --json " + Chemin("pile.json") + " --prefs " + Chemin("Prefs.txt"));
  ASSERT_EQ(r.Statut, 0) << r.Texte;
  quelvane::TFctXY pile;
  ASSERT_TRUE(quelvane::ChargerFITS(pile, Chemin("pile.fits")).Reussi());
  EXPECT_NEAR(pile.Infos.PoseSecondes, 6 * 0.02, 1e-9);
  EXPECT_EQ(pile.Infos.Telescope, "Newton 200");
  EXPECT_GT(pile.NX, 100);
  const auto j = nlohmann::json::parse(LireFichier(Chemin("pile.json")));
  EXPECT_EQ(j["read"], 6);
  EXPECT_EQ(j["kept"], 6);
  const std::string entete = LireFichier(Chemin("pile.fits")).substr(0, 2880);
  EXPECT_NE(entete.find("NCOMBINE=                    6"), std::string::npos);
}

TEST_F(BatchSerie, CeQuiEstRefuse) {
  const std::string bonne = Video("bonne.ser", Serie(true));
  const std::string vide = [&] {
    TSerieSimulee s = Serie(true);
    s.Images = 0;
    return Video("vide.ser", s);
  }();
  auto refus = [&](const std::string& arguments, const std::string& mot) {
    const auto s = LancerBatch(arguments);
    EXPECT_EQ(s.Statut, 2) << arguments << "\n" << s.Texte;
    EXPECT_NE(s.Texte.find(mot), std::string::npos) << s.Texte;
  };
  refus("reconstruct --intra " + vide + " --extra " + bonne + Options(), "vide.ser");
  refus("reconstruct --intra " + bonne + " --extra " + bonne + Options() + " --threads 0",
        "--threads : de 1 à");
  refus("reconstruct --intra " + bonne + " --extra " + bonne + Options() + " --keep 0",
        "--keep : de 1 à 100");
  refus("reconstruct --intra " + bonne + " --extra " + bonne + Options() + " --star abc",
        "--star : X,Y attendus");
  refus("reconstruct --intra " + bonne + " --extra " + bonne + Options() + " --star 3,3",
        "Aucune image de la série intra-focale");
  refus("stack --in " + bonne + " --out " + Chemin("absent/pile.fits"), "Dossier introuvable");
  // A video announcing more frames than it holds: the frames there are, and it says so.
  const std::string courte = Video("courte.ser", Serie(true), 20);
  const auto s = LancerBatch("stack --in " + courte + " --out " + Chemin("p.fits") + " --prefs " +
                             Chemin("Prefs.txt"));
  EXPECT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NE(s.Texte.find("16 images lues sur 20 annoncées"), std::string::npos) << s.Texte;
}

}  // namespace
