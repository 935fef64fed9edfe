#pragma once
// Subcommands of quelvane-batch. Each returns the process exit status.

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/empilement.h"
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
  // One still image, or a series: a video, a cube of frames, several files.
  std::vector<std::string> Intra;
  std::vector<std::string> Extra;
  // The test star of each side, "X,Y" (column and row of the file's image): --star twice
  // (intra then extra), or --intra-star and --extra-star.
  std::vector<std::string> Etoiles;
  std::string EtoileIntra, EtoileExtra;
  std::optional<int> Garde;  // percent of a series' usable frames kept
  std::optional<int> Fils;   // threads
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
  std::string Test;        // the test file to write
  double RotationDeg = 0;  // the optic on its cell
};

int CommandeReconstruction(const TOptionsReconstruction& options);

// `demo`: the reconstruction of the sample pair that comes with the program, with its
// instrument (the windows' "Aide › Test de démonstration").
struct TOptionsDemonstration {
  std::optional<int> Iterations;
  std::optional<int> Fils;
  std::string Preferences, Json, Opd, Zernike;
};
int CommandeDemonstration(const TOptionsDemonstration& options);

// The reconstruction the subcommands share: preferences read, images opened and prepared,
// the test run; throws std::exception with the message to print.
struct TReconstructionBatch {
  TPreferences Prefs;
  std::unique_ptr<TRoddier> Test;
  std::shared_ptr<TPupille> Intra, Extra;                     // the images as opened
  std::shared_ptr<const TEmpilement> SerieIntra, SerieExtra;  // when made of frames
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

// stack: the frames of one side stacked into a FITS file of floating-point samples.
struct TOptionsEmpilementBatch {
  std::vector<std::string> Fichiers;
  std::string Sortie;
  std::string Etoile;
  std::optional<int> Garde;
  std::optional<int> Fils;
  std::string Preferences;
  std::string Json;
};
int CommandeEmpilement(const TOptionsEmpilementBatch& options);

// The options every computation shares: threads (--threads, else the preference), held to the
// cores; a bad value throws with the range.
void FixerFils(std::optional<int> fils, const TkwValue& prefs);
// "X,Y" (or "X;Y" with decimal commas) as a pointed star; throws with the option's name.
std::pair<double, double> LireEtoile(const std::string& texte, const std::string& option);
// What a stack found, as the JSON gives it.
nlohmann::ordered_json JsonEmpilement(const TEmpilement& e);

// report: the HTML report of a test with its pictures, in a folder.
struct TOptionsRapport {
  TOptionsReconstruction Reconstruction;
  std::string Dossier;
  std::string Json;                   // file, "-" for standard output, empty for none
  std::string Test;                   // a test file instead of a reconstruction
  std::vector<std::string> Tendance;  // test files of a night, as a table
  std::vector<int> Termes;
};
int CommandeRapport(const TOptionsRapport& options);
int CommandeFoucault(const TOptionsSimulation& options);

// The figures of a wavefront as `reconstruct --json` gives them (the shared term set), and
// the same as text for a terminal.
nlohmann::ordered_json JsonFigures(TPupille& front, const TkwValue& prefs);
std::string TexteFigures(const TPupille& front, const TkwValue& prefs);

// average, difference, trend: on test files.
struct TOptionsCombinaison {
  std::vector<std::string> Tests;
  bool SansSeparation = false;
  std::string Sortie;  // the combined test file
  std::string Json, Opd, Zernike, Csv;
  std::vector<int> Termes;  // trend: the terms followed
  std::string Preferences;
};
int CommandeMoyenne(const TOptionsCombinaison& options);
int CommandeDifference(const TOptionsCombinaison& options);
int CommandeTendance(const TOptionsCombinaison& options);

// watch: each new pair in a folder becomes a test file, until stopped.
struct TOptionsSurveillance {
  std::string Dossier;
  TOptionsReconstruction Reconstruction;  // --intra and --extra come from the folder
  std::string DossierTests;
  bool ParOrdre = false;
  double Intervalle = 2, Stabilite = 1;
  std::optional<int> MaxTests;
  std::optional<double> Delai;  // seconds without a new pair before stopping
  std::string Tendance;         // CSV rewritten after each test
  std::vector<int> Termes;
};
int CommandeSurveillance(const TOptionsSurveillance& options);

}  // namespace quelvane::batch
