#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/analyse_front.h"
#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "commandes.h"
#include "files/ecriture.h"
#include "files/export_texte.h"
#include "files/fits.h"
#include "files/nombres.h"
#include "settings/saisie_parametres.h"
#include "simulation/seidel.h"
#include "sortie.h"

namespace quelvane::batch {

namespace {

// A text progress bar on standard error, only when it is a terminal.
class TBarreTexte final : public IProgression {
 public:
  TBarreTexte() : actif_(::isatty(STDERR_FILENO) == 1) {}
  void Demarrer(const std::string& titre, int pas) override {
    titre_ = titre;
    pas_ = pas;
    position_ = 0;
    Dessiner();
  }
  void Avancer() override {
    position_ = std::min(100, position_ + pas_);
    Dessiner();
  }
  void Terminer() override {
    position_ = 100;
    Dessiner();
  }
  void Masquer() override {
    if (actif_) std::fputs("\n", stderr);
  }

 private:
  void Dessiner() const {
    if (!actif_) return;
    const int plein = position_ * 30 / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", titre_.c_str(), std::string(plein, '#').c_str(),
                 std::string(30 - plein, ' ').c_str(), position_);
    std::fflush(stderr);
  }
  bool actif_;
  std::string titre_;
  int pas_ = 1;
  int position_ = 0;
};

struct ErreurOptions : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// `role` names the input in messages ("intra-focale").
std::unique_ptr<TPupille> OuvrirImage(const std::string& fichier, const TkwValue& prefs,
                                      bool extra) {
  const std::string role = std::string("image ") + (extra ? "extra-focale " : "intra-focale ");
  auto image = std::make_unique<TPupille>();
  const TResultatFITS lecture = ChargerFITS(*image, fichier);
  if (!lecture.Reussi())
    throw ErreurOptions("Format d'image incompatible\n" + role + fichier + " : " + lecture.Raison);
  if (!PreparerImage(*image, prefs, extra))
    throw ErreurOptions("Format d'image incompatible\n" + role + fichier +
                        " : image de moins de 3 × 3 pixels");
  return image;
}

// The --source option into the entries: its kind and, for an artificial star, its distance.
void LireSource(const std::string& texte, TEntreesTest& e) {
  const std::string prefixe = "artificial=";
  if (texte == "infinity") {
    e.Source = SourceInfini;
  } else if (texte == "curvature") {
    e.Source = SourceCourbure;
  } else if (texte == "autocollimation") {
    e.Source = SourceAutocollimation;
  } else if (texte.rfind(prefixe, 0) == 0) {
    char* fin = nullptr;
    const double metres = std::strtod(texte.c_str() + prefixe.size(), &fin);
    if (!(fin && *fin == '\0' && std::isfinite(metres) && metres > 0))
      throw ErreurOptions("Distance de la source invalide : " + texte);
    e.Source = SourceArtificielle;
    e.DistanceSourceMm = metres * 1000;
  } else {
    throw ErreurOptions("Source inconnue : " + texte +
                        " (infinity, artificial=METRES, curvature ou autocollimation)");
  }
}

const char* NomSource(std::uint8_t s) {
  switch (s) {
    case SourceArtificielle: return "artificial";
    case SourceCourbure: return "curvature";
    case SourceAutocollimation: return "autocollimation";
    default: return "infinity";
  }
}

nlohmann::ordered_json Tableau(const TCoefZernike& c) {
  return std::vector<double>(c.begin(), c.end());
}

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
  j["grid_px"] = p.Cote;
  j["crop"] = {{"intra", {{"column", p.ColonneIntra}, {"row", p.LigneIntra}}},
               {"extra", {{"column", p.ColonneExtra}, {"row", p.LigneExtra}}}};
  return j;
}

}  // namespace

TReconstructionBatch ExecuterReconstruction(const TOptionsReconstruction& o) {
  TReconstructionBatch res;
  TPreferences& prefs = res.Prefs;
  {
    prefs = ChargerPreferences(o.Preferences);
    if (o.Iterations) {
      if (*o.Iterations < 1 || *o.Iterations > 20) throw ErreurOptions("--iterations : de 1 à 20");
      prefs.NIter = static_cast<std::uint8_t>(*o.Iterations);
    }
    if (o.LambdaNm) {
      if (!(*o.LambdaNm > 0 && *o.LambdaNm < 1e6))
        throw ErreurOptions("--lambda : longueur d'onde en nm, positive");
      prefs.LambdaRef = *o.LambdaNm;
    }
    if (!(o.DiametreMm > 0) || !(o.FocaleMm > 0))
      throw ErreurOptions("--diameter et --focal doivent être positifs");
    if (o.Orientation != "x" && o.Orientation != "y") throw ErreurOptions("--orientation : x ou y");
    if (o.Binning < 1 || o.Binning > 255 || o.BinningLogiciel < 1 || o.BinningLogiciel > 255)
      throw ErreurOptions("--binning et --soft-binning : de 1 à 255");
    InitZernike(prefs.NPolyZern, prefs.ModePoly);

    const std::shared_ptr<TPupille> intra = OuvrirImage(o.Intra, prefs, false);
    const std::shared_ptr<TPupille> extra = OuvrirImage(o.Extra, prefs, true);
    res.Intra = intra;
    res.Extra = extra;

    TEntreesTest e;
    e.DiametreMm = o.DiametreMm;
    e.FocaleMm = o.FocaleMm;
    e.IncidenceRadians = o.AngleDegres * 3.141592653589 / 180;
    e.Orientation = o.Orientation == "x" ? SelonX : SelonY;
    LireSource(o.Source, e);
    if (o.DefocalisationMm) {
      e.DefocalisationMm = *o.DefocalisationMm;
    } else if (o.PixelMicrons) {
      e.PixelMicrons = *o.PixelMicrons;
      e.BinAcquisition = o.Binning;
      e.BinLogiciel = o.BinningLogiciel;
      e.DefocalisationMm =
          DefocalisationDepuisRayons(e, intra->RayonPupille, extra->RayonPupille) / 1e6;
    } else {
      throw ErreurOptions("Il faut --defocus ou --pixel pour connaître la défocalisation");
    }
    TParametresTest p = ParametresInitiaux;
    AppliquerEntrees(e, CalculerAberrationsMontage(e), p);
    if (!(p.Defocalisation > 0 && p.Defocalisation < p.DistanceFocale))
      throw ErreurOptions(
          "Défocalisation invalide : elle doit être positive et inférieure à la focale");
    p.ImageIntra = intra.get();
    p.ImageExtra = extra.get();
    p.ModeTraitement = ModeSimple;
    p.ParametresValides = true;

    res.Parametres = p;
    res.Source = e.Source;
    TBarreTexte barre;
    res.Test = ReconstruireSimple(p, prefs, JeuZernike(), barre);
    const auto& test = res.Test;
    TPupille& front = *test->FrontOnde;
    front.MoyenneEcartType();
    front.MinMaxMasque();
    CalculerStrehl(front);

    TCoefZernike rms = front.Coefficients;
    CoefVersRMS(JeuZernike(), rms);
    nlohmann::ordered_json& j = res.Json;
    j["coefficients_nm"] = Tableau(front.Coefficients);
    j["coefficients_rms_nm"] = Tableau(rms);
    j["selection"] = std::vector<bool>(front.Selection.begin(), front.Selection.end());
    j["rms_nm"] = front.EcartType;
    j["ptv_nm"] = front.Etendue;
    j["rms_lambda"] = FractionLambda(front.EcartType, prefs.LambdaRef, prefs.NDecLambda);
    j["ptv_lambda"] = FractionLambda(front.Etendue, prefs.LambdaRef, prefs.NDecLambda);
    j["strehl"] = front.Strehl;
    j["strehl_max"] = front.StrehlMax;
    j["strehl_rms"] = front.StrehlRMS;
    j["pupil_radius_px"] = front.RayonPupille;
    j["obstruction"] = front.Obstruction;
    j["seidel"] = nlohmann::ordered_json::array();
    for (const TLigneSeidel& l :
         CalculerSeidel(front.Coefficients, front.Selection, JeuZernike(), front.Obstruction)) {
      nlohmann::ordered_json e = {{"name", l.Nom}, {"value_nm", l.Valeur}};
      if (l.OrientationDeg) e["orientation_deg"] = *l.OrientationDeg;
      j["seidel"].push_back(e);
    }
    j["passes"] = test->PassesEffectuees;
    j["preparation"] = JsonPreparation(test->Preparation);
    j["image_radius_px"] = {{"intra", intra->RayonPupille}, {"extra", extra->RayonPupille}};
    j["parameters"] = {
        {"diameter_mm", o.DiametreMm},
        {"focal_mm", o.FocaleMm},
        {"defocus_mm", p.Defocalisation / 1e6},
        {"source", NomSource(e.Source)},
        {"source_distance_mm", p.DistanceSource / 1e6},
        {"autocollimation", p.Autocollimation},
        {"angle_deg", o.AngleDegres},
        {"orientation", o.Orientation},
        {"setup_nm",
         {{"astigmatism_x", p.AstigmatismeX},
          {"astigmatism_y", p.AstigmatismeY},
          {"coma_x", p.ComaX},
          {"coma_y", p.ComaY},
          {"spherical", p.Sphericite}}},
        {"iterations", prefs.NIter},
        {"lambda_nm", prefs.LambdaRef},
        {"terms", prefs.NPolyZern},
        {"polynomials", prefs.ModePoly == 0 ? "Mahajan" : "Zernike"},
        {"extraction", {{"blocks", prefs.ExtractDim}, {"percent", prefs.ExtractSeuil}}},
        {"fit",
         {{"auto", prefs.AjustAuto},
          {"subtract_tilt_focus", prefs.SubTiltFocus},
          {"subtract_coma", prefs.SubComa}}},
    };
  }
  return res;
}

int CommandeReconstruction(const TOptionsReconstruction& o) {
  const TReconstructionBatch res = ExecuterReconstruction(o);
  const TPreferences& prefs = res.Prefs;
  TPupille& front = *res.Test->FrontOnde;
  const nlohmann::ordered_json& j = res.Json;
  TCoefZernike rms = front.Coefficients;
  CoefVersRMS(JeuZernike(), rms);
  // Everything asked for, or nothing: an OPD export that fails leaves the JSON file of an
  // earlier run as it was.
  TSorties sorties;
  if (!o.Json.empty()) sorties.Ajouter(o.Json, TexteJson(j));
  if (!o.Opd.empty()) sorties.Ajouter(o.Opd, TexteOPD(front));
  if (!o.Zernike.empty())
    sorties.Ajouter(o.Zernike,
                    TexteCoefficients(front.Coefficients, prefs.NPolyZern, JeuZernike()));
  if (o.Json != "-") {
    std::ostringstream t;
    t << "PTV " << FormaterFixe(front.Etendue, prefs.NDecNano) << " nm ("
      << j["ptv_lambda"].get<std::string>() << "), RMS "
      << FormaterFixe(front.EcartType, prefs.NDecNano) << " nm ("
      << j["rms_lambda"].get<std::string>() << "), S = " << FormaterFixe(front.Strehl, 3) << "\n";
    for (int k = 1; k <= prefs.NPolyZern; ++k)
      t << LibelleZernike(k) << " " << NomZernike(k) << " : "
        << FormaterFixe(prefs.NormRMS ? rms[k - 1] : front.Coefficients[k - 1], prefs.NDecNano)
        << " nm" << (front.Selection[k - 1] ? "" : " [Soustrait]") << "\n";
    sorties.Ajouter("-", t.str());
  }
  sorties.Ecrire();
  return 0;
}

}  // namespace quelvane::batch
