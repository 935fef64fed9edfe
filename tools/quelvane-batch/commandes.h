#pragma once
// Subcommands of quelvane-batch. Each returns the process exit status.

#include <optional>
#include <string>

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

}  // namespace quelvane::batch
