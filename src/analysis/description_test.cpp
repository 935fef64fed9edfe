#include "analysis/description_test.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "core/zernike.h"
#include "files/empreinte.h"

namespace quelvane {

nlohmann::ordered_json JsonPreparation(const TPreparationPaire& p) {
  auto fond = [](const TFond& f) {
    return nlohmann::ordered_json{{"level_adu", f.Niveau},
                                  {"slope_x_adu_per_px", f.PenteX},
                                  {"slope_y_adu_per_px", f.PenteY},
                                  {"noise_adu", f.Bruit},
                                  {"samples", f.Echantillons}};
  };
  nlohmann::ordered_json j;
  j["background_corrected"] = p.FondCorrige;
  if (p.FondCorrige) {
    j["background"] = {{"intra", fond(p.FondIntra)}, {"extra", fond(p.FondExtra)}};
    j["flux_ratio_extra_intra"] = p.RapportFlux;
  }
  j["saturated_pixels"] = {{"intra", p.PixelsSaturesIntra}, {"extra", p.PixelsSaturesExtra}};
  j["missing_samples"] = {{"intra", p.ManquantsIntra}, {"extra", p.ManquantsExtra}};
  j["warnings"] = AvertissementsPreparation(p);
  j["grid_px"] = p.Cote;
  j["crop"] = {{"intra", {{"column", p.ColonneIntra}, {"row", p.LigneIntra}}},
               {"extra", {{"column", p.ColonneExtra}, {"row", p.LigneExtra}}}};
  return j;
}

nlohmann::ordered_json JsonParametres(const TParametresTest& p, const TkwValue& prefs) {
  constexpr double Mm = 1e6;
  return {{"diametre_mm", 2 * p.RayonInstrument / Mm},
          {"focale_mm", p.DistanceFocale / Mm},
          {"defocalisation_mm", p.Defocalisation / Mm},
          {"distance_source_mm", p.DistanceSource / Mm},
          {"autocollimation", p.Autocollimation},
          {"incidence_deg", p.Incidence * 180 / 3.14159265358979323846},
          {"rotation_deg", p.RotationOptique},
          {"corrections_montage_nm",
           {{"astigmatisme_x", p.AstigmatismeX},
            {"astigmatisme_y", p.AstigmatismeY},
            {"coma_x", p.ComaX},
            {"coma_y", p.ComaY},
            {"sphericite", p.Sphericite}}},
          {"lambda_nm", prefs.LambdaRef},
          {"passes", prefs.NIter},
          {"termes", prefs.NPolyZern},
          {"polynomes", prefs.ModePoly == 0 ? "Mahajan" : "Zernike"}};
}

std::vector<TSourceImage> SourcesDuTest(const std::vector<std::string>& intra,
                                        const std::vector<std::string>& extra) {
  std::vector<TSourceImage> s;
  for (const auto* cote : {&intra, &extra})
    for (const std::string& f : *cote) {
      TSourceImage i;
      i.Cote = cote == &intra ? "intra" : "extra";
      i.Fichier = f;
      std::error_code ec;
      const auto taille = std::filesystem::file_size(f, ec);
      i.Octets = ec ? 0 : taille;
      i.Sha256 = Sha256Fichier(f).value_or("");
      s.push_back(std::move(i));
    }
  return s;
}

std::string DateDuFichier(const std::string& chemin) {
  std::error_code ec;
  const auto t = std::filesystem::last_write_time(chemin, ec);
  if (ec) return {};
  const auto systeme = std::chrono::file_clock::to_sys(t);
  const std::time_t secondes = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(systeme));
  std::tm tm{};
  if (!gmtime_r(&secondes, &tm)) return {};
  char texte[32];
  std::strftime(texte, sizeof texte, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return texte;
}

TTestEnregistre DecrireTest(const TPupille& front, const TParametresTest& parametres,
                            const TPreferences& prefs, const TPreparationPaire& preparation,
                            std::vector<TSourceImage> sources, const std::string& dateObs) {
  TTestEnregistre t;
  t.Programme = VersionProgramme();
  t.TypePolynomes = prefs.ModePoly;
  t.NbTermes = prefs.NPolyZern;
  t.RotationDeg = parametres.RotationOptique;
  t.Parametres = JsonParametres(parametres, prefs);
  t.Preparation = JsonPreparation(preparation);
  std::istringstream lignes(TextePreferences(prefs));
  for (std::string l; std::getline(lignes, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (!l.empty()) t.Preferences.push_back(l);
  }
  t.DateObs = dateObs;
  if (t.DateObs.empty())
    for (const TSourceImage& s : sources)
      if (s.Cote == "intra") {
        t.DateObs = DateDuFichier(s.Fichier);
        break;
      }
  t.Sources = std::move(sources);
  t.Front = front;
  return t;
}

}  // namespace quelvane
