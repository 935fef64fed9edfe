// quelvane-batch reconstruct as a script runs it, on the demonstration pair.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "files/fits.h"
#include "files/nombres.h"
#include "support/ecriture_fits.h"
#include "support/processus.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::LireFichier;

class BatchReconstruct : public quelvane::essais::TestAvecDossier {
 protected:
  void SetUp() override {
    TestAvecDossier::SetUp();
    Ecrire("Prefs.txt", "");  // default preferences whatever the machine holds
  }
  std::string Paire() const {
    return std::string("reconstruct --intra ") + QUELVANE_SAMPLES + "/etoile-intra.fit --extra " +
           QUELVANE_SAMPLES + "/etoile-extra.fit --prefs " + Chemin("Prefs.txt");
  }
};

TEST_F(BatchReconstruct, PaireDeDemonstration) {
  const auto s =
      LancerBatch(Paire() + " --diameter 200 --focal 1000 --pixel 5.2 --json " + Chemin("r.json") +
                  " --opd " + Chemin("r.opd") + " --zernike " + Chemin("r.txt"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(LireFichier(Chemin("r.json")));
  ASSERT_EQ(j["coefficients_nm"].size(), 42u);
  // The samples were made with Z5 = 25, Z7 = −15, Z9 = 10 and Z11 = 60 nm: within 5 %.
  const auto& c = j["coefficients_nm"];
  EXPECT_NEAR(c[4].get<double>(), 25, 1.25);
  EXPECT_NEAR(c[6].get<double>(), -15, 0.75);
  EXPECT_NEAR(c[8].get<double>(), 10, 0.5);
  EXPECT_NEAR(c[10].get<double>(), 60, 3);
  EXPECT_NEAR(j["parameters"]["defocus_mm"].get<double>(), 3.64, 0.15);
  EXPECT_EQ(j["selection"][3], false);
  EXPECT_GT(j["strehl"].get<double>(), 0.5);
  EXPECT_LT(j["strehl"].get<double>(), j["strehl_max"].get<double>());
  EXPECT_NEAR(j["obstruction"].get<double>(), 0.25, 0.07);
  EXPECT_EQ(j["passes"], 10);

  const std::string opd = LireFichier(Chemin("r.opd"));
  EXPECT_EQ(opd.rfind("555,200\r\n", 0), 0u);
  EXPECT_GT(std::count(opd.begin(), opd.end(), '\n'), 10000);
  const std::string coefs = LireFichier(Chemin("r.txt"));
  EXPECT_EQ(std::count(coefs.begin(), coefs.end(), '\n'), 22);
  EXPECT_EQ(coefs.rfind("1;Piston;", 0), 0u);
}

TEST_F(BatchReconstruct, DefocalisationDonneeEtSortieStandard) {
  const auto s = LancerBatch(Paire() +
                             " --diameter 200 --focal 1000 --defocus 3.64 --iterations 1 "
                             "--source curvature --lambda 633 --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte.substr(s.Texte.find('{')));
  EXPECT_EQ(j["passes"], 1);
  EXPECT_EQ(j["parameters"]["lambda_nm"], 633.0);
  EXPECT_NEAR(j["parameters"]["setup_nm"]["spherical"].get<double>(), 520.833, 1e-3);
}

// Clipped and missing samples are said, in the JSON and the text, with their counts; a
// clean pair says nothing.
TEST_F(BatchReconstruct, PixelsSaturesEtManquantsSignales) {
  quelvane::TFctXY intra;
  ASSERT_TRUE(
      quelvane::ChargerFITS(intra, std::string(QUELVANE_SAMPLES) + "/etoile-intra.fit").Reussi());
  const auto plan = intra.Donnees.Plan(0);
  std::vector<double> tri(plan.begin(), plan.end());
  std::sort(tri.begin(), tri.end());
  const double pleine = tri[tri.size() - 400];  // about 400 samples at full scale
  quelvane::outils::TImageAEcrire f;
  f.Largeur = intra.NX, f.Hauteur = intra.NY;
  // Stored as a camera whose full scale is that level; eight samples BLANK in the background.
  const double zero = pleine - 32767;
  f.Cartes = {{"BZERO", quelvane::FormaterGeneral(zero, 15, '.')}, {"BLANK", "-32768"}};
  for (double v : plan) f.Valeurs.push_back(std::round(std::min(v, pleine) - zero));
  for (int k = 0; k < 8; ++k) f.Valeurs[static_cast<std::size_t>(3 + k)] = -32768;
  ASSERT_TRUE(quelvane::outils::EcrireFITS(Chemin("ecretee.fit"), f));
  const std::string args = std::string(" --extra ") + QUELVANE_SAMPLES +
                           "/etoile-extra.fit --prefs " + Chemin("Prefs.txt") +
                           " --diameter 200 --focal 1000 --pixel 5.2 --iterations 2";
  const auto s = LancerBatch("reconstruct --intra " + Chemin("ecretee.fit") + args + " --json " +
                             Chemin("r.json"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(LireFichier(Chemin("r.json")));
  const auto& p = j["preparation"];
  EXPECT_GT(p["saturated_pixels"]["intra"].get<long>(), 300) << p;
  EXPECT_EQ(p["saturated_pixels"]["extra"], 0);
  EXPECT_EQ(p["missing_samples"]["intra"], 8);
  ASSERT_EQ(p["warnings"].size(), 2u);
  EXPECT_NE(s.Texte.find("Pixels saturés (intra "), std::string::npos) << s.Texte;
  const auto propre = LancerBatch(Paire() +
                                  " --diameter 200 --focal 1000 --pixel 5.2 "
                                  "--iterations 1 --json -");
  ASSERT_EQ(propre.Statut, 0) << propre.Texte;
  const auto jp = nlohmann::json::parse(propre.Texte.substr(propre.Texte.find('{')));
  EXPECT_TRUE(jp["preparation"]["warnings"].empty());
}

// The demonstration test from a script: the sample pair and its instrument, as the windows'
// "Aide" menu opens it.
TEST_F(BatchReconstruct, TestDeDemonstration) {
  const auto s = LancerBatch("demo --iterations 2 --prefs " + Chemin("Prefs.txt") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte.substr(s.Texte.find('{')));
  EXPECT_NEAR(j["coefficients_nm"][10].get<double>(), 60, 4);
  EXPECT_EQ(j["parameters"]["diameter_mm"], 200.0);
}

// Usage errors in French, with the way to the help; never the parser's English.
TEST_F(BatchReconstruct, ErreursDUsageEnFrancais) {
  const std::pair<std::string, std::string> cas[] = {
      {"", "Une commande est nécessaire"},
      {"reconstruct", "Option obligatoire absente : --intra"},
      {"reconstruct --intra a --extra b --diameter x --focal 3", "« x » n'est pas un nombre"},
      {"reconstruct --intra a --extra b --diameter 2 --focal 3 --pixel 3 --defocus 3",
       "ne vont pas ensemble"},
      {"reconstruct --intra a --extra b --diameter 2 --focal 3 --binning 2",
       "--binning demande aussi --pixel"},
  };
  for (const auto& [ligne, attendu] : cas) {
    const auto s = LancerBatch(ligne);
    EXPECT_EQ(s.Statut, 2) << ligne;
    EXPECT_NE(s.Texte.find(attendu), std::string::npos) << s.Texte;
    EXPECT_NE(s.Texte.find("Aide : --help"), std::string::npos) << s.Texte;
    for (const char* anglais : {"Run with", "is required", "Could not", "requires", "excludes"})
      EXPECT_EQ(s.Texte.find(anglais), std::string::npos) << s.Texte;
  }
  const auto aide = LancerBatch("--help");
  EXPECT_NE(aide.Texte.find("Utilisation"), std::string::npos);
  EXPECT_EQ(aide.Texte.find("Print this help"), std::string::npos);
}

TEST_F(BatchReconstruct, EntreesRefusees) {
  quelvane::outils::TImageAEcrire petite;
  petite.Largeur = petite.Hauteur = 64;
  petite.Valeurs.assign(64 * 64, 100);
  for (int i = 20; i < 44; ++i)
    for (int k = 20; k < 44; ++k) petite.Valeurs[i * 64 + k] = 5000;
  ASSERT_TRUE(quelvane::outils::EcrireFITS(Chemin("petite.fit"), petite));
  Ecrire("texte.fit", "pas une image");
  const std::string base = " --diameter 200 --focal 1000 --defocus 3";
  const std::string intra = std::string(" --intra ") + QUELVANE_SAMPLES + "/etoile-intra.fit";
  const std::string prefs = " --prefs " + Chemin("Prefs.txt");
  const std::string cas[] = {
      "reconstruct" + intra + " --extra " + Chemin("petite.fit") + base + prefs,
      "reconstruct" + intra + " --extra " + Chemin("texte.fit") + base + prefs,
      "reconstruct" + intra + " --extra " + Chemin("absente.fit") + base + prefs,
      Paire() + " --diameter 200 --focal 1000",
      Paire() + " --diameter 200 --focal 1000 --defocus 1000",
      Paire() + " --diameter 0 --focal 1000 --defocus 3",
      Paire() + base + " --source artificial=loin",
      Paire() + base + " --iterations 50",
      Paire() + base + " --orientation z",
      Paire() + base + " --pixel 5",
      Paire() + base + " --prefs " + Chemin("absent.txt"),
  };
  for (const auto& c : cas) {
    const auto s = LancerBatch(c);
    EXPECT_EQ(s.Statut, 2) << c << "\n" << s.Texte;
    EXPECT_FALSE(s.Texte.empty()) << c;
  }
  EXPECT_NE(LancerBatch(cas[1]).Texte.find("Format d'image incompatible"), std::string::npos);

  // A refusal of the analysis names the files, not only their roles.
  quelvane::TFctXY echantillon;
  ASSERT_TRUE(
      quelvane::ChargerFITS(echantillon, std::string(QUELVANE_SAMPLES) + "/etoile-intra.fit")
          .Reussi());
  quelvane::outils::TImageAEcrire sombre;  // a twentieth of the light: fluxes too different
  sombre.Largeur = echantillon.NX, sombre.Hauteur = echantillon.NY;
  sombre.Cartes = {{"BZERO", "32768"}};
  for (double v : echantillon.Donnees.Plan(0)) sombre.Valeurs.push_back(v * 0.05 - 32768);
  ASSERT_TRUE(quelvane::outils::EcrireFITS(Chemin("sombre.fit"), sombre));
  const auto s = LancerBatch("reconstruct --intra " + Chemin("sombre.fit") + " --extra " +
                             QUELVANE_SAMPLES + "/etoile-extra.fit" + base + prefs);
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("sombre.fit"), std::string::npos) << s.Texte;
}

}  // namespace
