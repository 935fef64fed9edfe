#include "rendu/rendu.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/mathematiques.h"

namespace quelvane {

void Dessiner(TFctXY& f, TPalettes& palettes, TImage24& image) {
  TFctXY ombre;
  const bool relief = f.Relief != 0 && f.Alloue();
  if (relief) {
    ombre.Allouer(f.NX, f.NY);
    ombre.DeriveeDirectionnelle(f, -std::numbers::pi / 4);
    ombre.CopierMasque(f);
    ombre.MinMaxMasque();
  }
  image.Allouer(f.NX, f.NY);
  if (!f.Alloue()) return;
  f.MinMax();
  if (f.SeuilHaut == 0 && f.SeuilBas == 0) {
    f.SeuilHaut = f.Maxi;
    f.SeuilBas = f.Mini;
  }
  palettes.ChoisirPalette(f.Palette);
  const double r = (f.SeuilHaut - f.SeuilBas) * f.Contraste;
  palettes.Bas = f.SeuilBas + (f.SeuilHaut - f.SeuilBas) / 2 - r / 2;
  palettes.Etendue = r;
  if (r == 0) return;
  const TCouleur24 fond = palettes.CouleurFond();
  for (int y = 0; y < f.NY; ++y) {
    const double* ligne = f.Donnees.Ligne(y);
    const std::int16_t* masque = f.Masque.Ligne(y);
    for (int x = 0; x < f.NX; ++x) {
      TCouleur24 c = (masque[x] != 1 && f.MasqueVisible) ? fond : palettes.CouleurPalette(ligne[x]);
      if (relief && ombre.Etendue != 0) {
        // A flat shading field leaves the colours as they are.
        const double s = (ombre.V(y, x) - ombre.Mini) / ombre.Etendue;
        auto nuance = [&](std::uint8_t o) {
          return static_cast<std::uint8_t>(static_cast<long long>(ArrondiPair(o * s)) & 0xFF);
        };
        c = {nuance(c.R), nuance(c.G), nuance(c.B)};
      }
      image.DefinirPixel(x, y, c);
    }
  }
}

std::vector<TTraceEcran> TracesEcran(const TFctXY& f) {
  std::vector<TTraceEcran> traces;
  for (const TTrace& t : f.Traces) {
    if (!t.Visible) continue;
    TTraceEcran e;
    e.Cercle = t.Forme == 1;
    const double x1 = e.Cercle ? t.X1 - t.Rayon : t.X1, y1 = e.Cercle ? t.Y1 - t.Rayon : t.Y1;
    const double x2 = e.Cercle ? t.X1 + t.Rayon : t.X2, y2 = e.Cercle ? t.Y1 + t.Rayon : t.Y2;
    // ColonneDeX/LigneDeY give 1-based positions; the picture counts from 0.
    e.X1 = f.ColonneDeX(x1, 0) - 1;
    e.Y1 = f.LigneDeY(y1, 0) - 1;
    e.X2 = f.ColonneDeX(x2, 0) - 1;
    e.Y2 = f.LigneDeY(y2, 0) - 1;
    traces.push_back(e);
  }
  return traces;
}

namespace {

constexpr TCouleur24 RougeTrace{255, 0, 0};

void Point(TImage24& im, int x, int y) {
  if (x >= 0 && y >= 0 && x < im.Largeur && y < im.Hauteur) im.DefinirPixel(x, y, RougeTrace);
}

void Segment(TImage24& im, int x1, int y1, int x2, int y2) {
  // Bresenham, every octant; ends far outside the picture are clipped to a bound first.
  const int borne = 4 * (im.Largeur + im.Hauteur) + 16;
  x1 = std::clamp(x1, -borne, borne), x2 = std::clamp(x2, -borne, borne);
  y1 = std::clamp(y1, -borne, borne), y2 = std::clamp(y2, -borne, borne);
  const int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
  const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  int e = dx + dy;
  for (;;) {
    Point(im, x1, y1);
    if (x1 == x2 && y1 == y2) break;
    const int e2 = 2 * e;
    if (e2 >= dy) e += dy, x1 += sx;
    if (e2 <= dx) e += dx, y1 += sy;
  }
}

void Ellipse(TImage24& im, int x1, int y1, int x2, int y2) {
  const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
  const double a = std::abs(x2 - x1) / 2.0, b = std::abs(y2 - y1) / 2.0;
  if (a > 4 * (im.Largeur + im.Hauteur) || b > 4 * (im.Largeur + im.Hauteur)) return;
  const int n = std::max(16, static_cast<int>(8 * (a + b)));
  for (int i = 0; i < n; ++i) {
    const double t = 2 * 3.14159265358979 * i / n;
    Point(im, static_cast<int>(std::lround(cx + a * std::cos(t))),
          static_cast<int>(std::lround(cy + b * std::sin(t))));
  }
}

}  // namespace

TFctXY VueLogarithmique(const TFctXY& champ) {
  TFctXY v;
  v.Copier(champ);
  double maxi = 0;
  for (double x : champ.Donnees.Plan(0)) maxi = std::max(maxi, x);
  for (double& x : v.Donnees.Plan(0)) x = maxi > 0 ? std::log10(std::max(x / maxi, 1e-6)) : 0;
  v.SeuilBas = v.SeuilHaut = 0;  // the display range follows the new values
  return v;
}

TImage24 ImageDuChamp(TFctXY& champ, TPalettes& palettes, double lambda, bool couleurLambda,
                      bool echelle) {
  const double avant = palettes.LongueurOnde;
  if (couleurLambda) palettes.LongueurOnde = lambda;
  TImage24 image;
  Dessiner(champ, palettes, image);
  palettes.LongueurOnde = avant;
  // A 4-pixel bar against the right edge, 20 pixels from top and bottom.
  if (echelle) palettes.TracerPalette(image.Largeur - 4, 20, 4, image.Hauteur - 40, image);
  for (const TTraceEcran& t : TracesEcran(champ)) {
    if (t.Cercle)
      Ellipse(image, t.X1, std::min(t.Y1, t.Y2), t.X2, std::max(t.Y1, t.Y2));
    else
      Segment(image, t.X1, t.Y1, t.X2, t.Y2);
  }
  return image;
}

}  // namespace quelvane
