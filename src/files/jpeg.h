#pragma once
// JPEG pictures through libjpeg, with an error manager that returns instead of ending the
// program: pictures saved from the windows and the command line (quality 90, baseline,
// colour), colour pictures imported as three images.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quelvane {

// Largest picture decoded, in pixels, checked from the header before anything is allocated.
constexpr long long MaxPixelsJPEG = 1LL << 26;

// The encoded file of a `largeur` × `hauteur` picture of R, G, B bytes, row 1 at the top.
// Throws std::runtime_error (French message) when the encoder refuses it.
std::string CoderJPEG(std::span<const std::uint8_t> rgb, int largeur, int hauteur,
                      int qualite = 90);

struct TImageJPEG {
  int Largeur = 0;
  int Hauteur = 0;
  int Composantes = 0;               // 3 colour, 1 grey
  std::vector<std::uint8_t> Pixels;  // row by row, R, G, B (or the grey level)
  std::string Erreur;                // why the picture was refused, in French; empty if read
  bool Reussi() const { return Erreur.empty(); }
};

// A truncated picture (libjpeg only warns about a premature end), a picture over the limit,
// CMYK, more than 1000 progressive scans or anything that is not a JPEG is refused.
TImageJPEG DecoderJPEG(std::span<const std::byte> octets);
TImageJPEG LireJPEG(const std::string& chemin);

}  // namespace quelvane
