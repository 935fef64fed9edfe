#pragma once
// The frames of one side of a test: a SER video, a FITS cube whose third axis holds frames, or
// several files (FITS images or cubes, SER videos) taken one after the other. Frames are read
// one at a time and on demand, so that memory stays that of a few frames whatever the length
// of the video; several threads may read at once.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/grille.h"
#include "core/imginfos.h"

namespace quelvane {

// A series that cannot be read, with the French message naming the file (and the frame).
struct ErreurSerie : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TDescriptionSerie {
  std::string Format;  // "SER", "FITS"
  int Largeur = 0, Hauteur = 0;
  int Annoncees = 0;  // frames the files announce
  int Nombre = 0;     // whole frames there are to read
  // A colour mosaic (Bayer) read as grey: each pixel the mean of the 2 × 2 cell starting at
  // it, one red, two green and one blue sample whatever the mosaic.
  bool Mosaique = false;
  int Profondeur = 0;        // bits per sample (SER) or BITPIX (FITS) of the first file
  double PleineEchelle = 0;  // largest value the camera records, as read (ADU); 0 unknown
  std::string OrdreOctets;   // how 16-bit SER samples were read, and why
  std::vector<std::string> Avertissements;  // frames missing, files skipped
  std::vector<std::string> Fichiers;        // the files read, in order
  TImgInfos Infos;                          // header of the first file
  double PoseSecondes = 0;  // exposure of one frame when known (FITS EXPTIME), else 0
};

class TSerieImages {
 public:
  virtual ~TSerieImages() = default;
  const TDescriptionSerie& Description() const { return description_; }
  int Nombre() const { return description_.Nombre; }
  // Frame k (0-based): one plane of doubles, row 1 at the top, as the camera saw it; missing
  // samples are NaN. Throws ErreurSerie naming the file and the frame.
  virtual void Lire(int k, TGrilleReelle& image) const = 0;
  // "video.ser, image 12" (frames numbered from 1).
  virtual std::string NomImage(int k) const = 0;
  // When frame k was taken (ISO 8601, UTC when known); empty when the files do not say.
  virtual std::string Date(int k) const = 0;

 protected:
  TDescriptionSerie description_;
};

// Opens the files of one side. A file that cannot be read among others that can is skipped
// and named in the warnings; frames of another size than the first file's are refused.
// Throws ErreurSerie when nothing can be read.
std::unique_ptr<TSerieImages> OuvrirSerie(const std::vector<std::string>& fichiers);

// Whether a file holds several frames (a SER video, a FITS cube of frames): such a file is a
// series on its own.
bool EstUneSerie(const std::string& fichier);

// A colour mosaic as grey: each pixel the mean of the 2 × 2 cell starting at it (the last row
// and column take the cell before them), which holds one red, two green and one blue sample
// whatever the mosaic's order. The picture moves by half a pixel, the same in every frame.
void LuminanceMosaique(TGrilleReelle& image);

// The French message for "read n of m announced frames".
std::string ImagesLuesSurAnnoncees(int lues, int annoncees);

}  // namespace quelvane
