#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "commandes.h"
#include "files/nombres.h"
#include "sortie.h"

namespace quelvane::batch {

TPreferences ChargerPreferences(const std::string& fichier) {
  TPreferences prefs;
  // A file that is there but cannot be read is refused, named; what it holds that cannot be
  // used is said, and the defaults go on.
  const auto lecture = LirePreferences(prefs, fichier.empty() ? CheminPreferences() : fichier);
  if (!lecture.Erreur.empty()) throw std::runtime_error(lecture.Erreur);
  if (!fichier.empty() && !lecture.FichierLu)
    throw std::runtime_error("Fichier de préférences introuvable : " + fichier);
  if (const std::string t = TexteLecturePreferences(lecture); !t.empty()) std::cerr << t << '\n';
  return prefs;
}

int CommandePreferences(const TOptionsPreferences& o) {
  const std::string chemin = o.Fichier.empty() ? CheminPreferences() : o.Fichier;
  TPreferences prefs;
  const auto lecture = LirePreferences(prefs, chemin);
  if (!lecture.Erreur.empty()) throw std::runtime_error(lecture.Erreur);
  if (const std::string t = TexteLecturePreferences(lecture); !t.empty()) std::cerr << t << '\n';
  // Every change is checked before any is kept: one refusal leaves the file as it was.
  for (const std::string& a : o.Affectations) {
    const auto egal = a.find('=');
    if (egal == std::string::npos) throw std::runtime_error("--set attend CLE=VALEUR : " + a);
    const std::string cle = a.substr(0, egal), valeur = a.substr(egal + 1);
    if (cle == "Aide")
      prefs.FichierAide = valeur;
    else if (cle == "Rapports")
      prefs.DossierRapports = valeur;
    else if (cle == "Images") {
      PlacerEnTete(prefs.DossiersImagesRecents, valeur);
      prefs.DossierImages = valeur;
    } else if (const auto refus = AffecterPreference(prefs, cle, valeur))
      throw std::runtime_error(cle + " : " + *refus);
  }
  TSorties sorties;
  if (!o.Affectations.empty()) {
    CreerDossierPreferences(chemin);
    sorties.Ajouter(chemin, TextePreferences(prefs));
  }
  if (!o.Json.empty()) {
    nlohmann::ordered_json j;
    j["file"] = chemin;
    nlohmann::ordered_json valeurs;
    for (const auto& [cle, texte] : ClesEtValeurs(prefs)) {
      // Numbers as numbers, whatever the regional separator the file uses.
      if (const auto x = LireReelFITS(texte))
        valeurs[cle] = *x;
      else
        valeurs[cle] = texte;
    }
    j["values"] = valeurs;
    j["help_file"] = prefs.FichierAide;
    j["image_folders"] = prefs.DossiersImagesRecents;
    j["reports_folder"] = prefs.DossierRapports;
    j["alert_values_nm"] = std::vector<double>(prefs.ValeursAlerte.begin(),
                                               prefs.ValeursAlerte.begin() + prefs.NPolyZern);
    sorties.Ajouter(o.Json, TexteJson(j));
  }
  sorties.Ecrire();
  return 0;
}

}  // namespace quelvane::batch
