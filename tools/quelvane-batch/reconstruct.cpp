#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/analyse_front.h"
#include "analysis/description_test.h"
#include "analysis/ouverture.h"
#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "commandes.h"
#include "files/ecriture.h"
#include "files/export_texte.h"
#include "files/fichier_test.h"
#include "files/fits.h"
#include "files/nombres.h"
#include "files/utf8.h"
#include "settings/saisie_parametres.h"
#include "simulation/seidel.h"
#include "sortie.h"

namespace quelvane::batch {

namespace {

struct ErreurOptions : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The options of one side into those of its opening.
TOptionsOuverture Ouverture(const TOptionsReconstruction& o, const TkwValue& prefs, bool extra) {
  TOptionsOuverture r;
  r.PourcentGarde = prefs.PartEmpilement;
  r.Recadrer = true;  // no window shows the frame: only the test star's part is kept
  if (o.Garde) {
    if (*o.Garde < 1 || *o.Garde > 100) throw ErreurOptions("--keep : de 1 à 100 (%)");
    r.PourcentGarde = *o.Garde;
  }
  const std::string& propre = extra ? o.EtoileExtra : o.EtoileIntra;
  const std::size_t rang = extra ? 1 : 0;
  if (!propre.empty())
    r.Etoile = LireEtoile(propre, extra ? "--extra-star" : "--intra-star");
  else if (o.Etoiles.size() > rang)
    r.Etoile = LireEtoile(o.Etoiles[rang], "--star");
  if (o.Etoiles.size() > 2) throw ErreurOptions("--star : deux fois au plus (intra, puis extra)");
  return r;
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

// The standard errors in the units of the figures beside them.
void JsonIncertitudes(const TPupille& front, const TJeuZernike& jeu, nlohmann::ordered_json& j) {
  const TIncertitudes u = Incertitudes(front, jeu);
  if (!u.Connues) return;
  TCoefZernike rms = u.Coefficients;
  CoefVersRMS(jeu, rms);
  j["coefficients_se_nm"] = Tableau(u.Coefficients);
  j["coefficients_rms_se_nm"] = Tableau(rms);
  j["rms_se_nm"] = u.RMS;
  j["ptv_se_nm"] = u.PTV;
  j["strehl_se"] = u.Strehl;
  j["strehl_rms_se"] = u.StrehlRMS;
  j["uncertainty"] = {{"method", u.Methode},
                      {"samples", u.Echantillons},
                      {"includes", u.Comprend},
                      {"excludes", IncertitudesExclues}};
}

}  // namespace

nlohmann::ordered_json JsonFigures(TPupille& front, const TkwValue& prefs) {
  front.MoyenneEcartType();
  front.MinMaxMasque();
  CalculerStrehl(front);
  TCoefZernike rms = front.Coefficients;
  CoefVersRMS(JeuZernike(), rms);
  nlohmann::ordered_json j;
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
  JsonIncertitudes(front, JeuZernike(), j);
  return j;
}

std::string TexteFigures(const TPupille& front, const TkwValue& prefs) {
  const TIncertitudes u = Incertitudes(front, JeuZernike());
  TCoefZernike rms = front.Coefficients;
  CoefVersRMS(JeuZernike(), rms);
  TCoefZernike ecarts = u.Coefficients;
  if (prefs.NormRMS) CoefVersRMS(JeuZernike(), ecarts);
  auto pm = [&](double e) {
    return u.Connues ? " ± " + FormaterFixe(e, prefs.NDecNano) : std::string();
  };
  std::ostringstream t;
  t << "PTV " << FormaterFixe(front.Etendue, prefs.NDecNano) << pm(u.PTV) << " nm ("
    << FractionLambda(front.Etendue, prefs.LambdaRef, prefs.NDecLambda) << "), RMS "
    << FormaterFixe(front.EcartType, prefs.NDecNano) << pm(u.RMS) << " nm ("
    << FractionLambda(front.EcartType, prefs.LambdaRef, prefs.NDecLambda)
    << "), S = " << FormaterFixe(front.Strehl, 3)
    << (u.Connues ? " ± " + FormaterFixe(u.Strehl, 3) : std::string()) << "\n";
  for (int k = 1; k <= prefs.NPolyZern; ++k)
    t << LibelleZernike(k) << " " << NomZernike(k) << " : "
      << FormaterFixe(prefs.NormRMS ? rms[k - 1] : front.Coefficients[k - 1], prefs.NDecNano)
      << pm(ecarts[k - 1]) << " nm" << (front.Selection[k - 1] ? "" : " [Soustrait]") << "\n";
  if (u.Connues)
    t << "± : un écart-type (" << u.Methode << ", " << u.Echantillons << " tirages) ; comprend "
      << u.Comprend << ", pas " << IncertitudesExclues << ".\n";
  return t.str();
}

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
      // The range the preferences hold the reference wavelength to.
      if (!(std::isfinite(*o.LambdaNm) && *o.LambdaNm >= 1 && *o.LambdaNm <= 1e6))
        throw ErreurOptions("--lambda : de 1 à 1 000 000 nm");
      prefs.LambdaRef = *o.LambdaNm;
    }
    if (o.Orientation != "x" && o.Orientation != "y") throw ErreurOptions("--orientation : x ou y");
    InitZernike(prefs.NPolyZern, prefs.ModePoly);
    FixerFils(o.Fils, prefs);

    TEntreesTest e;
    e.DiametreMm = o.DiametreMm;
    e.FocaleMm = o.FocaleMm;
    e.IncidenceRadians = o.AngleDegres * 3.141592653589 / 180;
    e.Orientation = o.Orientation == "x" ? SelonX : SelonY;
    e.RotationDeg = o.RotationDeg;
    LireSource(o.Source, e);
    if (o.DefocalisationMm) {
      e.DefocalisationMm = *o.DefocalisationMm;
    } else if (o.PixelMicrons) {
      e.PixelMicrons = *o.PixelMicrons;
      e.BinAcquisition = o.Binning;
      e.BinLogiciel = o.BinningLogiciel;
    } else {
      throw ErreurOptions("Il faut --defocus ou --pixel pour connaître la défocalisation");
    }
    const TNomsEntrees options{"--diameter",          "--focal", "--defocus", "--pixel",
                               "--source artificial", "--angle", "--rotation"};
    if (const auto refus =
            VerifierEntrees(e, options, o.DefocalisationMm.has_value(), o.PixelMicrons.has_value()))
      throw ErreurOptions(*refus);
    // Every output's folder before the work: a night's series is not stacked for nothing.
    VerifierSorties({o.Json, o.Opd, o.Zernike, o.Test});
    TBarreTexte barre;
    const TImageOuverte ouvertIntra =
        OuvrirCoteDuTest(o.Intra, false, prefs, Ouverture(o, prefs, false), barre);
    barre.Masquer();
    const TImageOuverte ouvertExtra =
        OuvrirCoteDuTest(o.Extra, true, prefs, Ouverture(o, prefs, true), barre);
    barre.Masquer();
    const std::shared_ptr<TPupille> intra = ouvertIntra.Image;
    const std::shared_ptr<TPupille> extra = ouvertExtra.Image;
    res.Intra = intra;
    res.Extra = extra;
    res.SerieIntra = ouvertIntra.Empilement;
    res.SerieExtra = ouvertExtra.Empilement;

    if (!o.DefocalisationMm)
      e.DefocalisationMm =
          DefocalisationDepuisRayons(e, intra->RayonPupille, extra->RayonPupille) / 1e6;
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
    try {
      res.Test = ReconstruireSimple(p, prefs, JeuZernike(), barre);
    } catch (const ErreurTest& erreur) {
      // The message names the image by its role: the files too.
      auto noms = [](const std::vector<std::string>& f) {
        return EnUtf8(f.front()) +
               (f.size() > 1 ? " et " + std::to_string(f.size() - 1) + " autre(s)" : std::string());
      };
      throw ErreurTest(std::string(erreur.what()) + "\n(intra-focale : " + noms(o.Intra) +
                       " ; extra-focale : " + noms(o.Extra) + ")");
    }
    const auto& test = res.Test;
    TPupille& front = *test->FrontOnde;
    front.MoyenneEcartType();
    front.MinMaxMasque();
    CalculerStrehl(front);

    nlohmann::ordered_json& j = res.Json;
    j = JsonFigures(front, prefs);
    j["passes"] = test->PassesEffectuees;
    j["preparation"] = JsonPreparation(test->Preparation);
    if (res.SerieIntra || res.SerieExtra) {
      j["frames"] = nlohmann::ordered_json::object();
      if (res.SerieIntra) j["frames"]["intra"] = JsonEmpilement(*res.SerieIntra);
      if (res.SerieExtra) j["frames"]["extra"] = JsonEmpilement(*res.SerieExtra);
    }
    j["image_radius_px"] = {{"intra", intra->RayonPupille}, {"extra", extra->RayonPupille}};
    j["parameters"] = {
        {"diameter_mm", o.DiametreMm},
        {"focal_mm", o.FocaleMm},
        {"defocus_mm", p.Defocalisation / 1e6},
        {"source", NomSource(e.Source)},
        {"source_distance_mm", p.DistanceSource / 1e6},
        {"autocollimation", p.Autocollimation},
        {"angle_deg", o.AngleDegres},
        {"rotation_deg", o.RotationDeg},
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
  if (!o.Test.empty()) {
    std::string date = res.Intra->Infos.DateObs;
    if (date.empty()) date = res.Extra->Infos.DateObs;
    sorties.Ajouter(o.Test,
                    TexteTest(DecrireTest(front, res.Parametres, prefs, res.Test->Preparation,
                                          SourcesDuTest(o.Intra, o.Extra), date)));
  }
  if (o.Json != "-") {
    std::ostringstream t;
    for (const std::string& a : AvertissementsPreparation(res.Test->Preparation))
      t << "Attention : " << a << "\n";
    for (const auto& s : {res.SerieIntra, res.SerieExtra})
      if (s)
        t << (s == res.SerieIntra ? "Série intra-focale : " : "Série extra-focale : ") << s->Gardees
          << " images gardées sur " << s->Lues << ", dispersion du recalage "
          << FormaterFixe(s->DispersionRecalage, 2) << " px\n";
    sorties.Ajouter("-", t.str() + TexteFigures(front, prefs));
  }
  sorties.Ecrire();
  return 0;
}

}  // namespace quelvane::batch
