#include "ui/rendu.h"

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

}  // namespace quelvane
