#pragma once
// Series of short exposures of a defocused star as a planetary camera records them: each frame
// through its own atmosphere (a von Kármán phase screen), with the image moving, the camera's
// bias, sky and noise, now and then a cosmic ray, other stars in the field and, for a colour
// camera, a Bayer mosaic.

#include <cstdint>
#include <vector>

#include "core/grille.h"
#include "support/simulateur_etoile.h"

namespace quelvane::outils {

struct TAtmosphereSimulee {
  double R0Mm = 80;             // Fried parameter at 500 nm; 0: no atmosphere
  double EchelleExterneM = 10;  // outer scale
  double AgitationPixels = 0;   // telescope shake: standard deviation of the image motion
};

struct TEtoileDuChamp {
  double DecalageX = 0, DecalageY = 0;  // from the test star, pixels (x right, y up)
  double Facteur = 0.3;                 // its flux over the test star's
};

struct TSerieSimulee {
  TTelescopeSimule Telescope;
  TCameraSimulee Camera;  // one short exposure: its flux, noise, bias and the star's place
  TAtmosphereSimulee Atmosphere;
  TSpectreSimule Spectre = {{500, 1}, {560, 1}, {620, 1}};
  bool Intra = true;
  int Images = 40;
  std::uint64_t Graine = 1;
  double RayonsCosmiques = 0;  // mean number of hits per frame
  std::vector<TEtoileDuChamp> AutresEtoiles;
  bool Mosaique = false;  // an RGGB colour camera
};

// Frame k (0-based) of the series, ADU; the same k always gives the same frame.
TGrilleReelle SimulerImageSerie(const TSerieSimulee& serie, int k);

// The same on a grid of 16-bit camera values (rounded, clipped to 0–65535).
std::vector<std::uint16_t> EnSeizeBits(const TGrilleReelle& image);

}  // namespace quelvane::outils

#include <memory>
#include <mutex>

#include "files/serie.h"

namespace quelvane::outils {

// A simulated series read as the program reads a video's frames (each frame simulated once,
// then kept).
class TSerieSimuleeEnMemoire final : public TSerieImages {
 public:
  explicit TSerieSimuleeEnMemoire(TSerieSimulee serie, double pleineEchelle = 65535);
  void Lire(int k, TGrilleReelle& image) const override;
  std::string NomImage(int k) const override;
  std::string Date(int) const override { return {}; }
  TSerieSimulee Parametres;

 private:
  mutable std::mutex verrou_;
  mutable std::vector<std::shared_ptr<const TGrilleReelle>> images_;
};

}  // namespace quelvane::outils
