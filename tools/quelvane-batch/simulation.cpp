// interferogram and foucault: the simulations of the windows, as pictures for scripts.

#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>

#include "analysis/analyse_front.h"
#include "commandes.h"
#include "files/export_texte.h"
#include "files/fichier_test.h"
#include "files/jpeg.h"
#include "files/nombres.h"
#include "rendu/rendu.h"
#include "simulation/foucault.h"
#include "simulation/interferogramme.h"
#include "simulation/psf.h"
#include "simulation/seidel.h"
#include "sortie.h"

namespace quelvane::batch {

namespace {

std::string LireTexte(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  if (!f) throw std::runtime_error("Fichier introuvable ou illisible : " + chemin);
  std::string t((std::istreambuf_iterator<char>(f)), {});
  if (f.bad()) throw std::runtime_error("Fichier illisible : " + chemin);
  return t;
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

// The wavefront of a simulation subcommand: an OPD export, or a reconstruction.
struct TFrontBatch {
  TPreferences Prefs;
  std::shared_ptr<TPupille> Front;
  double FocaleNm = 0, RayonNm = 0;  // when known
};

TFrontBatch FrontDe(const std::string& opd, const TOptionsReconstruction& rec) {
  TFrontBatch f;
  if (!opd.empty()) {
    f.Prefs = ChargerPreferences(rec.Preferences);
    const std::string texte = LireTexte(opd);
    if (RessembleAUnTest(texte)) {
      // A test file: its wavefront with its term set, wavelength and focal length.
      const TTestEnregistre t = LireTest(texte);
      f.Front = std::make_shared<TPupille>(t.Front);
      f.Prefs.NPolyZern = static_cast<std::uint8_t>(t.NbTermes);
      f.Prefs.ModePoly = static_cast<std::uint8_t>(t.TypePolynomes);
      InitZernike(t.NbTermes, t.TypePolynomes);
      if (t.Front.Lambda > 0) f.Prefs.LambdaRef = t.Front.Lambda;
      f.Front->MoyenneEcartType();
      f.Front->MinMaxMasque();
      CalculerStrehl(*f.Front);
      f.FocaleNm = t.Parametres.value("focale_mm", 0.0) * 1e6;
      if (rec.FocaleMm > 0) f.FocaleNm = rec.FocaleMm * 1e6;
    } else {
      f.Front = std::make_shared<TPupille>(LireOPD(texte));
      f.FocaleNm = rec.FocaleMm > 0 ? rec.FocaleMm * 1e6 : 0;
    }
    f.RayonNm = f.Front->RayonPhysique;
    return f;
  }
  if (rec.Intra.empty() || rec.Extra.empty())
    throw std::runtime_error("Il faut --wavefront FICHIER.opd, ou --intra et --extra");
  TReconstructionBatch r = ExecuterReconstruction(rec);
  f.Prefs = r.Prefs;
  f.Front = r.Test->FrontOnde;
  f.FocaleNm = r.Test->FocaleNm;
  f.RayonNm = r.Test->RayonNm;
  return f;
}

using TCalcul = void (*)(const TPupille& front, int angle, const TOptionsSimulation& o,
                         const TPreferences& prefs, TPupille& cible);

int Simuler(const TOptionsSimulation& o, TCalcul calculer, bool couleurLambda,
            std::uint8_t TkwValue::*palette) {
  if (o.Image.empty()) throw std::runtime_error("Il faut --out pour l'image à écrire");
  if (o.Franges < 1 || o.Franges > 24) throw std::runtime_error("--fringes : de 1 à 24");
  if (o.Pas < 0 || o.Pas > 180) throw std::runtime_error("--series : de 1 à 180 degrés");
  if (o.Direction < -360 || o.Direction > 360)
    throw std::runtime_error("--direction : de -360 à 360 degrés");
  // The outputs' folders before the work (a series is long).
  VerifierSorties({o.Image, o.Json});
  const TFrontBatch fb = FrontDe(o.Front, o.Reconstruction);
  const TPreferences& prefs = fb.Prefs;
  const std::shared_ptr<TPupille>& front = fb.Front;
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

int CommandePSF(const TOptionsPSF& o) {
  if (o.Taille < -1 || o.Taille > 3) throw std::runtime_error("--size : de 0 à 3");
  VerifierSorties({o.Image, o.Csv, o.Json});
  const TFrontBatch fb = FrontDe(o.Front, o.Reconstruction);
  const TPreferences& prefs = fb.Prefs;
  const double lambda = prefs.LambdaRef;
  const TAnalysePSF a = AnalyserPSF(*fb.Front, lambda);
  // Cut-off D/(λf) in cycles per millimetre, when the focal length is known.
  const double coupure = fb.FocaleNm > 0 ? 2 * fb.RayonNm / (lambda * fb.FocaleNm) * 1e6 : 0;
  TSorties sorties;
  nlohmann::ordered_json j;
  j["lambda_nm"] = lambda;
  j["peak_ratio"] = a.RapportPics;
  {
    // The figure the panel shows, S/Smax from the RMS, beside the peak ratio measured.
    TPupille f = *fb.Front;
    f.MoyenneEcartType();
    f.Lambda = lambda;
    CalculerStrehl(f);
    j["strehl_rms"] = f.StrehlRMS;
  }
  j["encircled_energy"] = {{"airy_1", a.EnergieAiry1}, {"airy_2", a.EnergieAiry2}};
  j["centroid_airy"] = {{"x", a.CentroideX}, {"y", a.CentroideY}};
  if (coupure > 0) j["cutoff_cycles_per_mm"] = coupure;
  nlohmann::ordered_json ftm = nlohmann::ordered_json::array();
  std::string csv = "curve,x,measured,perfect\r\n";
  auto nombre = [](double v) { return FormaterGeneral(v, 8, '.'); };
  for (const TPointCourbe& p : a.FTM) {
    if (p.X > 1) break;
    nlohmann::ordered_json e = {{"fraction", p.X}, {"mtf", p.Reelle}, {"mtf_perfect", p.Parfaite}};
    if (coupure > 0) e["cycles_per_mm"] = p.X * coupure;
    ftm.push_back(e);
    csv += "mtf," + nombre(p.X) + "," + nombre(p.Reelle) + "," + nombre(p.Parfaite) + "\r\n";
  }
  for (const TPointCourbe& p : a.Energie)
    csv += "encircled_energy," + nombre(p.X) + "," + nombre(p.Reelle) + "," + nombre(p.Parfaite) +
           "\r\n";
  j["mtf"] = ftm;
  if (!o.Image.empty()) {
    const int taille = o.Taille >= 0 ? o.Taille : prefs.FactMultDiff;
    if (taille > 3) throw std::runtime_error("--size : de 0 (x1) à 3 (x8)");
    TPSF psf = PSFDuFront(*fb.Front, taille, lambda, prefs.PltPSF);
    TPalettes palettes;
    palettes.ChoisirPalette(prefs.PltPSF);
    TFctXY vue = o.Log ? VueLogarithmique(*psf.Reelle) : TFctXY(*psf.Reelle);
    const TImage24 image = ImageDuChamp(vue, palettes, lambda, false, false);
    sorties.Ajouter(o.Image, CoderJPEG(image.Pixels, image.Largeur, image.Hauteur));
  }
  if (!o.Csv.empty()) sorties.Ajouter(o.Csv, csv);
  if (!o.Json.empty()) sorties.Ajouter(o.Json, TexteJson(j));
  sorties.Ecrire();
  return 0;
}

int CommandeProfil(const TOptionsProfil& o) {
  if (o.Zoom < 1 || o.Zoom > 10) throw std::runtime_error("--zoom : de 1 à 10");
  if (!std::isfinite(o.AzimutDeg) || std::fabs(o.AzimutDeg) > 3600)
    throw std::runtime_error("--azimuth : un angle en degrés, de -3600 à 3600");
  VerifierSorties({o.Csv, o.Json});
  const TFrontBatch fb = FrontDe(o.Front, o.Reconstruction);
  bool mm = false;
  const auto segments =
      ProfilMeridien(*fb.Front, o.AzimutDeg * 3.14159265358979323846 / 180, o.Zoom, mm);
  // One segment per stretch without a gap: the central obstruction separates two of them.
  std::string csv = std::string("segment,") + (mm ? "x_mm" : "x_px") + ",opd_nm\r\n";
  for (std::size_t s = 0; s < segments.size(); ++s)
    for (const TPointProfil& p : segments[s])
      csv += std::to_string(s + 1) + "," + FormaterGeneral(p.X, 10, '.') + "," +
             FormaterGeneral(p.Valeur, 10, '.') + "\r\n";
  TSorties sorties;
  if (!o.Csv.empty() || o.Json.empty()) sorties.Ajouter(o.Csv.empty() ? "-" : o.Csv, csv);
  if (!o.Json.empty()) {
    nlohmann::ordered_json j;
    j["unit"] = mm ? "mm" : "px";
    j["azimuth_deg"] = o.AzimutDeg;
    j["segments"] = nlohmann::ordered_json::array();
    for (const auto& segment : segments) {
      nlohmann::ordered_json points = nlohmann::ordered_json::array();
      for (const TPointProfil& p : segment) points.push_back({{"x", p.X}, {"opd_nm", p.Valeur}});
      j["segments"].push_back(points);
    }
    sorties.Ajouter(o.Json, TexteJson(j));
  }
  sorties.Ecrire();
  return 0;
}

}  // namespace quelvane::batch
