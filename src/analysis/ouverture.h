#pragma once
// One side of a test opened from its files, the same way for the windows and the command line:
// a single still image is read and prepared as the open commands prepare it; a video, a cube
// of frames or several files are stacked first, and the stack is prepared likewise.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/empilement.h"
#include "analysis/progression.h"
#include "core/pupille.h"
#include "files/jpeg.h"
#include "settings/preferences.h"

namespace quelvane {

// A file that is not an image the program reads, with the French message to show.
struct ErreurOuverture : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TOptionsOuverture {
  // The test star pointed at: 1-based column and row of the file's image (a frame of a series),
  // as the camera recorded it.
  std::optional<std::pair<double, double>> Etoile;
  int PourcentGarde = 100;  // of a series' usable frames
  int Fils = 0;             // 0: as set for the program
  // A still image of more than four million pixels is kept only around its test star (the
  // square the test's grid and its background take, with a margin): for the command line,
  // which shows no frame. The windows keep the whole frame the camera recorded.
  bool Recadrer = false;
};

struct TImageOuverte {
  std::shared_ptr<TPupille> Image;  // prepared: its test star, threshold and pupil found
  // What the stacking found, frame by frame (without its image grids); null for one image.
  std::shared_ptr<const TEmpilement> Empilement;
  std::string Legende;             // the window's caption: "video.ser (187 images sur 200)"
  long EchantillonsManquants = 0;  // missing samples of a single image (BLANK, NaN), filled
};

// `extra`: the extra-focal side (turned by 180° once prepared). Throws ErreurOuverture (a file
// that cannot be read), ErreurSerie, ErreurTest (no usable star or frame) or ErreurAnnulation.
TImageOuverte OuvrirCoteDuTest(const std::vector<std::string>& fichiers, bool extra,
                               const TkwValue& prefs, const TOptionsOuverture& options,
                               IProgression& progression);

// The part of a large picture a test needs: around its test star, the square the test's grid
// and its background take, with a margin (0-based column and row of its first sample, size).
// The whole picture when it is small (four million pixels or fewer) or holds no star.
struct TCadre {
  int Colonne = 0, Ligne = 0, Largeur = 0, Hauteur = 0;
};
TCadre CadreUtile(const TImageJPEG& image);

// Whether these files make a series (several files, a video, a cube of frames).
bool FormentUneSerie(const std::vector<std::string>& fichiers);

}  // namespace quelvane
