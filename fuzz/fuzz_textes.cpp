// Feeds arbitrary bytes to the readers of text files the user may hand the program: the OPD
// wavefront export and the preferences file. The first byte chooses the reader. They must
// refuse or read, never crash, hang or allocate without bound.
// Run: fuzz_textes -max_len=20000 fuzz/corpus/textes

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "files/export_texte.h"
#include "settings/preferences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  if (taille == 0) return 0;
  const std::string texte(reinterpret_cast<const char*>(donnees) + 1, taille - 1);
  switch (donnees[0] % 2) {
    case 0: try { quelvane::LireOPD(texte);
      } catch (const std::exception&) {
      }
      break;
    default: {
      quelvane::TPreferences p;
      const auto lecture = quelvane::LirePreferencesTexte(p, texte, "Prefs.txt");
      quelvane::TextePreferences(p);
      quelvane::TexteLecturePreferences(lecture);
    }
  }
  return 0;
}
