#include "settings/demonstration.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "commandes.h"

namespace quelvane::batch {

int CommandeDemonstration(const TOptionsDemonstration& o) {
  std::error_code ec;
  const auto programme = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
  const std::string dossier = DossierDemonstration(programme.string(), QUELVANE_SAMPLES_SOURCE);
  if (dossier.empty())
    throw std::runtime_error(std::string("La paire d'images de démonstration (") +
                             ImageDemonstrationIntra + ", " + ImageDemonstrationExtra +
                             ") est introuvable près du programme.");
  const TEntreesTest e = EntreesDemonstration();
  TOptionsReconstruction r;
  r.Intra = {dossier + "/" + ImageDemonstrationIntra};
  r.Extra = {dossier + "/" + ImageDemonstrationExtra};
  r.DiametreMm = e.DiametreMm;
  r.FocaleMm = e.FocaleMm;
  r.PixelMicrons = e.PixelMicrons;
  r.Binning = e.BinAcquisition;
  r.BinningLogiciel = e.BinLogiciel;
  r.Iterations = o.Iterations;
  r.Fils = o.Fils;
  r.Preferences = o.Preferences;
  r.Json = o.Json;
  r.Opd = o.Opd;
  r.Zernike = o.Zernike;
  return CommandeReconstruction(r);
}

}  // namespace quelvane::batch
