#include "analysis/description_test.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "core/zernike.h"
#include "files/empreinte.h"
#include "settings/saisie_parametres.h"

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

namespace {

double Lire(const nlohmann::ordered_json& j, const char* cle, double defaut = 0) {
  const auto it = j.find(cle);
  return it != j.end() && it->is_number() ? it->get<double>() : defaut;
}

TFond FondDepuisJson(const nlohmann::ordered_json& j) {
  TFond f;
  if (!j.is_object()) return f;
  f.Niveau = Lire(j, "level_adu");
  f.PenteX = Lire(j, "slope_x_adu_per_px");
  f.PenteY = Lire(j, "slope_y_adu_per_px");
  f.Bruit = Lire(j, "noise_adu");
  f.Echantillons = static_cast<long>(Lire(j, "samples"));
  return f;
}

const nlohmann::ordered_json& Sous(const nlohmann::ordered_json& j, const char* cle) {
  static const nlohmann::ordered_json vide = nlohmann::ordered_json::object();
  if (!j.is_object()) return vide;
  const auto it = j.find(cle);
  return it != j.end() && it->is_object() ? *it : vide;
}

}  // namespace

TParametresTest ParametresDepuisJson(const nlohmann::ordered_json& j) {
  constexpr double Mm = 1e6;
  TParametresTest p;
  if (!j.is_object()) return p;
  p.RayonInstrument = Lire(j, "diametre_mm") * Mm / 2;
  p.DistanceFocale = Lire(j, "focale_mm") * Mm;
  p.Defocalisation = Lire(j, "defocalisation_mm") * Mm;
  p.DistanceSource = Lire(j, "distance_source_mm") * Mm;
  const auto a = j.find("autocollimation");
  p.Autocollimation = a != j.end() && a->is_boolean() && a->get<bool>();
  p.Incidence = Lire(j, "incidence_deg") * 3.14159265358979323846 / 180;
  p.RotationOptique = Lire(j, "rotation_deg");
  const auto& c = Sous(j, "corrections_montage_nm");
  p.AstigmatismeX = Lire(c, "astigmatisme_x");
  p.AstigmatismeY = Lire(c, "astigmatisme_y");
  p.ComaX = Lire(c, "coma_x");
  p.ComaY = Lire(c, "coma_y");
  p.Sphericite = Lire(c, "sphericite");
  return p;
}

TPreparationPaire PreparationDepuisJson(const nlohmann::ordered_json& j) {
  TPreparationPaire p;
  if (!j.is_object()) return p;
  const auto fc = j.find("background_corrected");
  p.FondCorrige = fc != j.end() && fc->is_boolean() && fc->get<bool>();
  p.FondIntra = FondDepuisJson(Sous(Sous(j, "background"), "intra"));
  p.FondExtra = FondDepuisJson(Sous(Sous(j, "background"), "extra"));
  p.RapportFlux = Lire(j, "flux_ratio_extra_intra", 1);
  p.Cote = static_cast<int>(Lire(j, "grid_px"));
  p.PixelsSaturesIntra = static_cast<long>(Lire(Sous(j, "saturated_pixels"), "intra"));
  p.PixelsSaturesExtra = static_cast<long>(Lire(Sous(j, "saturated_pixels"), "extra"));
  p.ManquantsIntra = static_cast<long>(Lire(Sous(j, "missing_samples"), "intra"));
  p.ManquantsExtra = static_cast<long>(Lire(Sous(j, "missing_samples"), "extra"));
  const auto& crop = Sous(j, "crop");
  p.ColonneIntra = static_cast<int>(Lire(Sous(crop, "intra"), "column"));
  p.LigneIntra = static_cast<int>(Lire(Sous(crop, "intra"), "row"));
  p.ColonneExtra = static_cast<int>(Lire(Sous(crop, "extra"), "column"));
  p.LigneExtra = static_cast<int>(Lire(Sous(crop, "extra"), "row"));
  return p;
}

std::uint8_t SourceDuTest(const TParametresTest& p) {
  if (p.Autocollimation) return SourceAutocollimation;
  if (p.DistanceSource <= 0) return SourceInfini;
  if (std::abs(p.DistanceSource - 2 * p.DistanceFocale) < 1e-6 * p.DistanceFocale)
    return SourceCourbure;
  return SourceArtificielle;
}

std::unique_ptr<TRoddier> TestDepuisEnregistre(const TTestEnregistre& t,
                                               std::shared_ptr<TPupille> front) {
  auto r = std::make_unique<TRoddier>();
  const TParametresTest p = ParametresDepuisJson(t.Parametres);
  r->FocaleNm = p.DistanceFocale;
  r->RayonNm = p.RayonInstrument;
  r->DefocNm = p.Defocalisation;
  r->Preparation = PreparationDepuisJson(t.Preparation);
  r->FrontOnde = std::move(front);
  return r;
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
