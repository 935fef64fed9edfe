// The test file: what is saved comes back to the bit, and a damaged, foreign or newer file
// is refused with its reason before anything large is allocated.

#include "files/fichier_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "files/ecriture.h"

namespace quelvane {
namespace {

TPupille Carte(int n, double phase) {
  TPupille f;
  f.Allouer(n, n);
  f.CentreX = f.CentreY = (n + 1) / 2.0;
  f.RayonPupille = n / 2.0 - 2;
  f.Obstruction = 0.2;
  f.Lambda = 555;
  f.RayonPhysique = 1e8;
  f.Role = RoleFront;
  f.AxesPupille();
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double x = f.AxeX[c], y = f.AxeY[r], q = std::hypot(x, y);
      if (q > 1 || q < 0.2) continue;
      f.M(r, c) = 1;
      // Values with every bit used: a decimal round trip would lose some.
      f.V(r, c) = 10 * std::sin(3 * x + phase) * std::cos(2 * y) / 3;
    }
  for (int j = 0; j < NMaxZern; ++j) f.Coefficients[j] = std::sqrt(j + phase) / 7;
  SelectionComplete(f.Selection);
  f.Selection[0] = f.Selection[3] = false;
  f.OrdresSup = true;
  return f;
}

TTestEnregistre UnTest() {
  TTestEnregistre t;
  t.DateObs = "2026-12-08T21:03:11";
  t.RotationDeg = 90;
  t.TypePolynomes = 0;
  t.NbTermes = 22;
  t.Parametres = {{"focale_mm", 1000.0}, {"diametre_mm", 200.0}};
  t.Preferences = {"NIter=10", "LambdaRef=555"};
  t.Sources = {{"intra", "intra.fits", 123, "ab"}, {"extra", "extra.fits", 456, "cd"}};
  t.Front = Carte(40, 0.1);
  auto v = std::make_shared<TVariantesFront>();
  v->Facteur = 1.5;
  v->Methode = "bruit mesuré";
  v->Comprend = "le bruit";
  for (int k = 0; k < 3; ++k) v->Fronts.push_back(Carte(40, 0.2 + k));
  t.Front.Variantes = v;
  return t;
}

bool MemesBits(const TPupille& a, const TPupille& b) {
  const auto x = a.Donnees.Plan(0), y = b.Donnees.Plan(0);
  const auto m = a.Masque.Plan(0), n = b.Masque.Plan(0);
  return a.NX == b.NX && a.NY == b.NY && x.size() == y.size() &&
         std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0 &&
         std::equal(m.begin(), m.end(), n.begin()) &&
         std::memcmp(a.Coefficients.data(), b.Coefficients.data(), sizeof a.Coefficients) == 0 &&
         a.Selection == b.Selection && a.CentreX == b.CentreX && a.CentreY == b.CentreY &&
         a.RayonPupille == b.RayonPupille && a.Obstruction == b.Obstruction &&
         a.Lambda == b.Lambda && a.RayonPhysique == b.RayonPhysique && a.AxeX == b.AxeX &&
         a.AxeY == b.AxeY;
}

TEST(FichierTest, EnregistreEtRouvertAuBitPres) {
  const TTestEnregistre t = UnTest();
  const std::string chemin = testing::TempDir() + "/aller-retour.qvt";
  EnregistrerTest(t, chemin);
  const TTestEnregistre u = OuvrirTest(chemin);
  EXPECT_TRUE(MemesBits(t.Front, u.Front));
  ASSERT_TRUE(u.Front.Variantes);
  ASSERT_EQ(u.Front.Variantes->Fronts.size(), 3u);
  for (int k = 0; k < 3; ++k)
    EXPECT_TRUE(MemesBits(t.Front.Variantes->Fronts[k], u.Front.Variantes->Fronts[k]));
  EXPECT_EQ(u.Front.Variantes->Facteur, 1.5);
  EXPECT_EQ(u.Front.Variantes->Methode, "bruit mesuré");
  EXPECT_EQ(u.DateObs, t.DateObs);
  EXPECT_EQ(u.RotationDeg, 90);
  EXPECT_EQ(u.NbTermes, 22);
  EXPECT_EQ(u.Preferences, t.Preferences);
  ASSERT_EQ(u.Sources.size(), 2u);
  EXPECT_EQ(u.Sources[1].Fichier, "extra.fits");
  EXPECT_EQ(u.Sources[1].Octets, 456u);
  EXPECT_EQ(u.Parametres["focale_mm"], 1000.0);
  EXPECT_EQ(u.Programme, VersionProgramme());
  // Saved again, the same text: nothing drifts from one round to the next.
  EXPECT_EQ(TexteTest(u), TexteTest(t));
  EXPECT_TRUE(RessembleAUnTest(TexteTest(t)));
  EXPECT_FALSE(RessembleAUnTest("555,200\r\n0,0,0.1"));
}

TEST(FichierTest, DocumentsEndommagesRefusesAvecLeurRaison) {
  const std::string bon = TexteTest(UnTest());
  auto refus = [](const std::string& texte) {
    try {
      LireTest(texte);
    } catch (const ErreurFichierTest& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  // Cut anywhere: refused, never half-read.
  for (std::size_t n :
       {std::size_t{0}, std::size_t{1}, bon.size() / 3, bon.size() / 2, bon.size() - 3})
    EXPECT_NE(refus(bon.substr(0, n)), "") << n;
  auto remplace = [&](const std::string& de, const std::string& par) {
    std::string t = bon;
    const auto p = t.find(de);
    EXPECT_NE(p, std::string::npos) << de;
    return t.replace(p, de.size(), par);
  };
  EXPECT_NE(refus(remplace("\"version\": 1", "\"version\": 7")).find("plus récente"),
            std::string::npos);
  EXPECT_NE(refus(remplace("quelvane-test", "autre-chose")).find("pas un test"), std::string::npos);
  EXPECT_NE(refus(remplace("\"nx\": 40", "\"nx\": 41")), "");
  EXPECT_NE(refus(remplace("\"nx\": 40", "\"nx\": 1e9")), "");
  EXPECT_NE(refus(remplace("\"nx\": 40", "\"nx\": \"quarante\"")), "");
  EXPECT_NE(refus(remplace("\"obstruction\": 0.2", "\"obstruction\": -3")), "");
  EXPECT_NE(refus(remplace("\"termes\": 22", "\"termes\": 99")), "");
  // One value changed in the map: its fingerprint no longer matches.
  const auto p = bon.find("\"valeurs\": \"") + 20;
  std::string altere = bon;
  altere[p] = altere[p] == 'A' ? 'B' : 'A';
  EXPECT_NE(refus(altere).find("empreinte"), std::string::npos);
}

TEST(FichierTest, UneGrilleAnnonceeSansSesDonneesNAlloueRien) {
  // A few hundred bytes that announce an 8192 × 8192 map of zeros: refused from the sizes.
  TTestEnregistre t = UnTest();
  t.Front.Variantes.reset();
  std::string texte = TexteTest(t);
  const auto debut = texte.find("\"masque\": [");
  const auto fin = texte.find(']', debut);
  texte.replace(debut, fin - debut + 1, "\"masque\": [0, 67108864]");
  texte.replace(texte.find("\"nx\": 40"), 8, "\"nx\": 8192");
  texte.replace(texte.find("\"ny\": 40"), 8, "\"ny\": 8192");
  EXPECT_THROW(LireTest(texte), ErreurFichierTest);
}

TEST(FichierTest, FichiersAbsentsVidesOuDossiers) {
  const std::string d = testing::TempDir();
  EXPECT_THROW(OuvrirTest(d + "/absent.qvt"), ErreurFichierTest);
  EXPECT_THROW(OuvrirTest(d), ErreurFichierTest);
  std::ofstream(d + "/vide.qvt").close();
  EXPECT_THROW(OuvrirTest(d + "/vide.qvt"), ErreurFichierTest);
  // The source checksums say whether the images are still those of the test.
  const std::string image = d + "/source.fits";
  EcrireFichierAtomique(image, "SIMPLE");
  TSourceImage s{"intra", image, 6, ""};
  EXPECT_EQ(VerifierSource(s), "");
  s.Sha256 = "0000";
  EXPECT_NE(VerifierSource(s).find("a changé"), std::string::npos);
  s.Fichier = d + "/partie.fits";
  EXPECT_NE(VerifierSource(s).find("introuvable"), std::string::npos);
}

}  // namespace
}  // namespace quelvane
