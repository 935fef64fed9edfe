#include "rendu/palettes.h"

#include <algorithm>
#include <cmath>

#include "core/mathematiques.h"

namespace quelvane {

const std::array<const char*, 6> NomsPalettes = {"Niveaux de gris",    "Fausses couleurs 1",
                                                 "Fausses couleurs 2", "RVB",
                                                 "Corps noir",         "Monochrome"};

void TImage24::Allouer(int l, int h) {
  Largeur = std::max(l, 0);
  Hauteur = std::max(h, 0);
  Pixels.assign(static_cast<std::size_t>(Largeur) * Hauteur * 3, 0);
}

TCouleur24 TImage24::Pixel(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * Largeur + x) * 3;
  return {Pixels[i], Pixels[i + 1], Pixels[i + 2]};
}

void TImage24::DefinirPixel(int x, int y, TCouleur24 c) {
  const std::size_t i = (static_cast<std::size_t>(y) * Largeur + x) * 3;
  Pixels[i] = c.R;
  Pixels[i + 1] = c.G;
  Pixels[i + 2] = c.B;
}

namespace {

using A = std::array<double, 3>;
constexpr A Noir{0, 0, 0}, Blanc{1, 1, 1}, Bleu{0, 0, 1}, Rouge{1, 0, 0}, Vert{0, 1, 0},
    Jaune{1, 1, 0}, Gris{0.4, 0.4, 0.4};

std::uint8_t Octet(double composante) {
  // Kept to the low 8 bits, as the program always has (the "Monochrome" background of
  // 100 gives 156).
  return static_cast<std::uint8_t>(static_cast<long long>(ArrondiPair(composante * 255)) & 0xFF);
}

}  // namespace

TPaletteCouleurs TPalettes::PaletteDe(int indice, double lambda) {
  TPaletteCouleurs p;
  auto remplir = [&](std::initializer_list<A> arrets, A fond) {
    p.Segments = static_cast<std::uint8_t>(arrets.size() - 1);
    int i = 0;
    for (const A& a : arrets) p.Arrets[i++] = a;
    // The stop after the last only ever enters with weight 0.
    p.Arrets[i] = indice == 1 ? Blanc : Noir;
    p.Arrets[8] = fond;
  };
  switch (indice) {
    case 0: remplir({Noir, Blanc}, Bleu); break;
    case 1: remplir({Noir, {1, 0, 1}, Bleu, {0, 1, 1}, Vert, Jaune, Rouge}, Gris); break;
    case 2: remplir({Noir, Bleu, Rouge, Jaune, Blanc}, Gris); break;
    case 3: remplir({{0, 0, 0.5}, Bleu, Vert, Rouge, {0.5, 0, 0}}, Gris); break;
    case 4: remplir({Noir, {0.5, 0, 0}, {1, 0.5, 0}, {1, 1, 0.5}, Blanc}, Gris); break;
    default: {
      const TCouleur24 c = CouleurLongueurOnde(lambda);
      remplir({Noir, {c.R / 255.0, c.G / 255.0, c.B / 255.0}}, {100, 100, 100});
    }
  }
  return p;
}

void TPalettes::ChoisirPalette(int indice) {
  if (indice < 0 || indice > 5) return;
  courante_ = PaletteDe(indice, LongueurOnde);
}

TCouleur24 TPalettes::CouleurPalette(double v) const {
  double t = (v - Bas) / Etendue;
  if (!(t >= 0)) t = 0;  // negative or not a number
  if (t > 1) t = 1;
  const int n = courante_.Segments;
  const double u = t * n;
  const int k = std::min(static_cast<int>(u), 8);
  const double phi = u - k;
  const auto& a = courante_.Arrets[k];
  const auto& b = courante_.Arrets[std::min(k + 1, 8)];
  auto canal = [&](int i) {
    return static_cast<std::uint8_t>(
        std::clamp<long long>(Arrondi((a[i] + (b[i] - a[i]) * phi) * 255), 0, 255));
  };
  return {canal(0), canal(1), canal(2)};
}

TCouleur24 TPalettes::CouleurFond() const {
  const auto& f = courante_.Arrets[8];
  return {Octet(f[0]), Octet(f[1]), Octet(f[2])};
}

void TPalettes::TracerPalette(int x, int y, int w, int h, TImage24& image) {
  Bas = 0;
  Etendue = h - 1;
  for (int j = 0; j < h; ++j) {
    const TCouleur24 c = CouleurPalette(h - 1 - j);
    for (int i = 0; i < w; ++i) {
      const int px = x + i, py = y + j;
      if (px >= 0 && py >= 0 && px < image.Largeur && py < image.Hauteur)
        image.DefinirPixel(px, py, c);
    }
  }
}

TCouleur24 CouleurLongueurOnde(double lambda) {
  const double b = std::trunc(lambda);
  double r = 0, g = 0, bl = 0;
  if (b >= 380 && b < 440)
    r = (440 - lambda) / 60, bl = 1;
  else if (b >= 440 && b < 490)
    g = (lambda - 440) / 50, bl = 1;
  else if (b >= 490 && b < 510)
    g = 1, bl = (510 - lambda) / 20;
  else if (b >= 510 && b < 580)
    r = (lambda - 510) / 70, g = 1;
  else if (b >= 580 && b <= 644)
    r = 1, g = (645 - lambda) / 65;
  else if (b >= 645 && b <= 780)
    r = 1;
  double f = 0;
  if (b >= 380 && b < 420)
    f = 0.3 + 0.7 * (lambda - 380) / 40;
  else if (b >= 420 && b <= 700)
    f = 1;
  else if (b > 700 && b <= 780)
    f = 0.3 + 0.7 * (780 - lambda) / 80;
  auto octet = [&](double c) {
    return c == 0 ? std::uint8_t{0}
                  : static_cast<std::uint8_t>(Arrondi(255 * std::pow(c * f, 0.8)));
  };
  return {octet(r), octet(g), octet(bl)};
}

}  // namespace quelvane
