#pragma once
// A small SER writer for test videos and simulated series, written from the format's published
// description, independently of the reader.

#include <cstdint>
#include <string>
#include <vector>

namespace quelvane::outils {

struct TVideoAEcrire {
  int ColorID = 0;       // 0 mono, 8 RGGB, 100 RGB
  int LittleEndian = 0;  // the flag as written (many programs write 0 with little-endian data)
  bool DonneesPetitBoutistes = true;  // how 16-bit samples are actually stored
  int Largeur = 0, Hauteur = 0;
  int Profondeur = 16;
  int ImagesAnnoncees = -1;  // −1: the number of frames given
  std::string Observateur, Instrument, Telescope;
  std::int64_t DateUTC = 0;
  std::vector<std::vector<std::uint16_t>> Images;  // samples, row by row (planes interleaved)
  std::vector<std::int64_t> Horodatages;           // the trailer, when not empty
};

std::vector<std::uint8_t> CoderSER(const TVideoAEcrire& video);
// Writes the file; false on failure.
bool EcrireSER(const std::string& nom, const TVideoAEcrire& video);

}  // namespace quelvane::outils
