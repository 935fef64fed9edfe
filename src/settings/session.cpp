#include "settings/session.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "files/ecriture.h"

namespace quelvane {

namespace {
constexpr std::uintmax_t TailleSessionMax = 1 << 16;
}

std::string CheminSession(const std::string& cheminPreferences) {
  return (std::filesystem::path(cheminPreferences).parent_path() / "Session.txt").string();
}

TSession LireSession(const std::string& chemin) {
  TSession s;
  std::error_code ec;
  const auto taille = std::filesystem::file_size(chemin, ec);
  if (ec || taille > TailleSessionMax) return s;
  std::ifstream f(chemin, std::ios::binary);
  for (std::string l; std::getline(f, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    const auto egal = l.find('=');
    if (egal == std::string::npos) continue;
    const std::string cle = l.substr(0, egal), valeur = l.substr(egal + 1);
    if (cle == "Geometrie") s.Geometrie = valeur;
    if (cle == "Etat") s.Etat = valeur;
    if (cle == "DossierOuvertures") s.Dossiers.Ouvertures = valeur;
    if (cle == "DossierEnregistrements") s.Dossiers.Enregistrements = valeur;
    // "I|chemin" or "E|chemin".
    if (cle == "Recent" && valeur.size() > 2 && valeur[1] == '|' &&
        (valeur[0] == 'I' || valeur[0] == 'E') && s.Recents.size() < FichiersRecentsMax)
      s.Recents.push_back({valeur.substr(2), valeur[0] == 'E'});
  }
  return s;
}

std::string TexteSession(const TSession& s) {
  std::string t = "Geometrie=" + s.Geometrie + "\r\nEtat=" + s.Etat + "\r\n";
  for (const TFichierRecent& r : s.Recents)
    t += std::string("Recent=") + (r.Extra ? "E|" : "I|") + r.Chemin + "\r\n";
  auto ligne = [&](const char* cle, const std::string& v) {
    if (!v.empty() && v.find_first_of("\r\n") == std::string::npos) t += cle + v + "\r\n";
  };
  ligne("DossierOuvertures=", s.Dossiers.Ouvertures);
  ligne("DossierEnregistrements=", s.Dossiers.Enregistrements);
  return t;
}

void EcrireSession(const TSession& s, const std::string& chemin) {
  EcrireFichierAtomique(chemin, TexteSession(s));
}

namespace {

bool EstDossier(const std::string& d) {
  std::error_code ec;
  return !d.empty() && std::filesystem::is_directory(d, ec);
}

}  // namespace

std::string CheminDeDepart(const TDossiersRecents& dossiers, const std::string& propose,
                           bool enregistrement, const std::string& accueil) {
  namespace fs = std::filesystem;
  const fs::path p(propose);
  // What the proposed path says: a folder, a file in a folder, or a bare name to offer.
  std::string dossierPropose, nom;
  if (!enregistrement) {
    dossierPropose = propose;  // an open dialog is offered a folder, never a name
  } else if (p.is_absolute()) {
    if (EstDossier(propose))
      dossierPropose = propose;
    else
      dossierPropose = p.parent_path().string(), nom = p.filename().string();
  } else {
    nom = propose;
  }
  std::string depart;
  for (const std::string* d : std::initializer_list<const std::string*>{
           enregistrement ? &dossiers.Enregistrements : &dossiers.Ouvertures, &dossierPropose,
           enregistrement ? &dossiers.Ouvertures : &accueil, &accueil})
    if (EstDossier(*d)) {
      depart = *d;
      break;
    }
  if (nom.empty()) return depart;
  return depart.empty() ? nom : (fs::path(depart) / nom).string();
}

void RetenirDossier(TDossiersRecents& dossiers, const std::string& choisi, bool enregistrement) {
  const std::filesystem::path p(choisi);
  if (choisi.empty() || !p.is_absolute()) return;
  const std::string d = EstDossier(choisi) ? choisi : p.parent_path().string();
  (enregistrement ? dossiers.Enregistrements : dossiers.Ouvertures) = d;
}

void AjouterRecent(TSession& s, const std::string& chemin, bool extra) {
  if (chemin.empty() || chemin.find_first_of("\r\n") != std::string::npos) return;
  std::erase_if(s.Recents, [&](const TFichierRecent& r) { return r.Chemin == chemin; });
  s.Recents.insert(s.Recents.begin(), {chemin, extra});
  if (s.Recents.size() > FichiersRecentsMax) s.Recents.resize(FichiersRecentsMax);
}

}  // namespace quelvane
