#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/preparation.h"
#include "commandes.h"
#include "core/pupille.h"
#include "files/fits.h"
#include "files/serie.h"
#include "files/utf8.h"
#include "sortie.h"

namespace quelvane::batch {

namespace {

nlohmann::ordered_json EnTete(const TImgInfos& in) {
  nlohmann::ordered_json j;
  j["Largeur"] = in.Largeur;
  j["Hauteur"] = in.Hauteur;
  j["NbPlans"] = in.NbPlans;
  j["NbAxes"] = in.NbAxes;
  j["Bitpix"] = in.Bitpix;
  j["DateObs"] = EnUtf8(in.DateObs);
  j["NiveauxBas"] = {in.NiveauxBas[0], in.NiveauxBas[1], in.NiveauxBas[2]};
  j["NiveauxHauts"] = {in.NiveauxHauts[0], in.NiveauxHauts[1], in.NiveauxHauts[2]};
  j["Exposition"] = in.Exposition;
  j["BinX"] = in.BinX;
  j["BinY"] = in.BinY;
  j["MiroirX"] = in.MiroirX;
  j["MiroirY"] = in.MiroirY;
  j["Telescope"] = EnUtf8(in.Telescope);
  j["Observateur"] = EnUtf8(in.Observateur);
  j["Instrument"] = EnUtf8(in.Instrument);
  j["Filtres"] = EnUtf8(in.Filtres);
  j["Observatoire"] = EnUtf8(in.Observatoire);
  j["LongueurFocale"] = in.LongueurFocale;
  j["AscDroite"] = in.AscDroite;
  j["Declinaison"] = in.Declinaison;
  j["PixelX"] = in.PixelX;
  j["PixelY"] = in.PixelY;
  j["FenetreX1"] = in.FenetreX1;
  j["FenetreY1"] = in.FenetreY1;
  j["FenetreX2"] = in.FenetreX2;
  j["FenetreY2"] = in.FenetreY2;
  j["Commentaires"] = nlohmann::ordered_json::array();
  for (const auto& c : in.Commentaires) j["Commentaires"].push_back(EnUtf8(c));
  j["DiametreInstr"] = in.DiametreInstr;
  j["Temperature"] = in.Temperature;
  j["Orientation"] = in.Orientation;
  j["Seeing"] = in.Seeing;
  j["BZero"] = in.BZero;
  j["BScale"] = in.BScale;
  return j;
}

void AfficherTexte(const nlohmann::ordered_json& j, std::ostream& o,
                   const std::string& prefixe = "") {
  for (const auto& [cle, valeur] : j.items()) {
    if (valeur.is_object()) {
      AfficherTexte(valeur, o, prefixe + cle + ".");
    } else {
      o << prefixe << cle << " : "
        << (valeur.is_string()
                ? valeur.get<std::string>()
                : valeur.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace))
        << '\n';
    }
  }
}

}  // namespace

int CommandeInfo(const TOptionsInfo& options) {
  TPreferences prefs;
  try {
    prefs = ChargerPreferences(options.Preferences);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return SortieErreur;
  }
  TPupille image;
  TResultatFITS lecture;
  nlohmann::ordered_json serie;
  if (EstUneSerie(options.Fichier)) {
    // A video or a cube: its description, and its first frame as the image.
    try {
      const auto s = OuvrirSerie({options.Fichier});
      const TDescriptionSerie& d = s->Description();
      TGrilleReelle g;
      s->Lire(0, g);
      image.Allouer(d.Largeur, d.Hauteur);
      image.Donnees = std::move(g);
      image.Infos = d.Infos;
      RemplirManquants(image.Donnees);
      lecture.Code = LectureReussie;
      serie = {{"format", d.Format},
               {"frames_announced", d.Annoncees},
               {"frames", d.Nombre},
               {"bayer_mosaic_read_as_grey", d.Mosaique},
               {"depth", d.Profondeur},
               {"full_scale_adu", d.PleineEchelle},
               {"byte_order", EnUtf8(d.OrdreOctets)},
               {"first_frame_date", EnUtf8(s->Date(0))}};
      serie["warnings"] = nlohmann::ordered_json::array();
      for (const auto& a : d.Avertissements) serie["warnings"].push_back(EnUtf8(a));
    } catch (const ErreurSerie& e) {
      std::cerr << "Format d'image incompatible\n"
                << EnUtf8(options.Fichier) << " : " << e.what() << '\n';
      return SortieErreur;
    }
  } else {
    lecture = ChargerFITS(image, options.Fichier);
    if (!lecture.Reussi()) {
      std::cerr << "Format d'image incompatible\n"
                << EnUtf8(options.Fichier) << " : " << EnUtf8(lecture.Raison) << '\n';
      return SortieErreur;
    }
  }
  image.MinMax();
  double somme = 0;
  for (double v : image.Donnees.Plan(0)) somme += v;
  const double moyenne = somme / static_cast<double>(image.Donnees.TaillePlan());
  const double mini = image.Mini, maxi = image.Maxi;
  // The threshold and the pupil as the open command takes them: around the test star.
  const TChampEtoiles champ = TrouverEtoiles(image);
  if (const auto etoile = ChoisirEtoile(champ)) DefinirZone(image, *etoile);
  image.SeuilAutomatique(prefs.ExtractDim, prefs.ExtractSeuil);
  image.TrouverPupille();

  nlohmann::ordered_json j;
  j["file"] = EnUtf8(options.Fichier);
  j["header"] = EnTete(image.Infos);
  j["kind"] = lecture.TypeImage;
  j["planes"] = lecture.Plans;
  j["width"] = image.NX;
  j["height"] = image.NY;
  j["min"] = mini;
  j["max"] = maxi;
  j["mean"] = moyenne;
  j["non_finite_samples"] = lecture.EchantillonsNonFinis;  // missing: BLANK, NaN, infinite
  if (!serie.is_null()) j["series"] = serie;
  j["extraction"] = {{"blocks", prefs.ExtractDim}, {"percent", prefs.ExtractSeuil}};
  j["threshold"] = image.Seuil;
  j["pupil"] = {
      {"centre_x", image.CentreX}, {"centre_y", image.CentreY}, {"radius", image.RayonPupille}};
  j["stars"] = nlohmann::ordered_json::array();
  for (const TEtoile& e : champ.Etoiles)
    j["stars"].push_back({{"centre_x", e.CentreX},
                          {"centre_y", e.CentreY},
                          {"radius", e.Rayon},
                          {"flux_adu", e.Flux},
                          {"complete", e.Entiere},
                          {"defocused", e.Defocalisee}});
  try {
    if (options.Json) {
      EcrireSortieStandard(TexteJson(j));
    } else {
      std::ostringstream t;
      AfficherTexte(j, t);
      EcrireSortieStandard(t.str());
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return SortieErreur;
  }
  return 0;
}

}  // namespace quelvane::batch
