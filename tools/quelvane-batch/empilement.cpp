// stack, and what the other subcommands share about series: the pointed star, the threads,
// the frames' figures in JSON.

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "analysis/ouverture.h"
#include "commandes.h"
#include "core/parallele.h"
#include "files/fits_ecriture.h"
#include "files/nombres.h"
#include "files/serie.h"
#include "files/utf8.h"
#include "sortie.h"

namespace quelvane::batch {

void FixerFils(std::optional<int> fils, const TkwValue& prefs) {
  if (fils) {
    if (*fils < 1 || *fils > NombreCoeurs())
      throw std::runtime_error("--threads : de 1 à " + std::to_string(NombreCoeurs()) +
                               " (les cœurs de cette machine)");
    DefinirNombreFils(*fils);
  } else {
    DefinirNombreFils(FilsDemandes(prefs));
  }
}

std::pair<double, double> LireEtoile(const std::string& texte, const std::string& option) {
  // "X,Y" with decimal points, or "X;Y" with either separator.
  const auto separateur = texte.find(';') != std::string::npos ? texte.find(';') : texte.find(',');
  const auto x =
      separateur == std::string::npos ? std::nullopt : LireReelFITS(texte.substr(0, separateur));
  const auto y =
      separateur == std::string::npos ? std::nullopt : LireReelFITS(texte.substr(separateur + 1));
  if (!x || !y || !std::isfinite(*x) || !std::isfinite(*y) || std::fabs(*x) > 1e6 ||
      std::fabs(*y) > 1e6)
    throw std::runtime_error(option + " : X,Y attendus (colonne et ligne de l'étoile), pas « " +
                             texte + " »");
  return {*x, *y};
}

nlohmann::ordered_json JsonEmpilement(const TEmpilement& e) {
  nlohmann::ordered_json j;
  j["announced"] = e.Annoncees;
  j["read"] = e.Lues;
  j["kept"] = e.Gardees;
  j["rejected"] = e.Rejetees;
  j["registration_spread_px"] = e.DispersionRecalage;
  j["outlier_samples"] = e.EchantillonsRejetes;
  j["blocks"] = e.SousEnsembles.size();
  j["total_exposure_s"] = e.PoseTotale;
  j["date"] = EnUtf8(e.Date);
  j["warnings"] = nlohmann::ordered_json::array();
  for (const auto& a : e.Avertissements) j["warnings"].push_back(EnUtf8(a));
  j["frames"] = nlohmann::ordered_json::array();
  for (const TQualiteImage& q : e.Images) {
    nlohmann::ordered_json f = {{"index", q.Indice + 1}, {"kept", q.Gardee}};
    if (!q.Rejet.empty()) f["reason"] = q.Rejet;
    if (q.Flux > 0) {
      f["x"] = q.X;
      f["y"] = q.Y;
      f["flux_adu"] = q.Flux;
      f["edge_width_px"] = q.LargeurBord;
      f["saturated"] = q.Satures;
    }
    if (q.SousEnsemble >= 0) f["block"] = q.SousEnsemble + 1;
    j["frames"].push_back(f);
  }
  return j;
}

int CommandeEmpilement(const TOptionsEmpilementBatch& o) {
  const TPreferences prefs = ChargerPreferences(o.Preferences);
  FixerFils(o.Fils, prefs);
  TOptionsEmpilement e;
  e.PourcentGarde = prefs.PartEmpilement;
  if (o.Garde) {
    if (*o.Garde < 1 || *o.Garde > 100) throw std::runtime_error("--keep : de 1 à 100 (%)");
    e.PourcentGarde = *o.Garde;
  }
  if (!o.Etoile.empty()) e.Etoile = LireEtoile(o.Etoile, "--star");
  // The output's folder before any work: a long video is not read for nothing.
  const auto dossier = std::filesystem::absolute(o.Sortie).parent_path();
  if (!std::filesystem::is_directory(dossier))
    throw std::runtime_error("Dossier introuvable pour " + EnUtf8(o.Sortie));
  const auto serie = OuvrirSerie(o.Fichiers);
  TBarreTexte barre;
  const TEmpilement pile =
      Empiler(*serie, e, barre, EnUtf8(std::filesystem::path(o.Fichiers[0]).filename().string()));
  barre.Masquer();
  std::vector<TCarte> cartes = {
      CarteEntier("NCOMBINE", pile.Gardees, "images moyennees"),
      CarteEntier("NREAD", pile.Lues, "images lues"),
      CarteNombre("EXPTIME", pile.PoseTotale, "pose totale des images moyennees (s)"),
      CarteNombre("REGSPRD", pile.DispersionRecalage, "dispersion du recalage (px)"),
      CarteEntier("XORIGIN", pile.ColonneOrigine + 1, "colonne de l'image en (1,1)"),
      CarteEntier("YORIGIN", pile.LigneOrigine + 1, "ligne de l'image en (1,1)"),
  };
  if (!pile.Date.empty()) cartes.push_back(CarteTexte("DATE-OBS", pile.Date, "image du milieu"));
  const TImgInfos& in = pile.Infos;
  if (!in.Telescope.empty()) cartes.push_back(CarteTexte("TELESCOP", in.Telescope));
  if (!in.Instrument.empty()) cartes.push_back(CarteTexte("INSTRUME", in.Instrument));
  if (!in.Observateur.empty()) cartes.push_back(CarteTexte("OBSERVER", in.Observateur));
  if (in.PixelX > 0) cartes.push_back(CarteNombre("XPIXELSZ", in.PixelX, "microns"));
  if (in.PixelY > 0) cartes.push_back(CarteNombre("YPIXELSZ", in.PixelY, "microns"));
  if (in.LongueurFocale > 0) cartes.push_back(CarteNombre("FOCALLEN", in.LongueurFocale, "mm"));
  TSorties sorties;
  sorties.Ajouter(o.Sortie, TexteFITSReel(pile.Image, cartes));
  nlohmann::ordered_json j = JsonEmpilement(pile);
  if (!o.Json.empty()) sorties.Ajouter(o.Json, TexteJson(j));
  if (o.Json != "-")
    sorties.Ajouter("-", std::to_string(pile.Gardees) + " images gardées sur " +
                             std::to_string(pile.Lues) + " (" + std::to_string(pile.Annoncees) +
                             " annoncées) ; dispersion du recalage " +
                             FormaterFixe(pile.DispersionRecalage, 2) + " px\n");
  sorties.Ecrire();
  for (const auto& a : pile.Avertissements) std::fprintf(stderr, "%s\n", EnUtf8(a).c_str());
  return 0;
}

}  // namespace quelvane::batch
