// Test files from the command line: written by reconstruct, read by the simulations,
// averaged, subtracted, followed over time, and made by watching a folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/processus.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::LireFichier;

class BatchTests : public quelvane::essais::TestAvecDossier {
 protected:
  void SetUp() override {
    TestAvecDossier::SetUp();
    Ecrire("Prefs.txt", "");
    for (const char* angle : {"0", "90"}) {
      const auto s = LancerBatch(Reconstruire() + " --rotation " + angle + " --test " +
                                 Chemin(std::string("t") + angle + ".qvt") + " --json " +
                                 Chemin(std::string("t") + angle + ".json"));
      ASSERT_EQ(s.Statut, 0) << s.Texte;
    }
  }
  std::string Reconstruire() const {
    return std::string("reconstruct --intra ") + QUELVANE_SAMPLES + "/etoile-intra.fit --extra " +
           QUELVANE_SAMPLES + "/etoile-extra.fit --diameter 200 --focal 1000 --pixel 5.2 --prefs " +
           Chemin("Prefs.txt");
  }
};

TEST_F(BatchTests, EnregistreRelueMoyenneDifferenceTendance) {
  const auto test = nlohmann::json::parse(LireFichier(Chemin("t90.qvt")));
  EXPECT_EQ(test["format"], "quelvane-test");
  EXPECT_EQ(test["rotation_deg"], 90.0);
  ASSERT_EQ(test["sources"].size(), 2u);
  EXPECT_EQ(test["sources"][0]["sha256"].get<std::string>().size(), 64u);
  EXPECT_FALSE(test["date_obs"].get<std::string>().empty());
  const auto recon = nlohmann::json::parse(LireFichier(Chemin("t0.json")));

  // A simulation from the test file gives the figures of the reconstruction itself.
  auto s = LancerBatch("psf --wavefront " + Chemin("t0.qvt") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NEAR(nlohmann::json::parse(s.Texte)["strehl_rms"].get<double>(),
              recon["strehl_rms"].get<double>(), 1e-12);

  // The same images at two angles: everything not of revolution stayed with the stand.
  s = LancerBatch("average " + Chemin("t0.qvt") + " " + Chemin("t90.qvt") + " --out " +
                  Chemin("moyenne.qvt") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  auto j = nlohmann::json::parse(s.Texte);
  ASSERT_EQ(j["tests"].size(), 2u);
  EXPECT_EQ(j["tests"][1]["rotation_deg"], 90.0);
  bool astigmatisme = false;
  for (const auto& b : j["stand_terms"])
    if (b["j"] == 5) {
      astigmatisme = true;
      EXPECT_NEAR(b["value_nm"].get<double>(), recon["coefficients_nm"][4].get<double>(), 0.5);
    }
  EXPECT_TRUE(astigmatisme);
  EXPECT_NEAR(j["coefficients_nm"][10].get<double>(), recon["coefficients_nm"][10].get<double>(),
              0.5);
  EXPECT_TRUE(std::filesystem::exists(Chemin("moyenne.qvt")));

  // A test minus itself: zero.
  s = LancerBatch("difference " + Chemin("t0.qvt") + " " + Chemin("t0.qvt") + " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  j = nlohmann::json::parse(s.Texte);
  EXPECT_NEAR(j["rms_nm"].get<double>(), 0, 1e-9);

  s = LancerBatch("trend " + Chemin("t0.qvt") + " " + Chemin("t90.qvt") + " --terms 5,11 --csv " +
                  Chemin("nuit.csv"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const std::string csv = LireFichier(Chemin("nuit.csv"));
  EXPECT_EQ(csv.substr(0, csv.find('\r')),
            "date_obs,heures,fichier,rms_nm,rms_se_nm,ptv_nm,ptv_se_nm,strehl,strehl_se,"
            "Z5_rms_nm,Z5_se_nm,Z11_rms_nm,Z11_se_nm");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);

  // The report of the average names its tests, their angles and the stand's terms; a trend
  // becomes its table.
  std::filesystem::create_directory(Chemin("rapport"));
  s = LancerBatch("report --test " + Chemin("moyenne.qvt") + " --trend " + Chemin("t0.qvt") + " " +
                  Chemin("t90.qvt") + " --out " + Chemin("rapport"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const std::string page = LireFichier(Chemin("rapport/rapport.html"));
  for (const char* attendu :
       {"Moyenne de 2 tests", "t90.qvt", "90.0&deg;", "Termes du banc", "volution des tests"})
    EXPECT_NE(page.find(attendu), std::string::npos) << attendu;
}

TEST_F(BatchTests, FichiersDeTestRefuses) {
  // Cut short: refused, and the output of an earlier run is left alone.
  const std::string texte = LireFichier(Chemin("t0.qvt"));
  Ecrire("coupe.qvt", texte.substr(0, texte.size() / 2));
  Ecrire("ancien.json", "{}");
  auto s = LancerBatch("average " + Chemin("t0.qvt") + " " + Chemin("coupe.qvt") + " --json " +
                       Chemin("ancien.json"));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("coupé"), std::string::npos) << s.Texte;
  EXPECT_EQ(LireFichier(Chemin("ancien.json")), "{}");
  s = LancerBatch("psf --wavefront " + Chemin("coupe.qvt") + " --json -");
  EXPECT_EQ(s.Statut, 2) << s.Texte;
  // One angle only, separation asked: said, with what to do.
  s = LancerBatch("average " + Chemin("t0.qvt") + " " + Chemin("t0.qvt"));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("tournez l'optique"), std::string::npos) << s.Texte;
  s = LancerBatch("difference " + Chemin("t0.qvt"));
  EXPECT_EQ(s.Statut, 2);
  s = LancerBatch(Reconstruire() + " --rotation 1e9");
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("--rotation"), std::string::npos) << s.Texte;
}

TEST_F(BatchTests, DossierSurveilleUnePaireDevientUnTest) {
  const std::string d = Chemin("capture");
  std::filesystem::create_directory(d);
  std::filesystem::copy_file(std::string(QUELVANE_SAMPLES) + "/etoile-intra.fit",
                             d + "/M42_intra_01.fit");
  std::filesystem::copy_file(std::string(QUELVANE_SAMPLES) + "/etoile-extra.fit",
                             d + "/M42_extra_01.fit");
  const auto s = LancerBatch("watch " + d + " --diameter 200 --focal 1000 --pixel 5.2 --prefs " +
                             Chemin("Prefs.txt") + " --stable 0 --interval 0.2 --max-tests 1 " +
                             "--timeout 60 --trend " + Chemin("nuit.csv"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_TRUE(std::filesystem::exists(d + "/M42_01.qvt")) << s.Texte;
  EXPECT_NE(s.Texte.find("\"rms_nm\""), std::string::npos) << s.Texte;
  EXPECT_NE(LireFichier(Chemin("nuit.csv")).find("M42_01.qvt"), std::string::npos);
  // A folder that is not there is refused at once.
  const auto r = LancerBatch("watch " + Chemin("absent") + " --diameter 200 --focal 1000");
  EXPECT_EQ(r.Statut, 2);
}

}  // namespace
