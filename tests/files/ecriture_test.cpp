// Files written all or none: what stands at the path respected (links, hard links, owner,
// devices, FIFOs, folders, loops), nothing half written, nothing left behind by a killed run.

#include "files/ecriture.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "support/dossier_temporaire.h"

namespace quelvane {
namespace {

using essais::LireFichier;

class Ecriture : public essais::TestAvecDossier {};

std::string Texte(std::size_t n, char c) { return std::string(n, c); }

TEST_F(Ecriture, UnPeripheriqueQuiRefuseArreteToutAvantRemplacement) {
  const std::string a = Ecrire("a.txt", "ancien");
  EXPECT_THROW(EcrireFichiersAtomiques({{a, "nouveau"}, {"/dev/full", Texte(10000, 'x')}}),
               ErreurEcriture);
  EXPECT_EQ(LireFichier(a), "ancien");
  // A folder at the path: refused before anything is written.
  std::filesystem::create_directory(Chemin("dossier"));
  EXPECT_THROW(EcrireFichiersAtomiques({{a, "nouveau"}, {Chemin("dossier"), "x"}}), ErreurEcriture);
  EXPECT_EQ(LireFichier(a), "ancien");
  EXPECT_TRUE(std::filesystem::is_directory(Chemin("dossier")));
}

TEST_F(Ecriture, UnTubeSansLecteurNeBloquePas) {
  const std::string a = Ecrire("a.txt", "ancien");
  const std::string tube = Chemin("tube");
  ASSERT_EQ(::mkfifo(tube.c_str(), 0600), 0);
  const auto debut = std::chrono::steady_clock::now();
  try {
    EcrireFichiersAtomiques({{a, "nouveau"}, {tube, "x"}});
    ADD_FAILURE();
  } catch (const ErreurEcriture& e) {
    EXPECT_NE(std::string(e.what()).find("tube"), std::string::npos) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(20));
  EXPECT_EQ(LireFichier(a), "ancien");
}

TEST_F(Ecriture, UneBoucleDeLiensEstRefusee) {
  const std::string l1 = Chemin("l1"), l2 = Chemin("l2");
  std::filesystem::create_symlink(l2, l1);
  std::filesystem::create_symlink(l1, l2);
  try {
    EcrireFichierAtomique(l1, "x");
    ADD_FAILURE();
  } catch (const ErreurEcriture& e) {
    EXPECT_NE(std::string(e.what()).find("boucle"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_symlink(l1));
  EXPECT_TRUE(std::filesystem::is_symlink(l2));
}

TEST_F(Ecriture, UnLienPhysiqueNEstJamaisTronque) {
  // A file beyond the size limit cannot be written: a hard-linked target (written in place)
  // keeps its old content whole instead of being cut at the limit.
  const std::string a = Ecrire("a.txt", Texte(4000, 'a'));
  std::filesystem::create_hard_link(a, Chemin("b.txt"));
  const pid_t fils = ::fork();
  if (fils == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limite{8192, 8192};
    ::setrlimit(RLIMIT_FSIZE, &limite);
    try {
      EcrireFichierAtomique(a, Texte(20000, 'n'));
    } catch (const ErreurEcriture&) {
      std::_Exit(3);
    }
    std::_Exit(0);
  }
  int statut = 0;
  ::waitpid(fils, &statut, 0);
  EXPECT_EQ(WEXITSTATUS(statut), 3);
  EXPECT_EQ(LireFichier(a), Texte(4000, 'a'));
  EXPECT_EQ(LireFichier(Chemin("b.txt")), Texte(4000, 'a'));
  // And within the limit, both names see the new content.
  EcrireFichierAtomique(a, "nouveau");
  EXPECT_EQ(LireFichier(Chemin("b.txt")), "nouveau");
}

TEST_F(Ecriture, LesTemporairesAbandonnesSontNettoyes) {
  const std::string vieux = Ecrire(".a.txt.quelvane-AbC123", "reste d'un arrêt brutal");
  const std::string jeune = Ecrire(".b.txt.quelvane-XyZ789", "une autre exécution en cours");
  const std::string autre = Ecrire(".c.txt.abcdef", "pas à nous");
  timeval deux[2] = {{std::time(nullptr) - 7200, 0}, {std::time(nullptr) - 7200, 0}};
  ::utimes(vieux.c_str(), deux);
  ::utimes(autre.c_str(), deux);
  EcrireFichierAtomique(Chemin("a.txt"), "x");
  EXPECT_FALSE(std::filesystem::exists(vieux));
  EXPECT_TRUE(std::filesystem::exists(jeune));
  EXPECT_TRUE(std::filesystem::exists(autre));
  // A written file leaves no temporary of its own.
  int temporaires = 0;
  for (const auto& e : std::filesystem::directory_iterator(dossier_))
    temporaires += e.path().filename().string().find(".a.txt.quelvane-") == 0;
  EXPECT_EQ(temporaires, 0);
}

TEST_F(Ecriture, LeProprietaireEstGarde) {
  // Only the superuser can give a file to another user: the case only arises there.
  if (::geteuid() != 0) return;
  const std::string a = Ecrire("a.txt", "ancien");
  ASSERT_EQ(::chown(a.c_str(), 65534, 65534), 0);
  ::chmod(a.c_str(), 0640);
  EcrireFichierAtomique(a, "nouveau");
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(LireFichier(a), "nouveau");
}

}  // namespace
}  // namespace quelvane
