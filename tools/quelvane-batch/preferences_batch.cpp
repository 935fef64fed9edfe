#include <filesystem>
#include <iostream>
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
    if (!lecture.ValeursRefusees.empty()) std::cerr << TexteLecturePreferences(lecture) << '\n';
    return prefs;
  }
  // The usual file: what it holds that cannot be used is said, and the defaults go on.
  const auto lecture = LirePreferences(prefs, CheminPreferences());
  if (const std::string t = TexteLecturePreferences(lecture); !t.empty()) std::cerr << t << '\n';
  return prefs;
}

}  // namespace quelvane::batch
