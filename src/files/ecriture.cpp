#include "files/ecriture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "files/erreur_systeme.h"

namespace quelvane {

namespace {

[[noreturn]] void Echouer(const std::string& chemin, int erreur) {
  throw ErreurEcriture("Impossible d'écrire le fichier " + chemin + " : " +
                       TexteErreurSysteme(erreur));
}

bool ToutEcrire(int fd, std::string_view contenu, int& erreur) {
  const char* p = contenu.data();
  std::size_t reste = contenu.size();
  while (reste > 0) {
    const ssize_t n = ::write(fd, p, reste);
    if (n < 0) {
      if (errno == EINTR) continue;
      erreur = errno;
      return false;
    }
    p += n;
    reste -= static_cast<std::size_t>(n);
  }
  return true;
}

// The file a path designates: a symbolic link's final target (a dangling link's target is
// created); otherwise the path itself.
std::string Destination(const std::string& chemin) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(chemin, ec)) return chemin;
  char resolu[PATH_MAX];
  if (::realpath(chemin.c_str(), resolu)) return resolu;
  // Dangling: follow the links by hand to the name that does not exist yet.
  std::filesystem::path p = chemin;
  for (int i = 0; i < 40 && std::filesystem::is_symlink(p, ec); ++i) {
    const auto cible = std::filesystem::read_symlink(p, ec);
    if (ec) break;
    p = cible.is_absolute() ? cible : p.parent_path() / cible;
  }
  return p.string();
}

// One file being written: either a temporary file to rename, or the target itself.
class TFichierEnCours {
 public:
  TFichierEnCours(std::string chemin, std::string_view contenu) : demande_(std::move(chemin)) {
    cible_ = Destination(demande_);
    struct stat st {};
    const bool existe = ::stat(cible_.c_str(), &st) == 0;
    if (existe && (!S_ISREG(st.st_mode) || st.st_nlink > 1)) {
      enPlace_ = true;
      contenu_ = contenu;
      return;
    }
    const std::filesystem::path c(cible_);
    const std::string dossier = c.has_parent_path() ? c.parent_path().string() : ".";
    std::string modele = dossier + "/." + c.filename().string() + ".XXXXXX";
    temporaire_.assign(modele.begin(), modele.end());
    temporaire_.push_back('\0');
    const int fd = ::mkstemp(temporaire_.data());
    if (fd < 0) {
      temporaire_.clear();
      Echouer(demande_, errno);
    }
    int erreur = 0;
    bool ok = ToutEcrire(fd, contenu, erreur);
    if (ok && ::fsync(fd) != 0) ok = false, erreur = errno;
    // mkstemp makes the file private: a replaced file keeps its permissions, a new one gets
    // the usual ones.
    mode_t mode = 0666;
    if (existe) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t masque = ::umask(0);
      ::umask(masque);
      mode &= ~masque;
    }
    ::fchmod(fd, mode);
    if (::close(fd) != 0 && ok) ok = false, erreur = errno;
    if (!ok) {
      Abandonner();
      Echouer(demande_, erreur);
    }
  }
  ~TFichierEnCours() { Abandonner(); }
  bool EnPlace() const { return enPlace_; }

  void Valider() {
    if (enPlace_) {
      const int fd = ::open(cible_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (fd < 0) Echouer(demande_, errno);
      int erreur = 0;
      const bool ok = ToutEcrire(fd, contenu_, erreur);
      if (::close(fd) != 0 && ok) Echouer(demande_, errno);
      if (!ok) Echouer(demande_, erreur);
      return;
    }
    if (std::rename(temporaire_.data(), cible_.c_str()) != 0) {
      const int erreur = errno;
      Abandonner();
      Echouer(demande_, erreur);
    }
    temporaire_.clear();
  }
  void Abandonner() {
    if (!temporaire_.empty()) ::unlink(temporaire_.data());
    temporaire_.clear();
  }

 private:
  std::string demande_, cible_;
  std::vector<char> temporaire_;
  bool enPlace_ = false;
  std::string contenu_;
};

}  // namespace

void EcrireFichierAtomique(const std::string& chemin, std::string_view contenu) {
  TFichierEnCours f(chemin, contenu);
  f.Valider();
}

void EcrireFichiersAtomiques(const std::vector<std::pair<std::string, std::string>>& fichiers) {
  std::vector<std::unique_ptr<TFichierEnCours>> enCours;
  for (const auto& [chemin, contenu] : fichiers)
    enCours.push_back(std::make_unique<TFichierEnCours>(chemin, contenu));
  for (auto& f : enCours)
    if (!f->EnPlace()) f->Valider();
  for (auto& f : enCours)
    if (f->EnPlace()) f->Valider();
}

}  // namespace quelvane
