// Writes the demonstration image of samples/: a defocused star as a 16-bit camera records it
// (unsigned, BZERO 32768), a bright annulus with its central obstruction on a noisy sky.
// Usage: generer-echantillons DOSSIER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

#include "support/ecriture_fits.h"

namespace {

using quelvane::outils::TCarteFITS;
using quelvane::outils::TImageAEcrire;

// Deterministic noise, so the file is the same on every machine.
class TBruit {
 public:
  double Gauss() {
    const double u1 = (Suivant() + 1.0) / 4294967297.0, u2 = Suivant() / 4294967296.0;
    return std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

 private:
  std::uint32_t Suivant() {
    etat_ = etat_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(etat_ >> 32);
  }
  std::uint64_t etat_ = 0x5eed;
};

TImageAEcrire EtoileDefocalisee() {
  constexpr int Cote = 256;
  constexpr double Rayon = 70, Obstruction = 0.25, Fond = 1500, Plateau = 30000;
  constexpr double CentreX = 131.3, CentreY = 124.6;  // 0-based pixel centres
  constexpr int SousPixels = 4;
  TImageAEcrire im;
  im.Bitpix = 16;
  im.Largeur = im.Hauteur = Cote;
  im.Valeurs.resize(Cote * Cote);
  TBruit bruit;
  for (int r = 0; r < Cote; ++r)
    for (int c = 0; c < Cote; ++c) {
      double flux = 0;
      for (int sy = 0; sy < SousPixels; ++sy)
        for (int sx = 0; sx < SousPixels; ++sx) {
          const double x = c - 0.5 + (sx + 0.5) / SousPixels - CentreX;
          const double y = r - 0.5 + (sy + 0.5) / SousPixels - CentreY;
          const double rho = std::hypot(x, y) / Rayon;
          // Soft edges (diffraction and seeing) and a brighter outer zone.
          const double bord = 0.5 * std::erfc((rho - 1) * Rayon / 2.0);
          const double trou = 0.5 * std::erfc((Obstruction - rho) * Rayon / 2.0);
          flux += bord * trou * (0.85 + 0.25 * rho * rho);
        }
      flux /= SousPixels * SousPixels;
      const double v =
          Fond + Plateau * flux + bruit.Gauss() * std::sqrt(Fond + Plateau * flux) * 0.5;
      const double adu = std::clamp(std::round(v), 0.0, 65535.0);
      im.Valeurs[r * Cote + c] = adu - 32768;  // stored signed, BZERO restores it
    }
  im.Cartes = {
      {"BZERO", "32768"},
      {"BSCALE", "1"},
      {"DATE-OBS", "'2026-03-14T21:42:07'"},
      {"EXPOSURE", "2.5"},
      {"TELESCOP", "'Newton 200/1000'"},
      {"INSTRUME", "'Camera demonstration'"},
      {"OBSERVER", "'Quelvane'"},
      {"XPIXELSZ", "5.2"},
      {"YPIXELSZ", "5.2"},
      {"FOCLEN", "1.0"},
      {"DIAMETER", "200"},
      {"COMMENT", "Etoile defocalisee de demonstration (image synthetique)", true},
  };
  return im;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage : generer-echantillons DOSSIER\n";
    return 2;
  }
  const std::string dossier = argv[1];
  if (!quelvane::outils::EcrireFITS(dossier + "/etoile-defocalisee.fit", EtoileDefocalisee())) {
    std::cerr << "écriture impossible dans " << dossier << '\n';
    return 2;
  }
  return 0;
}
