// quelvane-batch info run as a user runs it: a real process, its output and exit status.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/ecriture_fits.h"
#include "support/processus.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::TSortie;

class BatchInfo : public quelvane::essais::TestAvecDossier {};

TEST_F(BatchInfo, ImageDeDemonstrationEnJson) {
  const auto s = LancerBatch(std::string("info --json ") + QUELVANE_SAMPLES + "/etoile-intra.fit");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte);
  EXPECT_EQ(j["width"], 256);
  EXPECT_EQ(j["header"]["Bitpix"], 16);
  EXPECT_EQ(j["header"]["BZero"], 32768.0);
  EXPECT_EQ(j["header"]["Telescope"], "Newton 200/1000");
  EXPECT_EQ(j["kind"], 2);  // unsigned data, all below 32768 ADU: still 16-bit integers
  EXPECT_NEAR(j["pupil"]["radius"].get<double>(), 70, 3);  // 3.64 mm · 100/1000 / 5.2 µm
  EXPECT_GT(j["threshold"].get<double>(), j["min"].get<double>());
  EXPECT_LT(j["threshold"].get<double>(), j["max"].get<double>());
}

TEST_F(BatchInfo, TexteLisible) {
  quelvane::outils::TImageAEcrire im;
  im.Largeur = 3;
  im.Hauteur = 2;
  im.Valeurs = {1, 2, 3, 4, 5, 6};
  im.Cartes = {{"OBSERVER", "'Lyot'"}};
  ASSERT_TRUE(quelvane::outils::EcrireFITS(Chemin("petit.fit"), im));
  const auto s = LancerBatch("info " + Chemin("petit.fit"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NE(s.Texte.find("header.Observateur : Lyot"), std::string::npos) << s.Texte;
  EXPECT_NE(s.Texte.find("mean : 3.5"), std::string::npos) << s.Texte;
}

TEST_F(BatchInfo, FichiersIllisiblesSortentEnDeux) {
  quelvane::outils::TImageAEcrire tronque;
  tronque.Largeur = tronque.Hauteur = 64;
  tronque.Valeurs.assign(64 * 64, 1);
  auto octets = quelvane::outils::CoderFITS(tronque);
  octets.resize(2880 + 1000);
  const std::string chemins[] = {
      Chemin("absent.fit"),
      Ecrire("vide.fit", ""),
      Ecrire("texte.fit", std::string(5000, 'x')),
      Ecrire("tronque.fit", std::string(octets.begin(), octets.end())),
  };
  for (const auto& c : chemins) {
    const auto s = LancerBatch("info " + c);
    EXPECT_EQ(s.Statut, 2) << c;
    EXPECT_NE(s.Texte.find("Format d'image incompatible"), std::string::npos) << c << s.Texte;
  }
  EXPECT_EQ(LancerBatch("info").Statut, 2);  // missing argument
}

}  // namespace
