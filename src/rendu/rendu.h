#pragma once
// A field drawn in false colour, one pixel per sample, and the overlays drawn over it.

#include <vector>

#include "core/fonctionxy.h"
#include "rendu/palettes.h"

namespace quelvane {

// Draws `champ` through its palette, thresholds, contrast, relief and visible mask. Sets
// SeuilBas/SeuilHaut from the extremes when both are 0 (as the program always has).
void Dessiner(TFctXY& champ, TPalettes& palettes, TImage24& image);

struct TTraceEcran {
  bool Cercle = false;
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // segment ends, or the circle's bounding box (pixels)
};
// The visible overlays in picture pixels (0-based).
std::vector<TTraceEcran> TracesEcran(const TFctXY& champ);

// A PSF shown on a logarithmic scale: log₁₀ of the value over the maximum, 10⁻⁶ at the least
// (six decades: the rings far out show, the peak does not swamp them).
TFctXY VueLogarithmique(const TFctXY& champ);

// The picture a window shows of a field, the same in the windows, the saved pictures and the
// command line: the field through its palette (in the colour of its wavelength when
// `couleurLambda`), the palette bar against the right edge when `echelle`, the overlays in red.
TImage24 ImageDuChamp(TFctXY& champ, TPalettes& palettes, double lambda, bool couleurLambda,
                      bool echelle);

}  // namespace quelvane
