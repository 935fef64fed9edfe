// The HTML report: its tables and sections as the page lays them out, the pictures it refers
// to written beside it under the same names, and nothing half-written on failure.

#include "report/rapport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "files/ecriture.h"
#include "files/jpeg.h"
#include "settings/saisie_parametres.h"

namespace quelvane {
namespace {

std::shared_ptr<TPupille> Champ(std::uint8_t role, double valeur = 1) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(32, 32);
  p->CentreX = p->CentreY = 16.5;
  p->RayonPupille = 12;
  p->AxesPupille();
  p->Role = role;
  p->RayonPhysique = 1e8;
  SelectionComplete(p->Selection);
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c)
      if (std::hypot(p->AxeX[c], p->AxeY[r]) <= 1) p->M(r, c) = 1, p->V(r, c) = valeur * (r + c);
  return p;
}

struct TMontage {
  TRoddier Test;
  TParametresTest Parametres;
  TPreferences Prefs;
  TJeuZernike Jeu = ConstruireJeuZernike(22, PolyMahajan);
  TContexteRapport Contexte;
  TMontage() {
    Test.Intra = Champ(RoleIntra);
    Test.Extra = Champ(RoleExtra);
    Test.Signal = Champ(RoleSignal);
    Test.FrontOnde = Champ(RoleFront, 3);
    Test.FrontOnde->Coefficients[10] = 60;
    Test.FrontOnde->Selection[3] = false;
    Test.FrontResiduel = Champ(RoleResidu, 0.1);
    Parametres.DistanceFocale = 1e9;
    Parametres.RayonInstrument = 1e8;
    Parametres.Defocalisation = 3.64e6;
    Prefs.NDecMilli = 2;
    Contexte.Test = &Test;
    Contexte.Parametres = &Parametres;
    Contexte.Prefs = &Prefs;
    Contexte.Jeu = &Jeu;
    Contexte.Instrument = "Newton";
    Contexte.Camera = "Cam\xe9ra";  // a Latin-1 header
    Contexte.PoseIntra = "2";
    Contexte.PoseExtra = "3";
    Contexte.Version = "3.0";
    Contexte.Intra = TFenetreRapport{Test.Intra, "a.fit"};
    Contexte.Extra = TFenetreRapport{Test.Extra, "b.fit"};
    Contexte.Front = TFenetreRapport{Test.FrontOnde, "Polychromatique Front d'onde"};
  }
};

bool Contient(const std::string& t, const std::string& morceau) {
  return t.find(morceau) != std::string::npos;
}

TEST(Rapport, TablesEtSections) {
  TMontage m;
  for (const char* t : {"Interférogramme0", "Interférogramme45", "Interférogramme90"}) {
    m.Contexte.Fenetres.push_back({Champ(RoleInterferogramme), t, true});
  }
  m.Contexte.Fenetres.push_back({Champ(RoleFoucault), "Foucaultgramme0"});
  m.Contexte.Source = SourceAutocollimation;
  const TRapport r = ConstruireRapport(m.Contexte);
  const std::string& h = r.Html;
  for (unsigned char c : h) ASSERT_LT(c, 128);       // every accent an entity
  EXPECT_EQ(h.rfind("<p>&nbsp;</p><table", 0), 0u);  // no head: the first table
  EXPECT_TRUE(Contient(h, "Param&#232;tres du test"));
  EXPECT_TRUE(Contient(h, "3.64 mm"));
  EXPECT_TRUE(Contient(h, "Cam&#233;ra"));
  EXPECT_TRUE(Contient(h, "Autocollimation"));
  EXPECT_TRUE(Contient(h, "2 s / 3 s"));
  // Without a signal or residual window: two images, one wavefront column.
  EXPECT_TRUE(Contient(h, "<img src=intra.jpg>"));
  EXPECT_FALSE(Contient(h, "signal.jpg"));
  EXPECT_FALSE(Contient(h, "Residu.jpg"));
  EXPECT_TRUE(Contient(h, "<img src=front.jpg>"));
  // 22 coefficient rows, the focus subtracted.
  EXPECT_TRUE(Contient(h, "<div align=\"left\">Sec. Spher.</div>"));
  EXPECT_TRUE(Contient(h, "[Soustrait]"));
  // Families: 4. the three interferograms, with the interferometer's wavelength, two a row;
  // 5. the Foucault gram.
  EXPECT_TRUE(Contient(h, "4. Interf&#233;rogrammes"));
  EXPECT_TRUE(Contient(h, "5. Foucaultgramme</b>"));
  const auto i4 = h.find("4. Interf"), l4 = h.find("Avec Lambda = ", i4);
  EXPECT_LT(l4, h.find("5. Foucault"));
  EXPECT_TRUE(Contient(h, "\"Interf&#233;rogramme45.jpg\""));
  EXPECT_TRUE(Contient(h, "Rapport &#233;dit&#233; avec Quelvane 3.0"));
  EXPECT_TRUE(Contient(h, "annulaires"));
  // The pictures: what the page names, decodable.
  std::vector<std::string> noms;
  for (const auto& [n, o] : r.Images) {
    noms.push_back(n);
    EXPECT_TRUE(DecoderJPEG(std::as_bytes(std::span(o))).Reussi()) << n;
  }
  for (const char* n :
       {"intra.jpg", "extra.jpg", "front.jpg", "Interférogramme45.jpg", "Foucaultgramme0.jpg"})
    EXPECT_NE(std::find(noms.begin(), noms.end(), n), noms.end()) << n;
}

TEST(Rapport, SignalResiduEtEtoileArtificielle) {
  TMontage m;
  m.Contexte.Signal = TFenetreRapport{m.Test.Signal, "Signal"};
  m.Contexte.Residu = TFenetreRapport{m.Test.FrontResiduel, "Front résiduel"};
  m.Contexte.Source = SourceArtificielle;
  m.Parametres.DistanceSource = 12e9;  // 12 metres
  m.Prefs.NPolyZern = 30;
  const std::string h = ConstruireRapport(m.Contexte).Html;
  EXPECT_TRUE(Contient(h, "Etoile artificielle &#224; 12 m"));
  // The page and the file agree on the case of the names.
  EXPECT_TRUE(Contient(h, "<img src=signal.jpg>"));
  EXPECT_TRUE(Contient(h, "<img src=Residu.jpg>"));
  EXPECT_TRUE(Contient(h, "Front r&#233;siduel"));
  EXPECT_TRUE(Contient(h, NomZernike(30)));
}

// Header texts are data, never markup; unknown fields are left out rather than printed
// empty; a length keeps the decimals it has.
TEST(Rapport, ChampsEchappesOmisEtLongueursExactes) {
  TMontage m;
  m.Contexte.Instrument = "<script>alert(1)</script>";
  m.Contexte.Camera = "";
  m.Contexte.PoseIntra = m.Contexte.PoseExtra = "0";
  m.Parametres.Defocalisation = 3.632e6;
  m.Prefs.NDecMilli = 0;
  const std::string h = ConstruireRapport(m.Contexte).Html;
  EXPECT_FALSE(Contient(h, "<script"));
  EXPECT_TRUE(Contient(h, "&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_FALSE(Contient(h, "Camera :"));
  EXPECT_FALSE(Contient(h, "Temps de pose"));
  EXPECT_TRUE(Contient(h, "3.632 mm"));
  EXPECT_TRUE(Contient(h, "1000 mm"));  // the focal length: no needless decimals
  m.Contexte.PoseIntra = "1,5";
  EXPECT_TRUE(Contient(ConstruireRapport(m.Contexte).Html, "1,5 s / ?"));
  EXPECT_EQ(EchapperHtml("a&\"'<>"), "a&amp;&quot;&#39;&lt;&gt;");
}

TEST(Rapport, EcritureToutOuRien) {
  TMontage m;
  const auto dossier = std::filesystem::temp_directory_path() / "quelvane-rapport-test";
  std::filesystem::remove_all(dossier);
  std::filesystem::create_directories(dossier);
  const TRapport r = ConstruireRapport(m.Contexte);
  EcrireRapport((dossier / "r.html").string(), r);
  EXPECT_TRUE(std::filesystem::exists(dossier / "front.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dossier / "r.html"));
  // A folder that does not exist: an error, and nothing written anywhere.
  EXPECT_THROW(EcrireRapport((dossier / "absent" / "r.html").string(), r), ErreurEcriture);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dossier), {}), 4);
  std::filesystem::remove_all(dossier);
  TContexteRapport vide;
  EXPECT_THROW(ConstruireRapport(vide), std::runtime_error);
}

}  // namespace
}  // namespace quelvane
