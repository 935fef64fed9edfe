// interferogram and foucault: the simulations of the windows, as pictures for scripts.

#include <fstream>
#include <iostream>
#include <iterator>

#include "commandes.h"
#include "files/export_texte.h"
#include "files/jpeg.h"
#include "simulation/foucault.h"
#include "simulation/interferogramme.h"
#include "sortie.h"
#include "ui/rendu.h"

namespace quelvane::batch {

namespace {

std::string LireTexte(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  if (!f) throw std::runtime_error("Fichier introuvable ou illisible : " + chemin);
  return std::string((std::istreambuf_iterator<char>(f)), {});
}

// The picture's name for angle α of a series: the angle before the extension.
std::string NomImage(const std::string& image, int angle, bool serie) {
  if (!serie) return image;
  const auto point = image.find_last_of('.');
  const auto barre = image.find_last_of('/');
  const bool extension =
      point != std::string::npos && (barre == std::string::npos || point > barre);
  return extension ? image.substr(0, point) + std::to_string(angle) + image.substr(point)
                   : image + std::to_string(angle);
}

using TCalcul = void (*)(const TPupille& front, int angle, const TOptionsSimulation& o,
                         const TPreferences& prefs, TPupille& cible);

int Simuler(const TOptionsSimulation& o, TCalcul calculer, bool couleurLambda,
            std::uint8_t TkwValue::*palette) {
  try {
    if (o.Image.empty()) throw std::runtime_error("Il faut --out pour l'image à écrire");
    TPreferences prefs;
    std::shared_ptr<TPupille> front;
    if (!o.Front.empty()) {
      prefs = ChargerPreferences(o.Reconstruction.Preferences);
      front = std::make_shared<TPupille>(LireOPD(LireTexte(o.Front)));
    } else {
      if (o.Reconstruction.Intra.empty() || o.Reconstruction.Extra.empty())
        throw std::runtime_error("Il faut --wavefront FICHIER.opd, ou --intra et --extra");
      TReconstructionBatch r = ExecuterReconstruction(o.Reconstruction);
      prefs = r.Prefs;
      front = r.Test->FrontOnde;
    }
    if (o.Franges < 1 || o.Franges > 24) throw std::runtime_error("--fringes : de 1 à 24");
    const std::vector<int> angles =
        o.Pas > 0 ? AnglesSerie(o.Direction, o.Pas) : std::vector<int>{o.Direction};
    TPalettes palettes;
    TSorties sorties;
    nlohmann::ordered_json liste = nlohmann::ordered_json::array();
    for (const int angle : angles) {
      TPupille cible;
      calculer(*front, angle, o, prefs, cible);
      // A gram in grey, as a knife-edge test looks.
      cible.Palette = palette ? prefs.*palette : 0;
      palettes.ChoisirPalette(cible.Palette);
      const TImage24 image = ImageDuChamp(cible, palettes, cible.Lambda, couleurLambda, false);
      const std::string nom = NomImage(o.Image, angle, o.Pas > 0);
      sorties.Ajouter(nom, CoderJPEG(image.Pixels, image.Largeur, image.Hauteur));
      liste.push_back({{"picture", nom},
                       {"angle_deg", angle},
                       {"width", image.Largeur},
                       {"height", image.Hauteur}});
    }
    if (!o.Json.empty()) {
      nlohmann::ordered_json j;
      j["pictures"] = liste;
      j["fringes"] = o.Franges;
      j["lambda_nm"] = prefs.LambdaInterfero;
      sorties.Ajouter(o.Json, TexteJson(j));
    }
    sorties.Ecrire();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return SortieErreur;
  }
}

}  // namespace

int CommandeInterferogramme(const TOptionsSimulation& o) {
  return Simuler(
      o,
      [](const TPupille& front, int angle, const TOptionsSimulation& s, const TPreferences& p,
         TPupille& cible) {
        CalculerInterferogramme(front, angle, s.Franges, p.LambdaInterfero, p.PltInterfero, cible);
      },
      true, &TkwValue::PltInterfero);
}

int CommandeFoucault(const TOptionsSimulation& o) {
  return Simuler(
      o,
      [](const TPupille& front, int angle, const TOptionsSimulation&, const TPreferences&,
         TPupille& cible) { CalculerFoucault(front, angle, cible); },
      false, nullptr);
}

}  // namespace quelvane::batch
