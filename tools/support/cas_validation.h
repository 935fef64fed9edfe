#pragma once
// The validation matrix: defocused star pairs made the way a camera makes them (bias, sky
// with a gradient, unequal flux, seeing, noise, large aberrations, odd frame sizes, sub-pixel
// centres), each reconstructed through the engine and compared with the wavefront it was
// made with.

#include <string>
#include <vector>

#include "settings/preferences.h"
#include "support/simulateur_etoile.h"

namespace quelvane::outils {

struct TCasValidation {
  std::string Nom;
  TTelescopeSimule Telescope;
  TCameraSimulee Intra;  // the camera for each image: flux, seed and position differ
  TCameraSimulee Extra;
  bool Realiste = false;  // noise, bias, sky, flux difference or seeing beyond 2″
};

// Eighteen terms of mixed aberrations, Z5 to Z22 (un-normalised nanometres), 74.5 nm RMS.
using TTermes = std::vector<std::pair<int, double>>;
const TTermes& TermesMelange();

// Every case (`complete`), or the reduced set the sanitizer build runs.
std::vector<TCasValidation> MatriceValidation(bool complete);

struct TResultatCas {
  std::string Erreur;         // the engine refused the pair (empty when it ran)
  TCoefZernike VraisRMS{};    // truth, RMS-normalised, nanometres
  TCoefZernike MesuresRMS{};  // what the program reports
  double ErreurRMS = 0;       // √Σ over Z5–Z22 of the squared coefficient errors, nm
  double RMSVrai = 0;         // wavefront RMS of the truth without the subtracted terms
  double RMSMesure = 0;
  double RayonVraiPx = 0;
  double RayonMesurePx = 0;
  double ObstructionMesuree = 0;
  int Passes = 0;
};

TResultatCas EvaluerCas(const TCasValidation& cas, const TkwValue& prefs);

// The targets: noise-free ≤ 3 nm and each term within 5 % or 2 nm, total RMS within 5 %;
// realistic ≤ 6 nm and total RMS within 10 %. Empty when met, otherwise why not.
std::string EcartAuxCibles(const TCasValidation& cas, const TResultatCas& r);

}  // namespace quelvane::outils
