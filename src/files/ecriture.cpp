#include "files/ecriture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace quelvane {

namespace {

[[noreturn]] void Echouer(const std::string& chemin, int erreur) {
  throw ErreurEcriture("Impossible d'écrire le fichier " + chemin + " : " + std::strerror(erreur));
}

}  // namespace

void EcrireFichierAtomique(const std::string& chemin, std::string_view contenu) {
  const std::filesystem::path cible(chemin);
  const std::string dossier =
      cible.has_parent_path() ? cible.parent_path().string() : std::string(".");
  std::string modele = dossier + "/." + cible.filename().string() + ".XXXXXX";
  std::vector<char> nom(modele.begin(), modele.end());
  nom.push_back('\0');
  const int fd = ::mkstemp(nom.data());
  if (fd < 0) Echouer(chemin, errno);
  auto abandonner = [&](int erreur) {
    ::close(fd);
    ::unlink(nom.data());
    Echouer(chemin, erreur);
  };
  const char* p = contenu.data();
  std::size_t reste = contenu.size();
  while (reste > 0) {
    const ssize_t n = ::write(fd, p, reste);
    if (n < 0) {
      if (errno == EINTR) continue;
      abandonner(errno);
    }
    p += n;
    reste -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) abandonner(errno);
  // mkstemp makes the file private; a replaced file keeps the usual permissions.
  const mode_t masque = ::umask(0);
  ::umask(masque);
  ::fchmod(fd, 0666 & ~masque);
  if (::close(fd) != 0) {
    ::unlink(nom.data());
    Echouer(chemin, errno);
  }
  if (std::rename(nom.data(), chemin.c_str()) != 0) {
    const int erreur = errno;
    ::unlink(nom.data());
    Echouer(chemin, erreur);
  }
}

}  // namespace quelvane
