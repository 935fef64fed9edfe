// quelvane-batch prefs: the preferences a script reads and changes, all changes or none.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/processus.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::LireFichier;

class BatchPreferences : public quelvane::essais::TestAvecDossier {};

TEST_F(BatchPreferences, ModifieEtRelitToutOuRien) {
  Ecrire("Prefs.txt", "NIter=4\r\nRMSFront=0,5\r\n");
  const std::string f = " --prefs " + Chemin("Prefs.txt");
  auto s = LancerBatch("prefs" + f +
                       " --set LambdaRef=632.8 --set NPolyZern=36 --set Images=/nuit"
                       " --json -");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  auto j = nlohmann::json::parse(s.Texte);
  EXPECT_EQ(j["values"]["NIter"], 4);
  EXPECT_EQ(j["values"]["RMSFront"], 0.5);  // a comma in the file is still a number
  EXPECT_EQ(j["values"]["LambdaRef"], 632.8);
  EXPECT_EQ(j["alert_values_nm"].size(), 36u);
  EXPECT_EQ(j["image_folders"][0], "/nuit");
  const std::string ecrit = LireFichier(Chemin("Prefs.txt"));
  EXPECT_NE(ecrit.find("NPolyZern=36\r\n"), std::string::npos);
  EXPECT_NE(ecrit.find("Images=/nuit\r\n"), std::string::npos);

  // One refused value: nothing written, the refusal names the key and its range.
  s = LancerBatch("prefs" + f + " --set NIter=9 --set LambdaRef=0");
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("LambdaRef"), std::string::npos) << s.Texte;
  EXPECT_NE(s.Texte.find("de 1 à 1000000"), std::string::npos) << s.Texte;
  EXPECT_EQ(LireFichier(Chemin("Prefs.txt")), ecrit);
  s = LancerBatch("prefs" + f + " --set Inconnue");
  EXPECT_EQ(s.Statut, 2);
  EXPECT_EQ(LireFichier(Chemin("Prefs.txt")), ecrit);
}

// A file with a byte-order mark rewritten by --set keeps its first key and its unknown lines.
TEST_F(BatchPreferences, MarqueEtLignesInconnuesSurvivent) {
  Ecrire("Prefs.txt", "\xEF\xBB\xBFNIter=3\r\nAutreLogiciel=1\r\n");
  const std::string f = " --prefs " + Chemin("Prefs.txt");
  const auto s = LancerBatch("prefs" + f + " --set LambdaRef=600");
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NE(s.Texte.find("AutreLogiciel=1"), std::string::npos) << s.Texte;  // named
  const std::string ecrit = LireFichier(Chemin("Prefs.txt"));
  EXPECT_NE(ecrit.find("NIter=3\r\n"), std::string::npos);
  EXPECT_NE(ecrit.find("AutreLogiciel=1\r\n"), std::string::npos);
}

// A loop of links: the same French refusal from prefs and from info, exit 2.
TEST_F(BatchPreferences, BoucleDeLiensRefuseeParToutes) {
  std::filesystem::create_symlink(Chemin("b"), Chemin("Prefs.txt"));
  std::filesystem::create_symlink(Chemin("Prefs.txt"), Chemin("b"));
  const std::string f = " --prefs " + Chemin("Prefs.txt");
  for (const std::string& commande :
       {"prefs" + f, std::string("info ") + QUELVANE_SAMPLES + "/etoile-intra.fit" + f}) {
    const auto s = LancerBatch(commande);
    EXPECT_EQ(s.Statut, 2) << commande;
    EXPECT_NE(s.Texte.find("boucle de liens"), std::string::npos) << s.Texte;
    EXPECT_EQ(s.Texte.find("Too many"), std::string::npos) << s.Texte;
  }
}

}  // namespace
