#include "files/ecriture.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// The program's temporary files: ".name.quelvane-XXXXXX" beside the target.
constexpr const char* MarqueTemporaire = ".quelvane-";

// The file a path designates: a symbolic link's final target (a dangling link's target is
// created); otherwise the path itself. A loop of links is refused.
std::string Destination(const std::string& demande) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(demande, ec)) return demande;
  char resolu[PATH_MAX];
  if (::realpath(demande.c_str(), resolu)) return resolu;
  if (errno == ELOOP) Echouer(demande, ELOOP);
  // Dangling: follow the links by hand to the name that does not exist yet.
  std::filesystem::path p = demande;
  for (int i = 0; std::filesystem::is_symlink(p, ec); ++i) {
    if (i >= 40) Echouer(demande, ELOOP);
    const auto cible = std::filesystem::read_symlink(p, ec);
    if (ec) break;
    p = cible.is_absolute() ? cible : p.parent_path() / cible;
  }
  return p.string();
}

std::string DossierDe(const std::string& chemin) {
  const std::filesystem::path c(chemin);
  return c.has_parent_path() ? c.parent_path().string() : ".";
}

// Temporary files of the program left in a folder by a run that was killed: removed once
// they are an hour old and ours (a run still writing is younger).
void NettoyerTemporaires(const std::string& dossier) {
  DIR* d = ::opendir(dossier.c_str());
  if (!d) return;
  const std::time_t maintenant = std::time(nullptr);
  while (const dirent* e = ::readdir(d)) {
    const std::string nom = e->d_name;
    const auto marque = nom.rfind(MarqueTemporaire);
    if (nom.size() < 2 || nom[0] != '.' || marque == std::string::npos ||
        nom.size() != marque + std::strlen(MarqueTemporaire) + 6)
      continue;
    const std::string chemin = dossier + "/" + nom;
    struct stat st {};
    if (::lstat(chemin.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        maintenant - st.st_mtime > 3600)
      ::unlink(chemin.c_str());
  }
  ::closedir(d);
}

// Whether the file system of `dossier` has room for `octets` more bytes.
bool Place(const std::string& dossier, std::size_t octets) {
  struct statvfs v {};
  if (::statvfs(dossier.c_str(), &v) != 0) return true;  // nothing to tell: try
  return static_cast<unsigned long long>(v.f_bavail) * v.f_frsize >= octets + 65536;
}

// One file being written. A regular file is written to a temporary file beside it, renamed over
// it at the end: the old file stays whole until then. Written in place: a device or a FIFO
// (opened at once, without waiting for a reader), a file with several hard links (renaming would
// break them), one whose owner a new file could not keep, one in a folder the user may not
// write — those last ones only once the room for the whole content is known to be there (the
// temporary written in full, or the file system's free space).
class TFichierEnCours {
 public:
  TFichierEnCours(std::string chemin, std::string_view contenu)
      : demande_(std::move(chemin)), contenu_(contenu) {
    cible_ = Destination(demande_);
    struct stat st {};
    const bool existe = ::stat(cible_.c_str(), &st) == 0;
    if (existe && S_ISDIR(st.st_mode)) Echouer(demande_, EISDIR);
    if (existe && !S_ISREG(st.st_mode)) {
      OuvrirSpecial();
      return;
    }
    const std::string dossier = DossierDe(cible_);
    NettoyerTemporaires(dossier);
    const std::filesystem::path c(cible_);
    std::string modele = dossier + "/." + c.filename().string() + MarqueTemporaire + "XXXXXX";
    temporaire_.assign(modele.begin(), modele.end());
    temporaire_.push_back('\0');
    const int fd = ::mkstemp(temporaire_.data());
    if (fd < 0) {
      const int erreur = errno;
      temporaire_.clear();
      // A file the user may write in a folder they may not: in place, room checked.
      if (existe && (erreur == EACCES || erreur == EPERM || erreur == EROFS) &&
          ::access(cible_.c_str(), W_OK) == 0) {
        PreparerEnPlace(dossier, st.st_size);
        return;
      }
      Echouer(demande_, erreur);
    }
    int erreur = 0;
    bool ok = ToutEcrire(fd, contenu, erreur);
    if (ok && ::fsync(fd) != 0) ok = false, erreur = errno;
    // mkstemp makes the file private: a replaced file keeps its permissions and owner, a new
    // one gets the usual ones.
    mode_t mode = 0666;
    bool proprietaire = true;
    if (existe) {
      mode = st.st_mode & 07777;
      if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
        proprietaire = ::fchown(fd, st.st_uid, st.st_gid) == 0;
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
    // A file with several hard links (renaming would part it from them), or another user's
    // whose owner a new file could not keep: written in place once the temporary has proved
    // that the whole content fits; the temporary goes first, which frees that room.
    if ((existe && st.st_nlink > 1) || !proprietaire) enPlace_ = true;
  }
  ~TFichierEnCours() {
    Abandonner();
    if (fd_ >= 0) ::close(fd_);
  }
  bool EnPlace() const { return enPlace_; }
  bool Special() const { return fd_ >= 0; }

  void Valider() {
    if (enPlace_) {
      Abandonner();
      int fd = fd_;
      fd_ = -1;
      if (fd < 0) fd = ::open(cible_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
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
  // A device or a FIFO: opened now, so that a FIFO without a reader is refused before anything
  // is replaced instead of blocking.
  void OuvrirSpecial() {
    enPlace_ = true;
    fd_ = ::open(cible_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) Echouer(demande_, errno);
    const int drapeaux = ::fcntl(fd_, F_GETFL);
    if (drapeaux >= 0) ::fcntl(fd_, F_SETFL, drapeaux & ~O_NONBLOCK);
  }
  // A regular file written in place: only when the file system has room for the new content
  // beyond what the old one will free, so that it is never left half written for want of
  // space.
  void PreparerEnPlace(const std::string& dossier, off_t ancienne) {
    enPlace_ = true;
    const std::size_t taille = contenu_.size();
    const std::size_t libere = ancienne > 0 ? static_cast<std::size_t>(ancienne) : 0;
    if (taille > libere && !Place(dossier, taille - libere)) Echouer(demande_, ENOSPC);
  }

  std::string demande_, cible_;
  std::string_view contenu_;
  std::vector<char> temporaire_;
  bool enPlace_ = false;
  int fd_ = -1;
};

}  // namespace

void EcrireFichierAtomique(const std::string& chemin, std::string_view contenu) {
  TFichierEnCours f(chemin, contenu);
  f.Valider();
}

void EcrireFichiersAtomiques(const std::vector<std::pair<std::string, std::string>>& fichiers) {
  // Every temporary complete and every special file open first; then the devices and FIFOs (one
  // that refuses its data fails the run before anything is replaced); then the files written in
  // place, whose room is known; then the renames.
  std::vector<std::unique_ptr<TFichierEnCours>> enCours;
  for (const auto& [chemin, contenu] : fichiers)
    enCours.push_back(std::make_unique<TFichierEnCours>(chemin, contenu));
  std::vector<TFichierEnCours*> ordre;
  for (auto& f : enCours)
    if (f->Special()) ordre.push_back(f.get());
  for (auto& f : enCours)
    if (f->EnPlace() && !f->Special()) ordre.push_back(f.get());
  for (auto& f : enCours)
    if (!f->EnPlace()) ordre.push_back(f.get());
  for (TFichierEnCours* f : ordre) f->Valider();
}

}  // namespace quelvane
