#include "settings/preferences.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/regional.h"
#include "files/ecriture.h"
#include "support/dossier_temporaire.h"

namespace quelvane {
namespace {

class PreferencesFichier : public essais::TestAvecDossier {
 protected:
  void SetUp() override {
    TestAvecDossier::SetUp();
    chemin_ = Chemin("Prefs.txt");
  }
  void TearDown() override {
    TestAvecDossier::TearDown();
    DefinirSeparateurDecimal('.');
  }
  void Ecrire(const std::string& texte) const { TestAvecDossier::Ecrire("Prefs.txt", texte); }
  std::string Lire() const { return essais::LireFichier(chemin_); }
  std::string chemin_;
};

std::vector<std::string> Lignes(const std::string& texte) {
  std::vector<std::string> l;
  std::size_t debut = 0;
  for (std::size_t fin; (fin = texte.find("\r\n", debut)) != std::string::npos; debut = fin + 2)
    l.push_back(texte.substr(debut, fin - debut));
  EXPECT_EQ(debut, texte.size()) << "every line ends with CR LF";
  return l;
}

TEST_F(PreferencesFichier, SansFichierLesDefautsRestent) {
  TPreferences p;
  const auto r = LirePreferences(p, chemin_);
  EXPECT_FALSE(r.FichierLu);
  EXPECT_EQ(p.PltSignal, 0);
  EXPECT_EQ(p.PltFront, 1);
  EXPECT_EQ(p.PltPSF, 4);
  EXPECT_EQ(p.PltInterfero, 5);
  EXPECT_EQ(p.NPolyZern, 22);
  EXPECT_EQ(p.ModePoly, 0);
  EXPECT_EQ(p.LambdaRef, 555);
  EXPECT_EQ(p.LambdaInterfero, 555);
  EXPECT_TRUE(p.DossierImages.empty());
}

TEST_F(PreferencesFichier, PremiereEcritureAvecUneVirgule) {
  DefinirSeparateurDecimal(',');
  TPreferences p;
  p.RMSFront = 0.5;
  EcrirePreferences(p, chemin_);
  const auto l = Lignes(Lire());
  ASSERT_EQ(l.size(), 44u + 3 + 22);
  EXPECT_EQ(l[0], "PltSignal=0");
  EXPECT_EQ(l[1], "PltFront=1");
  EXPECT_EQ(l[4], "FactMultDiff=2");
  EXPECT_EQ(l[5], "MasqueActif=1");
  EXPECT_EQ(l[7], "NIter=10");
  EXPECT_EQ(l[9], "RMSFront=0,5");
  EXPECT_EQ(l[13], "LambdaRef=555");
  EXPECT_EQ(l[40], "PoidsB=1");
  EXPECT_EQ(l[41], "CorrectionFond=1");  // keys added later follow the original ones
  EXPECT_EQ(l[42], "PartEmpilement=100");
  EXPECT_EQ(l[43], "NbFils=0");
  EXPECT_EQ(l[44], "Aide=");
  EXPECT_EQ(l[45], "Rapports=");
  EXPECT_EQ(l[46], "[Warnings]");
  EXPECT_EQ(l[47], "0,000000");

  TPreferences relue;
  relue.RMSFront = 9;
  LirePreferences(relue, chemin_);
  EXPECT_DOUBLE_EQ(relue.RMSFront, 0.5);
}

TEST_F(PreferencesFichier, AlertesDossiersEtDoublons) {
  Ecrire(
      "NPolyZern=5\r\nniter=7\r\nNIter=9\r\nImages=/a\r\nImages=/b\r\nImages=/c\r\nRapports=/r\r\n"
      "Aide=/aide.html\r\n[Warnings]\r\n1.5\r\n2,5\r\n3\r\n4\r\n5\r\n6\r\n");
  TPreferences p;
  p.ValeursAlerte[5] = 77;
  LirePreferences(p, chemin_);
  EXPECT_EQ(p.NIter, 7);  // the first line of that name, whatever its case
  EXPECT_EQ(p.DossiersImagesRecents.size(), 3u);
  EXPECT_EQ(p.DossierImages, "/a");
  EXPECT_EQ(p.DossierRapports, "/r");
  EXPECT_EQ(p.FichierAide, "/aide.html");
  EXPECT_EQ(p.ValeursAlerte[0], 1.5);
  EXPECT_EQ(p.ValeursAlerte[1], 2.5);
  EXPECT_EQ(p.ValeursAlerte[4], 5);
  EXPECT_EQ(p.ValeursAlerte[5], 77);  // beyond NPolyZern: untouched

  EcrirePreferences(p, chemin_);
  const auto l = Lignes(Lire());
  EXPECT_EQ(l.size(), 44u + 6 + 5);  // Aide, three Images, Rapports, [Warnings]
  EXPECT_EQ(l[45], "Images=/a");
  EXPECT_EQ(l.back(), "5.000000");
}

// Files edited by hand or by other editors: a byte-order mark, UTF-16, blanks around "=",
// keys in another case are read; what is not a setting is named and written back as it was.
TEST_F(PreferencesFichier, EncodagesBlancsEtLignesInconnuesGardees) {
  Ecrire(
      "\xEF\xBB\xBFNIter=3\r\nLambdaRef = 633 \r\nnpolyzern=36\r\n; mon réglage\r\n"
      "Couleur=bleu\r\ntexte libre\r\nNIter=8\r\n");
  TPreferences p;
  const auto r = LirePreferences(p, chemin_);
  EXPECT_EQ(p.NIter, 3);
  EXPECT_EQ(p.LambdaRef, 633);
  EXPECT_EQ(p.NPolyZern, 36);
  ASSERT_EQ(r.LignesIgnorees.size(), 3u);
  EXPECT_EQ(r.LignesIgnorees[0], "Couleur=bleu");
  EXPECT_EQ(r.LignesIgnorees[2], "NIter=8  (en double)");
  const std::string texte = TexteLecturePreferences(r);
  EXPECT_NE(texte.find(chemin_), std::string::npos);
  EXPECT_NE(texte.find("texte libre"), std::string::npos);
  // Rewritten: the values, the comment and the unknown lines kept, before the alert section.
  EcrirePreferences(p, chemin_);
  const std::string ecrit = Lire();
  for (const char* l : {"NIter=3\r\n", "LambdaRef=633\r\n", "; mon réglage\r\n", "Couleur=bleu\r\n",
                        "texte libre\r\n"})
    EXPECT_NE(ecrit.find(l), std::string::npos) << l;
  EXPECT_LT(ecrit.find("Couleur=bleu"), ecrit.find("[Warnings]"));
  TPreferences relue;
  EXPECT_TRUE(LirePreferences(relue, chemin_).ValeursRefusees.empty());
  EXPECT_EQ(relue.LignesInconnues, p.LignesInconnues);

  // UTF-16 as a Windows editor saves it, with its mark, and without one.
  for (const bool marque : {true, false}) {
    std::string utf16 = marque ? "\xFF\xFE" : "";
    for (char c : std::string("NIter=4\r\nDiametre=250\r\n")) utf16 += c, utf16 += '\0';
    Ecrire(utf16);
    TPreferences q;
    const auto rq = LirePreferences(q, chemin_);
    EXPECT_EQ(q.NIter, 4);
    EXPECT_EQ(q.Diametre, 250u);
    EXPECT_TRUE(rq.LignesIgnorees.empty());
  }
}

// A loop of links or a folder in the file's place: one French refusal, the defaults kept.
TEST_F(PreferencesFichier, BoucleDeLiensRefusee) {
  std::filesystem::create_symlink(Chemin("b"), Chemin("a"));
  std::filesystem::create_symlink(Chemin("a"), Chemin("b"));
  TPreferences p;
  const auto r = LirePreferences(p, Chemin("a"));
  EXPECT_FALSE(r.FichierLu);
  EXPECT_NE(r.Erreur.find("Impossible de lire le fichier de préférences"), std::string::npos);
  EXPECT_NE(r.Erreur.find("liens"), std::string::npos) << r.Erreur;
  std::filesystem::create_directory(Chemin("dossier"));
  EXPECT_NE(LirePreferences(p, Chemin("dossier")).Erreur.find("dossier"), std::string::npos);
}

TEST_F(PreferencesFichier, ValeursInsensees) {
  Ecrire(
      "ExtractDim=12\r\nPltFront=9\r\nNIter=abc\r\nLambdaRef=0\r\nNPolyZern=300\r\nPltPSF=3\r\n"
      "[Warnings]\r\nrien\r\n");
  TPreferences p;
  const auto r = LirePreferences(p, chemin_);
  EXPECT_EQ(p.ExtractDim, 16);
  EXPECT_EQ(p.PltFront, 1);
  EXPECT_EQ(p.NIter, PreferencesParDefaut.NIter);
  EXPECT_EQ(p.LambdaRef, 555);
  EXPECT_EQ(p.NPolyZern, 22);
  EXPECT_EQ(p.PltPSF, 3);
  EXPECT_EQ(p.ValeursAlerte[0], 0);
  EXPECT_EQ(r.ValeursRefusees.size(), 6u);
}

TEST_F(PreferencesFichier, EcritureImpossibleGardeLAncienFichier) {
  Ecrire("NIter=5\r\n");
  TPreferences p;
  const std::string ailleurs = (dossier_ / "absent" / "Prefs.txt").string();
  EXPECT_THROW(EcrirePreferences(p, ailleurs), ErreurEcriture);
  EXPECT_EQ(Lire(), "NIter=5\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dossier_), {}),
            1);  // no temporary left
}

TEST_F(PreferencesFichier, GrandsFichiersEtValeurQuiNeFiteRien) {
  // Forty thousand lines read in one pass (the first of each key wins); a file over the limit
  // is refused with its reason; NPolyZern = 0 would fit nothing.
  std::string texte = "NPolyZern=0\r\n";
  for (int i = 0; i < 40000; ++i) texte += "NIter=" + std::to_string(1 + i % 20) + "\r\n";
  Ecrire(texte);
  TPreferences p;
  const auto r = LirePreferences(p, chemin_);
  EXPECT_EQ(p.NIter, 1);
  EXPECT_EQ(p.NPolyZern, 22);
  ASSERT_EQ(r.ValeursRefusees.size(), 1u);
  EXPECT_NE(TexteLecturePreferences(r).find("NPolyZern=0"), std::string::npos);
  Ecrire(std::string(TaillePreferencesMax + 1, 'x'));
  TPreferences q;
  const auto trop = LirePreferences(q, chemin_);
  EXPECT_FALSE(trop.FichierLu);
  EXPECT_NE(trop.Erreur.find("trop grand"), std::string::npos);
  EXPECT_EQ(q.NIter, PreferencesParDefaut.NIter);
}

TEST(PreferencesSaisie, LesDeuxSeparateursEtLesBornesDuFichier) {
  TkwValue p;
  DefinirSeparateurDecimal(',');
  EXPECT_FALSE(AffecterPreference(p, "LambdaRef", "632,8"));
  EXPECT_DOUBLE_EQ(p.LambdaRef, 632.8);
  EXPECT_FALSE(AffecterPreference(p, "LambdaRef", "550.5"));
  EXPECT_DOUBLE_EQ(p.LambdaRef, 550.5);
  DefinirSeparateurDecimal('.');
  // Refused values leave the field as it was and say what the field takes.
  const auto zero = AffecterPreference(p, "LambdaRef", "0");
  ASSERT_TRUE(zero);
  EXPECT_NE(zero->find("de 1 à 1000000"), std::string::npos) << *zero;
  EXPECT_TRUE(AffecterPreference(p, "PoidsB", "beaucoup"));
  EXPECT_TRUE(AffecterPreference(p, "RMSFront", "-1"));
  EXPECT_DOUBLE_EQ(p.LambdaRef, 550.5);
  EXPECT_DOUBLE_EQ(p.PoidsB, 1.0);
  EXPECT_TRUE(AffecterPreference(p, "NIter", "2.5"));
  EXPECT_FALSE(AffecterPreference(p, "NIter", "12"));
  EXPECT_EQ(p.NIter, 12);
  EXPECT_TRUE(AffecterPreference(p, "Inconnue", "1"));
}

TEST(PreferencesSaisie, DossiersRecentsEnTeteUneFoisEtBornes) {
  std::vector<std::string> l = {"/a", "/b", "/c"};
  PlacerEnTete(l, "/c");
  EXPECT_EQ(l, (std::vector<std::string>{"/c", "/a", "/b"}));
  PlacerEnTete(l, "");
  EXPECT_EQ(l.size(), 3u);
  for (int i = 0; i < 30; ++i) PlacerEnTete(l, "/d" + std::to_string(i));
  EXPECT_EQ(l.size(), DossiersRecentsMax);
  EXPECT_EQ(l.front(), "/d29");
}

}  // namespace
}  // namespace quelvane
