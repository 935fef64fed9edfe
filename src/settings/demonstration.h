#pragma once
// The demonstration test: the sample pair that comes with the program and the instrument it
// was made for, so that a newcomer reaches a wavefront without a telescope or a manual.

#include <string>
#include <vector>

#include "settings/saisie_parametres.h"

namespace quelvane {

constexpr const char* ImageDemonstrationIntra = "etoile-intra.fit";
constexpr const char* ImageDemonstrationExtra = "etoile-extra.fit";

// A 200 mm f/5 Newtonian, 5.2 µm pixels, binning 1; the defocus comes from the pupils' radii.
TEntreesTest EntreesDemonstration();

// The folder holding the sample pair: beside the program, under share/ once installed, else
// the source tree's `source` (empty when none holds both images).
std::string DossierDemonstration(const std::string& dossierProgramme, const std::string& source);

}  // namespace quelvane
