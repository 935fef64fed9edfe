#pragma once
// The validation matrix of series: short frames of each side made as a planetary camera
// records them (a von Kármán atmosphere per frame, image motion, noise, and in some cases
// cosmic rays, another star, a Bayer mosaic, a faint star), stacked and reconstructed with the
// default preferences, against the wavefront they were made with; and how often the error
// bars cover the true errors.

#include <string>
#include <vector>

#include "settings/preferences.h"
#include "support/simulateur_serie.h"

namespace quelvane::outils {

struct TCasSerie {
  std::string Nom;
  TSerieSimulee Intra, Extra;
};

// Every case (`complete`), or the reduced set the test suite runs.
std::vector<TCasSerie> MatriceSeries(bool complete);

struct TResultatSerie {
  std::string Erreur;  // the program refused the series (empty when it ran)
  TCoefZernike VraisRMS{}, MesuresRMS{}, EcartsRMS{};  // RMS-normalised nanometres
  double ErreurRMS = 0;                                // √Σ over Z5–Z22 of the squared errors
  double RMSVrai = 0, RMSMesure = 0;
  int Lues = 0, GardeesIntra = 0, GardeesExtra = 0;
  int DansUnSigma = 0;  // of the 18 terms Z5–Z22, those whose error is within ±1σ
  std::string Methode;  // of the error bars
};

TResultatSerie EvaluerSerie(const TCasSerie& cas, const TkwValue& prefs);

}  // namespace quelvane::outils
