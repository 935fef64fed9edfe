#include "files/fits_ecriture.h"

#include <bit>
#include <cstdint>
#include <cstdio>

namespace quelvane {

namespace {

std::string Ligne(const TCarte& c) {
  std::string l = c.Nom.substr(0, 8);
  l.resize(8, ' ');
  l += "= ";
  std::string v = c.Valeur;
  if (!v.empty() && v[0] != '\'' && v.size() < 20) v = std::string(20 - v.size(), ' ') + v;
  l += v;
  if (!c.Commentaire.empty()) l += " / " + c.Commentaire;
  l.resize(80, ' ');
  return l;
}

std::string Bloc(std::string t, char remplissage) {
  t.resize((t.size() + 2879) / 2880 * 2880, remplissage);
  return t;
}

}  // namespace

TCarte CarteTexte(const std::string& nom, const std::string& texte,
                  const std::string& commentaire) {
  std::string v = "'";
  // Printable ASCII only, quotes doubled, within the card.
  for (char ch : texte) {
    if (v.size() >= 66) break;
    const auto u = static_cast<unsigned char>(ch);
    if (u < 32 || u > 126) continue;
    v += ch;
    if (ch == '\'') v += '\'';
  }
  while (v.size() < 9) v += ' ';
  return {nom, v + "'", commentaire};
}

TCarte CarteNombre(const std::string& nom, double valeur, const std::string& commentaire) {
  char t[32];
  std::snprintf(t, sizeof t, "%.10G", valeur);
  return {nom, t, commentaire};
}

TCarte CarteEntier(const std::string& nom, long long valeur, const std::string& commentaire) {
  return {nom, std::to_string(valeur), commentaire};
}

std::string TexteFITSReel(const TGrilleReelle& image, const std::vector<TCarte>& cartes) {
  std::string entete;
  entete += Ligne({"SIMPLE", "T", ""});
  entete += Ligne({"BITPIX", "-32", ""});
  entete += Ligne({"NAXIS", "2", ""});
  entete += Ligne({"NAXIS1", std::to_string(image.Colonnes()), ""});
  entete += Ligne({"NAXIS2", std::to_string(image.Lignes()), ""});
  for (const TCarte& c : cartes) entete += Ligne(c);
  std::string fin = "END";
  fin.resize(80, ' ');
  entete += fin;
  std::string donnees;
  donnees.reserve(image.TaillePlan() * 4);
  for (double v : image.Plan(0)) {
    const std::uint32_t b = std::bit_cast<std::uint32_t>(static_cast<float>(v));
    for (int i = 3; i >= 0; --i) donnees += static_cast<char>(b >> (8 * i));
  }
  return Bloc(entete, ' ') + Bloc(donnees, '\0');
}

}  // namespace quelvane
