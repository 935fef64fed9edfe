#include <filesystem>
#include <stdexcept>

#include "commandes.h"

namespace quelvane::batch {

TPreferences ChargerPreferences(const std::string& fichier) {
  TPreferences prefs;
  if (!fichier.empty()) {
    if (!std::filesystem::exists(fichier))
      throw std::runtime_error("Fichier de préférences introuvable : " + fichier);
    const auto lecture = LirePreferences(prefs, fichier);
    if (!lecture.Erreur.empty()) throw std::runtime_error(lecture.Erreur);
    return prefs;
  }
  LirePreferences(prefs, CheminPreferences());
  return prefs;
}

}  // namespace quelvane::batch
