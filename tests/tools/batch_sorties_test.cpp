// What quelvane-batch writes and reads at the edges: text that is not UTF-8, outputs that fail
// or are special files, several outputs of one run, the inputs named in messages.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "support/ecriture_fits.h"
#include "support/processus.h"

namespace {

using quelvane::essais::LancerBatch;
using quelvane::essais::LireFichier;
namespace fs = std::filesystem;

class BatchSorties : public quelvane::essais::TestAvecDossier {
 protected:
  void SetUp() override {
    TestAvecDossier::SetUp();
    Ecrire("Prefs.txt", "");
  }
  std::string Paire(const std::string& reste) const {
    return std::string("reconstruct --intra ") + QUELVANE_SAMPLES + "/etoile-intra.fit --extra " +
           QUELVANE_SAMPLES + "/etoile-extra.fit --prefs " + Chemin("Prefs.txt") +
           " --diameter 200 --focal 1000 --pixel 5.2 --iterations 1 " + reste;
  }
  // Files other than the ones the test made: temporary files left behind.
  int FichiersCaches() const {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dossier_))
      n += e.path().filename().string().front() == '.';
    return n;
  }
  std::string Image(const std::string& nom, double fond, double etoile, bool bruit = false) {
    quelvane::outils::TImageAEcrire im;
    im.Bitpix = -32;
    im.Largeur = im.Hauteur = 128;
    std::mt19937 alea(5);
    std::normal_distribution<double> g(0, 20);
    for (int r = 0; r < 128; ++r)
      for (int c = 0; c < 128; ++c)
        im.Valeurs.push_back(fond + (std::hypot(r - 64, c - 64) < 30 ? etoile : 0) +
                             (bruit ? g(alea) : 0));
    EXPECT_TRUE(quelvane::outils::EcrireFITS(Chemin(nom), im));
    return Chemin(nom);
  }
};

TEST_F(BatchSorties, EnTeteEtNomEnLatin1) {
  quelvane::outils::TImageAEcrire im;
  im.Largeur = im.Hauteur = 4;
  im.Valeurs.assign(16, 1);
  im.Cartes = {{"OBSERVER", "'J\xe9r\xf4me'"}};  // Latin-1 bytes, as old software writes them
  const std::string nom = Chemin("\xe9toile.fit");
  ASSERT_TRUE(quelvane::outils::EcrireFITS(nom, im));
  const auto s = LancerBatch("info \"" + nom + "\" --json --prefs " + Chemin("Prefs.txt"));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  const auto j = nlohmann::json::parse(s.Texte);
  EXPECT_EQ(j["header"]["Observateur"], "J\u00e9r\u00f4me");
  EXPECT_NE(j["file"].get<std::string>().find("\u00e9toile"), std::string::npos);
}

TEST_F(BatchSorties, SortieStandardPleineEstUneErreur) {
  const std::string fichier = std::string(QUELVANE_SAMPLES) + "/etoile-intra.fit";
  EXPECT_NE(LancerBatch("info " + fichier + " --json > /dev/full").Statut, 0);
  EXPECT_NE(LancerBatch(Paire("--json - > /dev/full")).Statut, 0);
}

TEST_F(BatchSorties, LienSymboliqueDroitsEtLienPhysiqueGardes) {
  Ecrire("cible.json", "ancien");
  ::chmod(Chemin("cible.json").c_str(), 0600);
  fs::create_symlink(Chemin("cible.json"), Chemin("lien.json"));
  fs::create_hard_link(Chemin("cible.json"), Chemin("double.json"));
  ASSERT_EQ(LancerBatch(Paire("--json " + Chemin("lien.json"))).Statut, 0);
  EXPECT_TRUE(fs::is_symlink(Chemin("lien.json")));
  EXPECT_NE(LireFichier(Chemin("cible.json")).find("coefficients_nm"), std::string::npos);
  EXPECT_EQ(LireFichier(Chemin("double.json")), LireFichier(Chemin("cible.json")));
  struct stat st {};
  ASSERT_EQ(::stat(Chemin("cible.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_nlink, 2u);
  // A device is written, not replaced.
  ASSERT_EQ(LancerBatch(Paire("--json /dev/null")).Statut, 0);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(FichiersCaches(), 0);
}

TEST_F(BatchSorties, ToutOuRienPourLesSortiesDUneExecution) {
  Ecrire("r.json", "précédent");
  // The coefficient file cannot be written: the JSON of the earlier run stays as it was.
  const auto s =
      LancerBatch(Paire("--json " + Chemin("r.json") + " --zernike " + Chemin("absent/r.txt")));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("absent/r.txt"), std::string::npos) << s.Texte;
  EXPECT_EQ(LireFichier(Chemin("r.json")), "précédent");
  EXPECT_EQ(FichiersCaches(), 0);
  // Past the file size limit: an error, not a killed process, and nothing left behind.
  const std::string commande = "ulimit -f 8; " + std::string(QUELVANE_BATCH) + " " +
                               Paire("--json " + Chemin("r.json") + " --opd " + Chemin("r.opd")) +
                               " 2>&1";
  std::FILE* p = popen(commande.c_str(), "r");
  ASSERT_TRUE(p);
  char tampon[512];
  std::string texte;
  while (std::fgets(tampon, sizeof tampon, p)) texte += tampon;
  const int statut = pclose(p);
  EXPECT_TRUE(WIFEXITED(statut) && WEXITSTATUS(statut) == 2) << texte;
  EXPECT_EQ(LireFichier(Chemin("r.json")), "précédent");
  EXPECT_FALSE(fs::exists(Chemin("r.opd")));
  EXPECT_EQ(FichiersCaches(), 0);
}

TEST_F(BatchSorties, LesMessagesNommentLEntree) {
  Ecrire("photo.fit", std::string("\xff\xd8\xff\xe0") + std::string(4000, 'x'));
  const std::string base = " --prefs " + Chemin("Prefs.txt") +
                           " --diameter 200 --focal 1000 --defocus 3 --intra " + QUELVANE_SAMPLES +
                           "/etoile-intra.fit --extra ";
  auto s = LancerBatch("reconstruct" + base + Chemin("photo.fit"));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("extra-focale"), std::string::npos) << s.Texte;
  EXPECT_NE(s.Texte.find("photo.fit"), std::string::npos) << s.Texte;
  EXPECT_NE(s.Texte.find("JPEG"), std::string::npos) << s.Texte;
}

TEST_F(BatchSorties, PairesDegenereesRefusees) {
  // All zeros, constant, noise only: no pupil, a non-zero exit and the reason, not "RMS 0".
  const std::string extra = Image("bonne.fit", 100, 5000);
  for (const std::string& intra : {Image("zeros.fit", 0, 0), Image("constante.fit", 1234, 0),
                                   Image("bruit.fit", 500, 0, true)}) {
    const auto s = LancerBatch("reconstruct --intra " + intra + " --extra " + extra + " --prefs " +
                               Chemin("Prefs.txt") + " --diameter 200 --focal 1000 --defocus 3");
    EXPECT_EQ(s.Statut, 2) << intra << "\n" << s.Texte;
    EXPECT_NE(s.Texte.find("intra-focale"), std::string::npos) << s.Texte;
    EXPECT_EQ(s.Texte.find("RMS"), std::string::npos) << s.Texte;
  }
}

TEST_F(BatchSorties, ValeursDePreferencesIgnoreesAnnoncees) {
  Ecrire("Prefs.txt", "NIter=abc\r\nNPolyZern=0\r\n");
  const auto s = LancerBatch(Paire("--json " + Chemin("r.json")));
  ASSERT_EQ(s.Statut, 0) << s.Texte;
  EXPECT_NE(s.Texte.find("NIter=abc"), std::string::npos) << s.Texte;
  EXPECT_NE(s.Texte.find("NPolyZern=0"), std::string::npos) << s.Texte;
}

}  // namespace

namespace {

TEST_F(BatchSorties, ChaqueNombreTapeEstVerifie) {
  // Values that ended in a crash, a division by zero or NaN reported as success: refused with
  // the option and its range, before any image is read.
  const std::pair<std::string, std::string> refus[] = {
      {"--angle nan", "--angle"},
      {"--angle 1e308", "--angle"},
      {"--lambda 1e-300", "--lambda : de 1 à 1 000 000 nm"},
      {"--source artificial=1e-300", "--source artificial"},
      {"--threads 0", "--threads : de 1 à"},
  };
  for (const auto& [option, mot] : refus) {
    const auto s = LancerBatch(Paire(option));
    EXPECT_EQ(s.Statut, 2) << option << "\n" << s.Texte;
    EXPECT_NE(s.Texte.find(mot), std::string::npos) << option << "\n" << s.Texte;
  }
  const std::string debut = std::string("reconstruct --intra ") + QUELVANE_SAMPLES +
                            "/etoile-intra.fit --extra " + QUELVANE_SAMPLES +
                            "/etoile-extra.fit --prefs " + Chemin("Prefs.txt");
  for (const auto& [option, mot] : std::vector<std::pair<std::string, std::string>>{
           {" --diameter 200 --focal 1e-300 --defocus 3", "--focal"},
           {" --diameter 200 --focal 1000 --defocus 1e-300", "--defocus"},
           {" --diameter 200 --focal 1000 --pixel 1e-300", "--pixel"},
           {" --diameter inf --focal 1000 --pixel 5.2", "--diameter"}}) {
    const auto s = LancerBatch(debut + option);
    EXPECT_EQ(s.Statut, 2) << option << "\n" << s.Texte;
    EXPECT_NE(s.Texte.find(mot), std::string::npos) << option << "\n" << s.Texte;
  }
}

TEST_F(BatchSorties, UnExportOPDIncoherentEstRefuse) {
  // Samples 1 µm apart under a header announcing 200 mm: refused, not a crash nor gigabytes.
  std::string opd = "555,200\r\n";
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j)
      opd += std::to_string(i * 0.001) + "," + std::to_string(j * 0.001) + ",0.01\r\n";
  Ecrire("w.opd", opd);
  for (const std::string& commande :
       std::vector<std::string>{"psf", "foucault --direction 0 --out " + Chemin("f.jpg")}) {
    const auto s = LancerBatch(commande + " --wavefront " + Chemin("w.opd"));
    EXPECT_EQ(s.Statut, 2) << s.Texte;
    EXPECT_NE(s.Texte.find("incohérent"), std::string::npos) << s.Texte;
  }
}

TEST_F(BatchSorties, LesSortiesSontVerifieesAvantLeCalcul) {
  // A series of pictures into a folder that does not exist: said at once.
  const auto s = LancerBatch(std::string("interferogram --intra ") + QUELVANE_SAMPLES +
                             "/serie-intra.ser --extra " + QUELVANE_SAMPLES +
                             "/serie-extra.ser --diameter 200 --focal 1000 --pixel 5.2 "
                             "--direction 0 --series 1 --out " +
                             Chemin("absent/i.jpg") + " --prefs " + Chemin("Prefs.txt"));
  EXPECT_EQ(s.Statut, 2);
  EXPECT_NE(s.Texte.find("dossier introuvable"), std::string::npos) << s.Texte;
  EXPECT_EQ(s.Texte.find("Série"), std::string::npos) << s.Texte;  // nothing was stacked
}

TEST_F(BatchSorties, UnPeripheriqueOuUnTubeQuiRefusentNeRemplacentRien) {
  Ecrire("a.zer", "précédent");
  auto s = LancerBatch(Paire("--json /dev/full --zernike " + Chemin("a.zer")));
  EXPECT_EQ(s.Statut, 2) << s.Texte;
  EXPECT_EQ(LireFichier(Chemin("a.zer")), "précédent");
  ASSERT_EQ(::mkfifo(Chemin("tube").c_str(), 0600), 0);
  s = LancerBatch(Paire("--json " + Chemin("tube") + " --zernike " + Chemin("a.zer")));
  EXPECT_EQ(s.Statut, 2) << s.Texte;
  EXPECT_EQ(LireFichier(Chemin("a.zer")), "précédent");
  EXPECT_EQ(FichiersCaches(), 0);
}

}  // namespace
