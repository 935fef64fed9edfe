#pragma once
// The six palettes of the image windows and the mapping of values to colours. Qt-free: the
// pictures are 24-bit buffers that the windows then show.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quelvane {

struct TCouleur24 {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TCouleur24&) const = default;
};

struct TPaletteCouleurs {
  std::uint8_t Segments = 1;
  std::array<std::array<double, 3>, 9> Arrets{};  // 0..Segments the ramp, 8 the background
};

enum IndicePalette : std::uint8_t {
  NiveauxDeGris = 0,
  FaussesCouleurs1 = 1,
  FaussesCouleurs2 = 2,
  PaletteRVB = 3,
  CorpsNoir = 4,
  Monochrome = 5,
};

extern const std::array<const char*, 6> NomsPalettes;

// Picture of 8-bit red, green, blue pixels, row 0 at the top.
struct TImage24 {
  int Largeur = 0;
  int Hauteur = 0;
  std::vector<std::uint8_t> Pixels;  // R, G, B per pixel
  void Allouer(int l, int h);
  TCouleur24 Pixel(int x, int y) const;
  void DefinirPixel(int x, int y, TCouleur24 c);
};

// The palette module's state: the current palette, the wavelength of "Monochrome" and the
// value mapping lo, r.
class TPalettes {
 public:
  // Index 0..5; any other index leaves the current palette as it is.
  void ChoisirPalette(int indice);
  TCouleur24 CouleurPalette(double v) const;
  TCouleur24 CouleurFond() const;
  // A vertical w × h bar of the whole palette at (x, y), highest colour at the top.
  void TracerPalette(int x, int y, int w, int h, TImage24& image);

  double LongueurOnde = 0;  // nanometres, for "Monochrome"
  double Bas = 0;           // lo
  double Etendue = 1;       // r
  const TPaletteCouleurs& Courante() const { return courante_; }

 private:
  TPaletteCouleurs courante_ = PaletteDe(0, 0);
  static TPaletteCouleurs PaletteDe(int indice, double lambda);
};

TCouleur24 CouleurLongueurOnde(double lambda);

}  // namespace quelvane
