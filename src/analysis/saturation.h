#pragma once
// Samples of a star's light the camera clipped: at its full scale, or, when that is unknown,
// on a flat top of equal values far above the background. A clipped sample says only that the
// light was at least that much, so the signal there is unknown.

#include <limits>

#include "core/fonctionxy.h"

namespace quelvane {

struct TSaturation {
  // Raw value from which a sample counts as clipped; +∞ when nothing is.
  double Niveau = std::numeric_limits<double>::infinity();
  long Pixels = 0;  // clipped samples in the star's light, cosmic-ray hits aside
};

// Within `rayonLumiere` pixels of (centreX, centreY), 1-based. `pleineEchelle`: the camera's
// largest value as read (0 unknown); `fond` and `bruit`: the background's level and noise there.
TSaturation MesurerSaturation(const TFctXY& image, double centreX, double centreY,
                              double rayonLumiere, double pleineEchelle, double fond, double bruit);

// A sample whose eight neighbours all stay below `niveau`: a cosmic ray's hit, not the star's
// light at full scale.
bool Isole(const TFctXY& image, int ligne, int colonne, double niveau);

}  // namespace quelvane
