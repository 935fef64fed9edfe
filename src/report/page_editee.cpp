#include "report/page_editee.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace quelvane {

namespace {

std::string_view Rogner(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

// The declarations of a style attribute a browser would apply anyway to this element.
bool Superflue(std::string_view element, std::string_view propriete, std::string_view valeur,
               bool centree) {
  if (propriete == "-qt-block-indent" && valeur == "0") return true;
  if (propriete == "text-indent" && valeur == "0px") return true;
  const bool cote = propriete == "margin-left" || propriete == "margin-right";
  if (element == "table") {
    if (cote && centree) return true;  // would override the centring
    if ((propriete == "margin-top" || propriete == "margin-bottom") && valeur == "0px") return true;
  }
  if ((element == "p" || element == "li") && cote && valeur == "0px") return true;
  return false;
}

std::string Style(std::string_view element, std::string_view style, bool centree) {
  std::string garde;
  std::size_t debut = 0;
  while (debut <= style.size()) {
    std::size_t fin = style.find(';', debut);
    if (fin == std::string_view::npos) fin = style.size();
    const std::string_view d = Rogner(style.substr(debut, fin - debut));
    debut = fin + 1;
    const auto deux = d.find(':');
    if (d.empty() || deux == std::string_view::npos) continue;
    if (Superflue(element, Rogner(d.substr(0, deux)), Rogner(d.substr(deux + 1)), centree))
      continue;
    garde += ' ';
    garde += d;
    garde += ';';
  }
  return garde;
}

// One start tag, `<...>`, rewritten. Quotes are honoured: a '>' inside an attribute value does
// not end the tag.
std::string Balise(std::string_view b) {
  std::size_t n = 1;
  while (n < b.size() && (std::isalnum(static_cast<unsigned char>(b[n])) != 0)) ++n;
  std::string element(b.substr(1, n - 1));
  std::transform(element.begin(), element.end(), element.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto s = b.find(" style=\"");
  if (s == std::string_view::npos) return std::string(b);
  const auto debutValeur = s + 8, finValeur = b.find('"', debutValeur);
  if (finValeur == std::string_view::npos) return std::string(b);
  const bool centree = b.find(" align=\"center\"") != std::string_view::npos;
  const std::string style = Style(element, b.substr(debutValeur, finValeur - debutValeur), centree);
  std::string t(b.substr(0, s));
  if (!style.empty()) t += " style=\"" + style + "\"";
  t += b.substr(finValeur + 1);
  return t;
}

}  // namespace

std::string PageEditee(const std::string& html) {
  std::string sortie;
  sortie.reserve(html.size());
  std::size_t i = 0;
  while (i < html.size()) {
    const std::size_t lt = html.find('<', i);
    if (lt == std::string::npos) {
      sortie.append(html, i, std::string::npos);
      break;
    }
    sortie.append(html, i, lt - i);
    // The tag's end, outside quoted values; an unclosed tag is left as it is.
    std::size_t j = lt + 1;
    char guillemet = 0;
    for (; j < html.size(); ++j) {
      const char c = html[j];
      if (guillemet != 0) {
        if (c == guillemet) guillemet = 0;
      } else if (c == '"' || c == '\'') {
        guillemet = c;
      } else if (c == '>') {
        break;
      }
    }
    if (j >= html.size()) {
      sortie.append(html, lt, std::string::npos);
      break;
    }
    const std::string_view b(html.data() + lt, j + 1 - lt);
    const bool debutBalise = b.size() > 2 && std::isalpha(static_cast<unsigned char>(b[1])) != 0;
    sortie += debutBalise ? Balise(b) : std::string(b);
    i = j + 1;
  }
  return sortie;
}

}  // namespace quelvane
