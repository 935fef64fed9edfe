#include "settings/demonstration.h"

#include <filesystem>

namespace quelvane {

TEntreesTest EntreesDemonstration() {
  TEntreesTest e;
  e.DiametreMm = 200;
  e.FocaleMm = 1000;
  e.PixelMicrons = 5.2;
  return e;
}

std::string DossierDemonstration(const std::string& dossierProgramme, const std::string& source) {
  namespace fs = std::filesystem;
  const fs::path programme(dossierProgramme);
  for (const fs::path& d :
       {programme / "samples", programme / ".." / "share" / "quelvane" / "samples",
        fs::path(source)}) {
    std::error_code ec;
    if (!d.empty() && fs::is_regular_file(d / ImageDemonstrationIntra, ec) &&
        fs::is_regular_file(d / ImageDemonstrationExtra, ec))
      return fs::weakly_canonical(d, ec).string();
  }
  return {};
}

}  // namespace quelvane
