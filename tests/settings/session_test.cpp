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
