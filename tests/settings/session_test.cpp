// The session file: recent images in order and bounded, and a damaged file read as empty.

#include "settings/session.h"

#include <gtest/gtest.h>

#include "support/dossier_temporaire.h"

namespace quelvane {
namespace {

class Session : public essais::TestAvecDossier {};

TEST_F(Session, RecentsEnTeteSansDoublonEtRelus) {
  TSession s;
  AjouterRecent(s, "/nuit/intra.fit", false);
  AjouterRecent(s, "/nuit/extra.fit", true);
  AjouterRecent(s, "/nuit/intra.fit", false);
  ASSERT_EQ(s.Recents.size(), 2u);
  EXPECT_EQ(s.Recents[0], (TFichierRecent{"/nuit/intra.fit", false}));
  EXPECT_EQ(s.Recents[1], (TFichierRecent{"/nuit/extra.fit", true}));
  for (int i = 0; i < 20; ++i) AjouterRecent(s, "/f" + std::to_string(i) + ".fit", false);
  EXPECT_EQ(s.Recents.size(), FichiersRecentsMax);
  EXPECT_EQ(s.Recents.front().Chemin, "/f19.fit");
  // A name that would break the file's lines is not kept.
  AjouterRecent(s, "/a\r\nRecent=I|/b", false);
  EXPECT_EQ(s.Recents.front().Chemin, "/f19.fit");

  s.Geometrie = "AdnQywADAAA=";
  const std::string chemin = Chemin("Session.txt");
  EcrireSession(s, chemin);
  const TSession lu = LireSession(chemin);
  EXPECT_EQ(lu.Geometrie, s.Geometrie);
  EXPECT_EQ(lu.Recents, s.Recents);
  EXPECT_EQ(CheminSession(Chemin("Prefs.txt")), chemin);
}

// File dialogs start where the user last went, not in the program's folder; a folder that
// disappeared falls back to the next choice.
TEST_F(Session, DialoguesPartentDuDernierDossier) {
  const std::string nuit = Chemin("nuit"), rapports = Chemin("rapports"), accueil = Chemin("");
  std::filesystem::create_directories(nuit);
  std::filesystem::create_directories(rapports);
  TDossiersRecents d;
  EXPECT_EQ(CheminDeDepart(d, "", false, accueil), accueil);
  EXPECT_EQ(CheminDeDepart(d, nuit, false, accueil), nuit);
  RetenirDossier(d, nuit + "/intra.fit", false);
  EXPECT_EQ(CheminDeDepart(d, Chemin("absent"), false, accueil), nuit);
  // Saving a window's picture: its name offered in the folder images came from, until
  // something is saved elsewhere.
  EXPECT_EQ(CheminDeDepart(d, "Front d'onde", true, accueil), nuit + "/Front d'onde");
  EXPECT_EQ(CheminDeDepart(d, rapports, true, accueil), rapports);
  RetenirDossier(d, rapports + "/r.html", true);
  EXPECT_EQ(CheminDeDepart(d, "Signal", true, accueil), rapports + "/Signal");
  EXPECT_EQ(CheminDeDepart(d, "", false, accueil), nuit);
  RetenirDossier(d, "relatif.fit", false);  // not a place to go back to
  EXPECT_EQ(d.Ouvertures, nuit);

  TSession s;
  s.Dossiers = d;
  EcrireSession(s, Chemin("Session.txt"));
  const TSession lu = LireSession(Chemin("Session.txt"));
  EXPECT_EQ(lu.Dossiers.Ouvertures, nuit);
  EXPECT_EQ(lu.Dossiers.Enregistrements, rapports);
  std::filesystem::remove_all(nuit);
  EXPECT_EQ(CheminDeDepart(lu.Dossiers, "", false, accueil), accueil);
}

TEST_F(Session, FichierAbsentOuEtrangerLuVide) {
  EXPECT_TRUE(LireSession(Chemin("absent.txt")).Recents.empty());
  Ecrire("Session.txt", "Recent=X|/a\r\nRecent=I\r\nn'importe quoi\r\n" + std::string(70000, 'x'));
  EXPECT_TRUE(LireSession(Chemin("Session.txt")).Recents.empty());
  Ecrire("Session.txt", "Recent=X|/a\r\nRecent=I|\r\nRecent=E|/b\r\n");
  const TSession s = LireSession(Chemin("Session.txt"));
  ASSERT_EQ(s.Recents.size(), 1u);
  EXPECT_TRUE(s.Recents[0].Extra);
}

}  // namespace
}  // namespace quelvane
