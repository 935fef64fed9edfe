#pragma once
// A defocused star image made ready for a test.
//
// At opening, as the open commands do it: pupil extracted by the automatic threshold, centre,
// radius and axes found, display levels set; an extra-focal image is turned by 180° so that it
// overlays the intra-focal one.
//
// For a test, on the test's own copies: each image is cut around its pupil to a power-of-two
// square, its background (camera bias and sky, a plane measured beyond the star's light) is
// subtracted, isolated hot and dead pixels are replaced by the median of their neighbours,
// the extra-focal image is scaled to the flux of the intra-focal one and both are thresholded
// again. The signal (I1 − I2)/(I1 + I2) is only a measure of the wavefront once bias and sky
// are out of the denominator and both images carry the same flux.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/erreur_test.h"
#include "analysis/etoiles.h"
#include "core/pupille.h"
#include "settings/preferences.h"

namespace quelvane {

// Smallest image a test can use (rows and columns).
constexpr int TailleImageMin = 3;
// Smallest pupil image a test can use, radius in pixels.
constexpr double RayonPupilleMin = 8;

// False (nothing changed but the threshold and mask) when the field is too small. The test
// star is the brightest complete one, or the one at `pointee` (1-based column and row of the
// image as read, before an extra-focal image is turned; ErreurTest naming the image `nom` when
// there is none there); the threshold and the pupil are taken around it.
bool PreparerImage(TPupille& image, const TkwValue& prefs, bool extraFocale,
                   std::optional<std::pair<double, double>> pointee = {},
                   const std::string& nom = "");

// The star an image's test uses, its threshold and pupil taken around it.
void DefinirZone(TPupille& image, const TEtoile& etoile);
// The star whose light covers (or lies nearest to) that point (1-based column and row) becomes
// the test star; false, the image unchanged, when there is no complete star there.
bool ChoisirEtoileImage(TPupille& image, double colonne, double ligne, const TkwValue& prefs);

// A test's own copy of an image (everything a pupil copy takes).
std::shared_ptr<TPupille> CopieImage(const TPupille& source);

// The background of an image: a plane a + b·(column − centre) + c·(row − centre), fitted
// with 3σ clipping (hot pixels, other stars) to the samples beyond 1.3 R + 4 pixels of the
// pupil centre, within a square of half side `DemiCote` (0: the whole frame) and outside the
// other stars' discs.
struct TFond {
  double Niveau = 0;  // ADU at the pupil centre
  double PenteX = 0;  // ADU per column, to the right
  double PenteY = 0;  // ADU per row, downward
  double Bruit = 0;   // standard deviation of the background samples kept, ADU
  long Echantillons = 0;
  double CentreX = 0;  // the centre (1-based column and row) the plane is written about
  double CentreY = 0;
  double Valeur(double colonne, double ligne) const {
    return Niveau + PenteX * (colonne - CentreX) + PenteY * (ligne - CentreY);
  }
};

struct TRegionFond {
  std::vector<TDisque> Exclus;
  double DemiCote = 0;  // pixels
};
// `nom` names the image in messages ("intra-focale"). Throws ErreurTest when too few
// samples lie beyond the star's light.
TFond MesurerFond(const TPupille& image, double centreX, double centreY, double rayon,
                  const std::string& nom, const TRegionFond& region = {});

// Side of the square grids a test works on for a pupil image of that radius (pixels): a power
// of two leaving room around the light; throws ErreurTest beyond what a desktop can hold.
int CoteGrilleTest(double rayon);

struct TPreparationPaire {
  bool FondCorrige = false;
  TFond FondIntra, FondExtra;
  double RapportFlux = 1;  // flux of the extra-focal image over the intra-focal one, as read
  int Cote = 0;            // side of the square each image was cut to, pixels
  int ColonneIntra = 0, LigneIntra = 0;  // first column and row of the cut in the frame (0-based)
  int ColonneExtra = 0, LigneExtra = 0;
  // Samples of each image's light the camera clipped (kept out of the signal).
  long PixelsSaturesIntra = 0, PixelsSaturesExtra = 0;
  // Samples each file lacked (BLANK, NaN), filled from their neighbours when read.
  long ManquantsIntra = 0, ManquantsExtra = 0;
};

struct TPaireTest {
  std::shared_ptr<TPupille> Intra, Extra;
  TPreparationPaire Preparation;
  // 1 where the sample of the cut was clipped; empty when none was.
  TGrilleReelle SaturesIntra, SaturesExtra;
};

// What the user must know of the images' data before trusting the result (French, one line
// each): clipped samples kept out of the signal, missing samples filled.
std::vector<std::string> AvertissementsPreparation(const TPreparationPaire& preparation);

// The test's own copies of a pair, as described above (with `CorrectionFond` off: only cut).
// Throws ErreurTest, with a French message that names the image, when the pair cannot be
// measured: no pupil, a pupil touching the frame or too small, a background that cannot be
// measured, a pupil that vanishes once it is subtracted, an absurd flux ratio.
TPaireTest PreparerPaire(const TPupille& intra, const TPupille& extra, const TkwValue& prefs);

}  // namespace quelvane
