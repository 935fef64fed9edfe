#include "files/nombres.h"

#include <charconv>
#include <cmath>

#include "core/regional.h"

namespace quelvane {

namespace {

std::string_view Rogner(std::string_view t) {
  const auto debut = t.find_first_not_of(" \t\r\n");
  if (debut == std::string_view::npos) return {};
  const auto fin = t.find_last_not_of(" \t\r\n");
  return t.substr(debut, fin - debut + 1);
}

}  // namespace

std::optional<double> ConvertirReel(std::string_view texte) {
  texte = Rogner(texte);
  if (!texte.empty() && texte.front() == '+') texte.remove_prefix(1);
  if (texte.empty()) return std::nullopt;
  double v = 0;
  const auto [fin, erreur] = std::from_chars(texte.data(), texte.data() + texte.size(), v);
  if (erreur != std::errc() || fin != texte.data() + texte.size()) return std::nullopt;
  if (!std::isfinite(v)) return std::nullopt;  // "inf", "nan" are not numbers a user wrote
  return v;
}

std::optional<int> ConvertirEntier(std::string_view texte) {
  texte = Rogner(texte);
  if (!texte.empty() && texte.front() == '+') texte.remove_prefix(1);
  if (texte.empty()) return std::nullopt;
  int v = 0;
  const auto [fin, erreur] = std::from_chars(texte.data(), texte.data() + texte.size(), v);
  if (erreur != std::errc() || fin != texte.data() + texte.size()) return std::nullopt;
  return v;
}

std::optional<double> LireReelFITS(std::string_view texte) {
  std::string t(texte);
  // Either decimal separator, and the Fortran exponent letter D that FITS allows (1.0D3).
  for (char& c : t)
    if (c == ',')
      c = '.';
    else if (c == 'D' || c == 'd')
      c = 'E';
  return ConvertirReel(t);
}

std::optional<double> LireSaisie(std::string_view texte) {
  std::string t(texte);
  int separateurs = 0;
  for (char& c : t)
    if (c == '.' || c == ',') {
      c = '.';
      ++separateurs;
    }
  if (separateurs > 1) return std::nullopt;
  return ConvertirReel(t);
}

double LireReel(std::string_view texte) { return LireSaisie(texte).value_or(0.0); }

namespace {

std::string AvecSeparateur(const char* debut, const char* fin, char separateur) {
  std::string t(debut, fin);
  if (separateur == 0) separateur = SeparateurDecimal();
  for (char& c : t)
    if (c == '.') c = separateur;
  if (t == "-0") t.assign(1, '0');  // assign: g++ 12 warns falsely on = "0" here
  return t;
}

}  // namespace

std::string FormaterGeneral(double v, int chiffres, char separateur) {
  char tampon[64];
  const auto r =
      std::to_chars(tampon, tampon + sizeof tampon, v, std::chars_format::general, chiffres);
  return AvecSeparateur(tampon, r.ptr, separateur);
}

std::string FormaterFixe(double v, int decimales, char separateur) {
  char tampon[400];
  const auto r =
      std::to_chars(tampon, tampon + sizeof tampon, v, std::chars_format::fixed, decimales);
  if (r.ec != std::errc()) return FormaterGeneral(v, 15, separateur);
  std::string t = AvecSeparateur(tampon, r.ptr, separateur);
  // "-0.00" after rounding reads as a sign error to a user.
  if (t.find_first_not_of("-0.,") == std::string::npos && t.front() == '-') t.erase(0, 1);
  return t;
}

std::string DateDe(std::string_view texte) {
  const auto t = texte.find('T');
  return t == std::string_view::npos ? std::string() : std::string(texte.substr(0, t));
}

std::string HeureDe(std::string_view texte) {
  const auto t = texte.find('T');
  return t == std::string_view::npos ? std::string(texte) : std::string(texte.substr(t + 1));
}

}  // namespace quelvane
