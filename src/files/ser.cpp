#include "files/ser.h"

#include <cstring>

namespace quelvane {

namespace {

std::int32_t Entier32(std::span<const std::byte> o, std::size_t position) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | std::to_integer<std::uint32_t>(o[position + i]);
  return static_cast<std::int32_t>(v);
}

std::int64_t Entier64(std::span<const std::byte> o, std::size_t position) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | std::to_integer<std::uint64_t>(o[position + i]);
  return static_cast<std::int64_t>(v);
}

std::string Texte(std::span<const std::byte> o, std::size_t position, std::size_t n) {
  std::string t(reinterpret_cast<const char*>(o.data() + position), n);
  t.resize(std::strlen(t.c_str()));
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

// Beyond any camera: larger frames cannot be a star image a desktop reads.
constexpr std::int32_t CoteMaxSER = 65536;
constexpr long long EchantillonsMaxSER = 1LL << 26;

bool CouleurConnue(std::int32_t id) {
  return id == 0 || (id >= 8 && id <= 11) || (id >= 16 && id <= 19) || id == 100 || id == 101;
}

}  // namespace

bool EstSER(std::span<const std::byte> debut) {
  return debut.size() >= 14 && std::memcmp(debut.data(), "LUCAM-RECORDER", 14) == 0;
}

int PlansSER(const TEnTeteSER& e) { return e.ColorID >= 100 ? 3 : 1; }
int OctetsSER(const TEnTeteSER& e) { return e.Profondeur <= 8 ? 1 : 2; }
bool MosaiqueSER(const TEnTeteSER& e) { return e.ColorID >= 8 && e.ColorID <= 19; }

bool LireEnTeteSER(std::span<const std::byte> o, TEnTeteSER& e, std::string& raison) {
  if (o.size() < TailleEnTeteSER) {
    raison = "fichier SER plus court que son en-tête de 178 octets";
    return false;
  }
  if (!EstSER(o)) {
    raison = "ce n'est pas une vidéo SER (l'en-tête ne commence pas par LUCAM-RECORDER)";
    return false;
  }
  e.LuID = Entier32(o, 14);
  e.ColorID = Entier32(o, 18);
  e.LittleEndian = Entier32(o, 22);
  e.Largeur = Entier32(o, 26);
  e.Hauteur = Entier32(o, 30);
  e.Profondeur = Entier32(o, 34);
  e.NbImages = Entier32(o, 38);
  e.Observateur = Texte(o, 42, 40);
  e.Instrument = Texte(o, 82, 40);
  e.Telescope = Texte(o, 122, 40);
  e.Date = Entier64(o, 162);
  e.DateUTC = Entier64(o, 170);
  if (e.Largeur <= 0 || e.Hauteur <= 0 || e.Largeur > CoteMaxSER || e.Hauteur > CoteMaxSER ||
      static_cast<long long>(e.Largeur) * e.Hauteur * PlansSER(e) > EchantillonsMaxSER) {
    raison = "taille d'image impossible (" + std::to_string(e.Largeur) + " × " +
             std::to_string(e.Hauteur) + ")";
    return false;
  }
  if (e.Profondeur < 1 || e.Profondeur > 16) {
    raison = "profondeur de " + std::to_string(e.Profondeur) + " bits non prise en charge (1 à 16)";
    return false;
  }
  if (!CouleurConnue(e.ColorID)) {
    raison = "codage des couleurs inconnu (ColorID " + std::to_string(e.ColorID) + ")";
    return false;
  }
  if (e.NbImages < 0) {
    raison = "nombre d'images négatif (" + std::to_string(e.NbImages) + ")";
    return false;
  }
  return true;
}

std::string DateSER(std::int64_t ticks) {
  if (ticks <= 0) return {};
  const std::int64_t secondes = ticks / 10'000'000;
  const int millis = static_cast<int>((ticks / 10'000) % 1000);
  // Days from 1 January of year 1 (proleptic Gregorian), then the civil date (H. Hinnant).
  const std::int64_t jours = secondes / 86400;
  const std::int64_t s = secondes % 86400;
  const std::int64_t z = jours - 719162 + 719468;  // to days from 1970, then from 0000-03-01
  const std::int64_t ere = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - ere * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int jour = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int mois = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t annee = yoe + ere * 400 + (mois <= 2 ? 1 : 0);
  if (annee < 1900 || annee > 2200) return {};
  char t[40];
  std::snprintf(t, sizeof t, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", static_cast<int>(annee), mois,
                jour, static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60), millis);
  return t;
}

}  // namespace quelvane
