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
  for (char& c : t)
    if (c == ',') c = '.';
  return ConvertirReel(t);
}

double LireReel(std::string_view texte) {
  std::string t(texte);
  const char separateur = SeparateurDecimal();
  // Only the regional separator is a decimal point here; the other one makes it not a number.
  for (char& c : t) {
    if (c == separateur)
      c = '.';
    else if (c == '.' || c == ',')
      return 0.0;
  }
  return ConvertirReel(t).value_or(0.0);
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
