#pragma once
// Subcommands of quelvane-batch. Each returns the process exit status.

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "analysis/roddier.h"
#include "settings/parametres.h"
#include "settings/preferences.h"

namespace quelvane::batch {

constexpr int SortieErreur = 2;

// Preferences from FILE, or from the program's usual Prefs.txt, or the defaults.
// Throws std::runtime_error when FILE is given and cannot be read.
TPreferences ChargerPreferences(const std::string& fichier);

struct TOptionsInfo {
  std::string Fichier;
  bool Json = false;
  std::string Preferences;
};

int CommandeInfo(const TOptionsInfo& options);

struct TOptionsReconstruction {
  std::string Intra;
  std::string Extra;
  double DiametreMm = 0;
  double FocaleMm = 0;
  std::optional<double> DefocalisationMm;
  std::optional<double> PixelMicrons;
  int Binning = 1;
  int BinningLogiciel = 1;
  std::string Source = "infinity";  // infinity | artificial=METRES | curvature | autocollimation
  double AngleDegres = 0;
  std::string Orientation = "x";
  std::optional<int> Iterations;
  std::optional<double> LambdaNm;
  std::string Preferences;
  std::string Json;  // "-" for standard output
  std::string Opd;
  std::string Zernike;
};

int CommandeReconstruction(const TOptionsReconstruction& options);

// The reconstruction the subcommands share: preferences read, images opened and prepared,
// the test run; throws std::exception with the message to print.
struct TReconstructionBatch {
  TPreferences Prefs;
  std::unique_ptr<TRoddier> Test;
  std::shared_ptr<TPupille> Intra, Extra;  // the images as opened
  TParametresTest Parametres;
  std::uint8_t Source = 0;
  nlohmann::ordered_json Json;  // the figures, as `reconstruct --json` writes them
};
TReconstructionBatch ExecuterReconstruction(const TOptionsReconstruction& options);

// interferogram and foucault: from an OPD export or a reconstruction, one picture at an angle
// or a series over half a turn.
struct TOptionsSimulation {
  TOptionsReconstruction Reconstruction;  // used when no wavefront file is given
  std::string Front;                      // OPD export of a wavefront
  int Direction = 0;                      // degrees
  int Franges = 8;
  int Pas = 0;        // > 0: a series over half a turn by this step
  std::string Image;  // JPEG picture; a series inserts the angle before the extension
  std::string Json;
};
int CommandeInterferogramme(const TOptionsSimulation& options);

// psf: the figures of the PSF (peak ratio, encircled energy, transfer function) as JSON and
// CSV, and the PSF picture.
struct TOptionsPSF {
  TOptionsReconstruction Reconstruction;
  std::string Front;
  int Taille = -1;  // index of x1 … x8; −1: the preference FactMultDiff
  bool Log = false;
  std::string Image, Csv, Json;
};
int CommandePSF(const TOptionsPSF& options);

// profile: the meridian profile of a wavefront as CSV.
struct TOptionsProfil {
  TOptionsReconstruction Reconstruction;
  std::string Front;
  double AzimutDeg = 0;
  int Zoom = 1;
  std::string Csv;
  std::string Json;
};
int CommandeProfil(const TOptionsProfil& options);

// prefs: the preferences as the program reads them, changed key by key when asked.
struct TOptionsPreferences {
  std::string Fichier;                    // empty: the program's own Prefs.txt
  std::vector<std::string> Affectations;  // KEY=VALUE
  std::string Json;
};
int CommandePreferences(const TOptionsPreferences& options);

// report: the HTML report of a test with its pictures, in a folder.
struct TOptionsRapport {
  TOptionsReconstruction Reconstruction;
  std::string Dossier;
  std::string Json;  // file, "-" for standard output, empty for none
};
int CommandeRapport(const TOptionsRapport& options);
int CommandeFoucault(const TOptionsSimulation& options);

}  // namespace quelvane::batch
