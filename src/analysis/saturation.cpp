#include "analysis/saturation.h"

#include <algorithm>
#include <cmath>

namespace quelvane {

bool Isole(const TFctXY& im, int r, int c, double niveau) {
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      const int rr = r + dr, cc = c + dc;
      if ((dr || dc) && rr >= 0 && rr < im.NY && cc >= 0 && cc < im.NX && im.V(rr, cc) >= niveau)
        return false;
    }
  return true;
}

TSaturation MesurerSaturation(const TFctXY& im, double cx, double cy, double rayon,
                              double pleineEchelle, double fond, double bruit) {
  auto borne = [](double v, int n) { return static_cast<int>(std::clamp(v, 0.0, n - 1.0)); };
  const int c0 = borne(std::floor(cx - 1 - rayon), im.NX),
            c1 = borne(std::ceil(cx - 1 + rayon), im.NX);
  const int l0 = borne(std::floor(cy - 1 - rayon), im.NY),
            l1 = borne(std::ceil(cy - 1 + rayon), im.NY);
  const double pleine = 0.999 * pleineEchelle;
  TSaturation s;
  long echantillons = 0, auMaximum = 0;
  double maximum = -std::numeric_limits<double>::infinity();
  for (int r = l0; r <= l1; ++r)
    for (int c = c0; c <= c1; ++c) {
      const double x = c + 1 - cx, y = r + 1 - cy;
      const double v = im.V(r, c);
      if (x * x + y * y > rayon * rayon || !std::isfinite(v)) continue;
      ++echantillons;
      if (pleineEchelle > 0 && v >= pleine && !Isole(im, r, c, 0.5 * pleineEchelle)) ++s.Pixels;
      if (v > maximum) maximum = v, auMaximum = 0;
      if (v == maximum) ++auMaximum;
    }
  if (s.Pixels > 0) {
    s.Niveau = pleine;
    return s;
  }
  // A flat top of equal values is a clipped one, whatever the announced full scale; with coarse
  // (8-bit) steps a few samples share the maximum by chance, a clipped area many more.
  if (auMaximum >= std::max(4L, echantillons / 500) && maximum > fond + 10 * bruit) {
    s.Niveau = maximum;
    s.Pixels = auMaximum;
  }
  return s;
}

}  // namespace quelvane
