// Feeds arbitrary bytes to the readers of series (SER videos, FITS cubes) as a file: they must
// refuse or read, never crash, hang or allocate beyond what the file holds.
// Run: fuzz_serie -max_len=4000 fuzz/corpus/ser fuzz/corpus/fits

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/serie.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  const int fd = memfd_create("serie", 0);
  if (fd < 0) return 0;
  if (write(fd, donnees, taille) == static_cast<ssize_t>(taille)) {
    const std::string chemin = "/proc/self/fd/" + std::to_string(fd);
    try {
      const auto serie = quelvane::OuvrirSerie({chemin, chemin});
      quelvane::TGrilleReelle image;
      for (int k = 0; k < serie->Nombre() && k < 4; ++k) {
        serie->Lire(k, image);
        serie->NomImage(k);
        serie->Date(k);
      }
    } catch (const quelvane::ErreurSerie&) {
    }
  }
  close(fd);
  return 0;
}
