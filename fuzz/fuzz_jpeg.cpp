// Feeds arbitrary bytes to the JPEG decoder: it must refuse or decode, never crash, never call
// exit() and never allocate more than the bytes can describe.
// Run: fuzz_jpeg -max_len=20000 fuzz/corpus/jpeg

#include <cstddef>
#include <cstdint>
#include <span>

#include "files/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  quelvane::DecoderJPEG(std::as_bytes(std::span(donnees, taille)));
  return 0;
}
