#include "support/ecriture_fits.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace quelvane::outils {

std::string Carte(const std::string& nom, const std::string& valeur) {
  std::string c = nom;
  c.resize(8, ' ');
  c += "= ";
  std::string v = valeur;
  // Numbers and logicals right-justified to column 30, as FITS writers do.
  if (!v.empty() && v[0] != '\'' && v.size() < 20) v = std::string(20 - v.size(), ' ') + v;
  c += v;
  c.resize(80, ' ');
  return c;
}

namespace {

void Pousser(std::vector<std::uint8_t>& o, std::uint64_t v, int octets) {
  for (int i = octets - 1; i >= 0; --i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> CoderFITS(const TImageAEcrire& im) {
  std::string entete;
  entete += Carte("SIMPLE", "T");
  entete += Carte("BITPIX", std::to_string(im.Bitpix));
  entete += Carte("NAXIS", im.Plans == 1 ? "2" : "3");
  entete += Carte("NAXIS1", std::to_string(im.Largeur));
  entete += Carte("NAXIS2", std::to_string(im.Hauteur));
  if (im.Plans != 1) entete += Carte("NAXIS3", std::to_string(im.Plans));
  for (const auto& c : im.Cartes) {
    if (c.SansEgal) {
      std::string l = c.Nom;
      l.resize(8, ' ');
      l += c.Valeur;
      l.resize(80, ' ');
      entete += l;
    } else {
      entete += Carte(c.Nom, c.Valeur);
    }
  }
  if (im.AvecEnd) {
    std::string fin = "END";
    fin.resize(80, ' ');
    entete += fin;
  }
  entete.resize((entete.size() + 2879) / 2880 * 2880, ' ');
  std::vector<std::uint8_t> o(entete.begin(), entete.end());
  for (double v : im.Valeurs) {
    switch (im.Bitpix) {
      case 8: o.push_back(static_cast<std::uint8_t>(v)); break;
      case 16: Pousser(o, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)), 2); break;
      case 32: Pousser(o, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)), 4); break;
      case 64: Pousser(o, static_cast<std::uint64_t>(static_cast<std::int64_t>(v)), 8); break;
      case -32: Pousser(o, std::bit_cast<std::uint32_t>(static_cast<float>(v)), 4); break;
      case -64: Pousser(o, std::bit_cast<std::uint64_t>(v), 8); break;
    }
  }
  o.resize((o.size() + 2879) / 2880 * 2880, 0);
  return o;
}

bool EcrireFITS(const std::string& nom, const TImageAEcrire& image) {
  const auto octets = CoderFITS(image);
  const std::string temporaire = nom + ".tmp";
  {
    std::ofstream f(temporaire, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(reinterpret_cast<const char*>(octets.data()),
            static_cast<std::streamsize>(octets.size()));
    if (!f.flush()) return false;
  }
  return std::rename(temporaire.c_str(), nom.c_str()) == 0;
}

}  // namespace quelvane::outils
