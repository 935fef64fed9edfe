#pragma once
// The star images of a frame. A camera frame may hold other stars beside the one being tested;
// the test star is the brightest complete defocused image (the most light, not touching the
// frame's border), unless the user points at another. Everything a test measures (threshold,
// pupil, background, flux) is then measured around that star, with the others' light kept
// out, so that neither another star nor the size of the frame changes a result.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/fonctionxy.h"
#include "core/pupille.h"

namespace quelvane {

struct TEtoile {
  double CentreX = 0, CentreY = 0;  // 1-based column and row of the centre of its light
  double Rayon = 0;                 // pixels: radius of the disc its light covers, holes included
  double Flux = 0;                  // ADU above the background
  bool Entiere = true;              // its light does not touch the frame's border
  bool Defocalisee = true;          // large enough to be a defocused image, not a point
};

struct TChampEtoiles {
  std::vector<TEtoile> Etoiles;  // by decreasing flux
  double Fond = 0;               // ADU, the background level at the frame's centre
  double Bruit = 0;              // ADU, standard deviation of one pixel of background
};

// Every star image standing out of the noise, found on a copy binned to at most `coteMax`
// pixels a side and cleaned by a 3 × 3 median. Lumps of light whose gaps are narrow against the
// image (spider vanes, the shadow of the secondary mirror) count as one star. The centre and radius
// are then measured on the frame itself, at half the star's own level.
TChampEtoiles TrouverEtoiles(const TFctXY& image, int coteMax = 512);
// A fingerprint of a field's size and samples (bit for bit).
std::uint64_t EmpreinteEchantillons(const TFctXY& image);
// The stars of an image: those it keeps from its preparation when its samples are still the
// ones they were found on, else found again (TrouverEtoiles).
TChampEtoiles EtoilesDe(const TPupille& image);
// Keeps `champ`, found on the image's present samples, with their fingerprint.
void RetenirEtoiles(TPupille& image, TChampEtoiles champ);
// Enough for the frames of a series, which are many and where the star is already known.
constexpr int CoteDetectionSerie = 256;

// Radius (pixels) beyond which a star image holds no more of its light: the edge spread by
// diffraction and seeing stays well inside it.
inline double RayonLumiere(double rayon) { return 1.3 * rayon + 4; }

// The test star: the defocused, complete one nearest to `pres` (1-based column and row) when
// given — the one whose light covers that point, or the nearest within its own radius — else
// the one with the most light. Nothing when there is none.
std::optional<TEtoile> ChoisirEtoile(const TChampEtoiles& champ,
                                     std::optional<std::pair<double, double>> pres = {});

// Why no star could be chosen, in French, for a message naming the image (`nom`).
std::string RaisonSansEtoile(const TChampEtoiles& champ, const std::string& nom,
                             bool pointee = false);

// The other stars, as discs to keep out of a test star's measurements: their light's disc,
// widened by `marge` pixels.
struct TDisque {
  double X = 0, Y = 0, Rayon = 0;  // 1-based centre, pixels
};
std::vector<TDisque> AutresEtoiles(const TChampEtoiles& champ, const TEtoile& choisie,
                                   double marge);
inline bool DansUnDisque(const std::vector<TDisque>& disques, double x, double y) {
  for (const TDisque& d : disques)
    if ((x - d.X) * (x - d.X) + (y - d.Y) * (y - d.Y) <= d.Rayon * d.Rayon) return true;
  return false;
}

}  // namespace quelvane
