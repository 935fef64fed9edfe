#pragma once
// A small FITS writer for test images and the demonstration samples. The program itself
// never writes FITS; this is written from the FITS standard, independently of the reader.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quelvane::outils {

struct TCarteFITS {
  std::string Nom;
  std::string Valeur;     // written as it stands (quote strings yourself), or a whole card
  bool SansEgal = false;  // COMMENT-style card: Valeur goes in columns 9–80
};

struct TImageAEcrire {
  int Bitpix = 16;
  int Largeur = 0;
  int Hauteur = 0;
  int Plans = 1;                   // 3 writes NAXIS = 3
  std::vector<double> Valeurs;     // raw stored values, plane by plane, row by row
  std::vector<TCarteFITS> Cartes;  // after SIMPLE/BITPIX/NAXIS*
  bool AvecEnd = true;
};

// The whole file as bytes (header padded with blanks, data big-endian padded with zeros).
std::vector<std::uint8_t> CoderFITS(const TImageAEcrire& image);
// Writes atomically (temporary file then rename); false on failure.
bool EcrireFITS(const std::string& nom, const TImageAEcrire& image);
// One 80-character card "NAME    = value".
std::string Carte(const std::string& nom, const std::string& valeur);

}  // namespace quelvane::outils
