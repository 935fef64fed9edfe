// quelvane-batch interferogram and foucault as a script runs them.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "files/jpeg.h"
#include "support/processus.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::LireFichier;

class BatchSimulation : public quelvane::essais::TestAvecDossier {
 protected:
  void SetUp() override {
    TestAvecDossier::SetUp();
    Ecrire("Prefs.txt", "");
    const auto s = LancerBatch(std::string("reconstruct --intra ") + QUELVANE_SAMPLES +
                               "/etoile-intra.fit --extra " + QUELVANE_SAMPLES +
                               "/etoile-extra.fit --diameter 200 --focal 1000 --pixel 5.2 "
                               "--iterations 2 --prefs " +
                               Chemin("Prefs.txt") + " --opd " + Chemin("front.opd"));
    ASSERT_EQ(s.Statut, 0) << s.Texte;
  }
  std::string Depuis() const {
    return " --wavefront " + Chemin("front.opd") + " --prefs " + Chemin("Prefs.txt");
  }
};

TEST_F(BatchSimulation, InterferogrammeEtSerieDeFoucaultgrammes) {
  auto s = LancerBatch("interferogram" + Depuis() + " --direction 45 --fringes 6 --out " +
                       Chemin("i.jpg") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte);
  EXPECT_EQ(j["pictures"][0]["angle_deg"], 45);
  const quelvane::TImageJPEG im = quelvane::LireJPEG(Chemin("i.jpg"));
  ASSERT_TRUE(im.Reussi()) << im.Erreur;
  EXPECT_EQ(im.Largeur, j["pictures"][0]["width"]);

  s = LancerBatch("foucault" + Depuis() + " --series 45 --out " + Chemin("g.jpg"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  for (const char* n : {"g135.jpg", "g90.jpg", "g45.jpg", "g0.jpg"})
    EXPECT_TRUE(quelvane::LireJPEG(Chemin(n)).Reussi()) << n;
}

TEST_F(BatchSimulation, Refus) {
  Ecrire("zero.txt", "LambdaInterfero=0\r\n");
  auto s = LancerBatch("interferogram --wavefront " + Chemin("front.opd") + " --prefs " +
                       Chemin("zero.txt") + " --out " + Chemin("i.jpg"));
  // A wavelength of 0 is refused by the preferences, which say so and keep 555 nm.
  EXPECT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NE(s.Texte.find("LambdaInterfero=0"), std::string::npos) << s.Texte;
  Ecrire("mauvais.opd", "rien\r\n");
  s = LancerBatch("foucault --wavefront " + Chemin("mauvais.opd") + " --out " + Chemin("g.jpg"));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("OPD"), std::string::npos) << s.Texte;
  EXPECT_FALSE(std::filesystem::exists(Chemin("g.jpg")));
  s = LancerBatch("foucault" + Depuis());  // no picture asked for
  EXPECT_EQ(s.Statut, 2);
}

}  // namespace

namespace {

TEST_F(BatchSimulation, PSFEtSesCourbes) {
  const auto s = LancerBatch("psf" + Depuis() + " --focal 1000 --out " + Chemin("p.jpg") +
                             " --log --csv " + Chemin("p.csv") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte);
  // The peak ratio follows the RMS Strehl for a small aberration.
  EXPECT_NEAR(j["peak_ratio"].get<double>(), j["strehl_rms"].get<double>(), 0.02);
  EXPECT_GT(j["encircled_energy"]["airy_2"].get<double>(), j["encircled_energy"]["airy_1"]);
  EXPECT_NEAR(j["cutoff_cycles_per_mm"].get<double>(), 200 / (555e-6 * 1000), 1e-6);
  EXPECT_EQ(j["mtf"][0]["mtf"], 1.0);
  EXPECT_TRUE(quelvane::LireJPEG(Chemin("p.jpg")).Reussi());
  const std::string csv = LireFichier(Chemin("p.csv"));
  EXPECT_EQ(csv.rfind("curve,x,measured,perfect\r\n", 0), 0u);
  EXPECT_NE(csv.find("encircled_energy,"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(BatchSimulation, ProfilMeridienEtTermesDeSeidel) {
  auto s = LancerBatch("profile" + Depuis() + " --azimuth 90 --out " + Chemin("m.csv"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const std::string csv = LireFichier(Chemin("m.csv"));
  EXPECT_EQ(csv.rfind("segment,x_mm,opd_nm\r\n", 0), 0u);
  // The demonstration mirror is obstructed: two segments, none across the hole.
  EXPECT_NE(csv.find("\r\n2,"), std::string::npos);
  EXPECT_EQ(csv.find("\r\n3,"), std::string::npos);
  s = LancerBatch("profile" + Depuis() + " --azimuth 90 --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto p = nlohmann::json::parse(s.Texte);
  ASSERT_EQ(p["segments"].size(), 2u);
  // The two sides of the hole run outwards from either edge of the obstruction.
  EXPECT_LT(p["segments"][0][0]["x"].get<double>(), p["segments"][1][0]["x"].get<double>());
  s = LancerBatch(std::string("reconstruct --intra ") + QUELVANE_SAMPLES +
                  "/etoile-intra.fit --extra " + QUELVANE_SAMPLES +
                  "/etoile-extra.fit --diameter 200 --focal 1000 --pixel 5.2 --iterations 2 "
                  "--prefs " +
                  Chemin("Prefs.txt") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte);
  ASSERT_EQ(j["seidel"].size(), 6u);
  EXPECT_EQ(j["seidel"][5]["name"], "Sphéricité");
  EXPECT_GT(j["seidel"][5]["value_nm"].get<double>(), 0);  // under-corrected: positive Z11
  EXPECT_TRUE(j["seidel"][3].contains("orientation_deg"));
}

}  // namespace

namespace {

class BatchRapport : public quelvane::essais::TestAvecDossier {};

TEST_F(BatchRapport, PageEtImagesPuisRefusSansDossier) {
  Ecrire("Prefs.txt", "");
  const std::string paire = std::string(" --intra ") + QUELVANE_SAMPLES +
                            "/etoile-intra.fit --extra " + QUELVANE_SAMPLES +
                            "/etoile-extra.fit --diameter 200 --focal 1000 --pixel 5.2 "
                            "--iterations 2 --prefs " +
                            Chemin("Prefs.txt");
  std::filesystem::create_directory(Chemin("nuit"));
  auto s = LancerBatch("report" + paire + " --out " + Chemin("nuit") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte);
  const std::string page = LireFichier(Chemin("nuit/rapport.html"));
  // Every picture the page names is there beside it, and the page states the JSON's figures.
  ASSERT_FALSE(j["pictures"].empty());
  for (const auto& nom : j["pictures"]) {
    const std::string n = nom.get<std::string>();
    EXPECT_TRUE(page.find("src=" + n + ">") != std::string::npos ||
                page.find("src=\"" + n + "\"") != std::string::npos)
        << n;
    EXPECT_TRUE(quelvane::LireJPEG(Chemin("nuit/" + n)).Reussi()) << n;
  }
  EXPECT_GT(j["rms_nm"].get<double>(), 0);
  EXPECT_GT(j["strehl"].get<double>(), 0.5);
  char strehl[32];
  std::snprintf(strehl, sizeof strehl, "S = %.2f", j["strehl"].get<double>());
  EXPECT_NE(page.find(strehl), std::string::npos) << strehl;

  s = LancerBatch("report" + paire + " --out " + Chemin("absent"));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("Dossier introuvable"), std::string::npos) << s.Texte;
  EXPECT_FALSE(std::filesystem::exists(Chemin("absent")));
}

}  // namespace
