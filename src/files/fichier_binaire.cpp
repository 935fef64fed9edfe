#include "files/fichier_binaire.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/erreur_systeme.h"

namespace quelvane {

TFichierBinaire::TFichierBinaire(const std::string& chemin) {
  fd_ = ::open(chemin.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    erreur_ = TexteErreurSysteme(errno);
    return;
  }
  struct stat s {};
  // Only regular files: a FIFO or a device has no size to check a header against.
  if (::fstat(fd_, &s) != 0 || !S_ISREG(s.st_mode)) {
    erreur_ = S_ISDIR(s.st_mode) ? "c'est un dossier" : "ce n'est pas un fichier ordinaire";
    ::close(fd_);
    fd_ = -1;
    return;
  }
  taille_ = static_cast<std::uint64_t>(s.st_size);
}

TFichierBinaire::~TFichierBinaire() {
  if (fd_ >= 0) ::close(fd_);
}

bool TFichierBinaire::Lire(std::uint64_t position, std::size_t n, void* destination) const {
  if (fd_ < 0 || position > taille_ || n > taille_ - position) return false;
  auto* d = static_cast<char*>(destination);
  while (n > 0) {
    const ssize_t lu = ::pread(fd_, d, n, static_cast<off_t>(position));
    if (lu < 0 && errno == EINTR) continue;
    if (lu <= 0) return false;
    d += lu;
    n -= static_cast<std::size_t>(lu);
    position += static_cast<std::uint64_t>(lu);
  }
  return true;
}

}  // namespace quelvane
