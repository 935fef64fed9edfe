// Feeds arbitrary bytes to the FITS reader: it must refuse or read, never crash or hang.
// Run: fuzz_fits -max_len=20000 fuzz/corpus/fits

#include <cstddef>
#include <cstdint>
#include <span>

#include "files/fits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  quelvane::TImageFITS image;
  quelvane::TImgInfos infos;
  const auto octets = std::as_bytes(std::span(donnees, taille));
  quelvane::LireFITS(octets, image, infos);
  int tailleEnTete = 0;
  quelvane::TImgInfos entete;
  quelvane::LireEnTeteFITS(octets, tailleEnTete, entete);
  return 0;
}
