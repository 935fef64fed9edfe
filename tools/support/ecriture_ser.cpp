#include "support/ecriture_ser.h"

#include <fstream>

namespace quelvane::outils {

namespace {

void Entier(std::vector<std::uint8_t>& o, std::uint64_t v, int octets) {
  for (int i = 0; i < octets; ++i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Texte(std::vector<std::uint8_t>& o, const std::string& t) {
  for (int i = 0; i < 40; ++i) o.push_back(i < static_cast<int>(t.size()) ? t[i] : 0);
}

}  // namespace

std::vector<std::uint8_t> CoderSER(const TVideoAEcrire& v) {
  std::vector<std::uint8_t> o;
  for (char c : std::string("LUCAM-RECORDER")) o.push_back(static_cast<std::uint8_t>(c));
  Entier(o, 0, 4);
  Entier(o, static_cast<std::uint32_t>(v.ColorID), 4);
  Entier(o, static_cast<std::uint32_t>(v.LittleEndian), 4);
  Entier(o, static_cast<std::uint32_t>(v.Largeur), 4);
  Entier(o, static_cast<std::uint32_t>(v.Hauteur), 4);
  Entier(o, static_cast<std::uint32_t>(v.Profondeur), 4);
  const int annoncees =
      v.ImagesAnnoncees >= 0 ? v.ImagesAnnoncees : static_cast<int>(v.Images.size());
  Entier(o, static_cast<std::uint32_t>(annoncees), 4);
  Texte(o, v.Observateur);
  Texte(o, v.Instrument);
  Texte(o, v.Telescope);
  Entier(o, static_cast<std::uint64_t>(v.DateUTC), 8);
  Entier(o, static_cast<std::uint64_t>(v.DateUTC), 8);
  for (const auto& image : v.Images)
    for (std::uint16_t s : image) {
      if (v.Profondeur <= 8) {
        o.push_back(static_cast<std::uint8_t>(s));
      } else if (v.DonneesPetitBoutistes) {
        o.push_back(static_cast<std::uint8_t>(s & 0xFF));
        o.push_back(static_cast<std::uint8_t>(s >> 8));
      } else {
        o.push_back(static_cast<std::uint8_t>(s >> 8));
        o.push_back(static_cast<std::uint8_t>(s & 0xFF));
      }
    }
  for (std::int64_t t : v.Horodatages) Entier(o, static_cast<std::uint64_t>(t), 8);
  return o;
}

bool EcrireSER(const std::string& nom, const TVideoAEcrire& video) {
  const auto octets = CoderSER(video);
  std::ofstream f(nom, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(octets.data()),
          static_cast<std::streamsize>(octets.size()));
  return static_cast<bool>(f.flush());
}

}  // namespace quelvane::outils
