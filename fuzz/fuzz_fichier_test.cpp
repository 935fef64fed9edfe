// Feeds arbitrary bytes to the reader of test files: refused or read, never a crash, a hang or
// an allocation beyond what the bytes can fill. What is read is written again and must read
// back.
// Run: fuzz_fichier_test -max_len=200000 fuzz/corpus/tests

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/fichier_test.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  const std::string_view texte(reinterpret_cast<const char*>(donnees), taille);
  try {
    const quelvane::TTestEnregistre t = quelvane::LireTest(texte);
    const quelvane::TTestEnregistre u = quelvane::LireTest(quelvane::TexteTest(t));
    if (u.Front.NX != t.Front.NX || u.Front.NY != t.Front.NY) std::abort();
  } catch (const quelvane::ErreurFichierTest&) {
  }
  return 0;
}
