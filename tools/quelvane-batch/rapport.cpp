// report: the report the windows write, for a night's tests from a script.

#include "report/rapport.h"

#include <filesystem>
#include <iostream>

#include "analysis/analyse_front.h"
#include "analysis/combinaison_tests.h"
#include "analysis/description_test.h"
#include "commandes.h"
#include "files/nombres.h"
#include "sortie.h"

namespace quelvane::batch {

int CommandeRapport(const TOptionsRapport& o) {
  if (o.Dossier.empty()) throw std::runtime_error("Il faut --out DOSSIER");
  std::error_code ec;
  if (!std::filesystem::is_directory(o.Dossier, ec))
    throw std::runtime_error("Dossier introuvable : " + o.Dossier);
  VerifierSorties({o.Json});
  TContexteRapport x;
  TPreferences prefs;
  std::unique_ptr<TRoddier> ouvert;
  TParametresTest parametres;
  TTestEnregistre enregistre;
  TReconstructionBatch r;
  if (!o.Test.empty()) {
    // A test file (a single test, an average or a difference): its own term set and lengths.
    prefs = ChargerPreferences(o.Reconstruction.Preferences);
    enregistre = OuvrirTest(o.Test);
    InitZernike(enregistre.NbTermes, enregistre.TypePolynomes);
    prefs.NPolyZern = static_cast<std::uint8_t>(enregistre.NbTermes);
    prefs.ModePoly = static_cast<std::uint8_t>(enregistre.TypePolynomes);
    if (enregistre.Front.Lambda > 0) prefs.LambdaRef = enregistre.Front.Lambda;
    ouvert = TestDepuisEnregistre(enregistre, std::make_shared<TPupille>(enregistre.Front));
    ouvert->FrontOnde->Palette = prefs.PltFront;
    parametres = ParametresDepuisJson(enregistre.Parametres);
    x.Test = ouvert.get();
    x.Parametres = &parametres;
    x.Source = SourceDuTest(parametres);
    x.Front = TFenetreRapport{ouvert->FrontOnde, "Front d'onde"};
    x.Enregistre = &enregistre;
  } else {
    const TOptionsReconstruction& rec = o.Reconstruction;
    if (rec.Intra.empty() || rec.Extra.empty() || rec.DiametreMm <= 0 || rec.FocaleMm <= 0)
      throw std::runtime_error(
          "Il faut --test FICHIER.qvt, ou --intra, --extra, --diameter et --focal");
    r = ExecuterReconstruction(rec);
    prefs = r.Prefs;
    TRoddier& test = *r.Test;
    test.FrontOnde->Palette = prefs.PltFront;
    if (test.FrontResiduel) test.FrontResiduel->Palette = prefs.PltFront;
    if (test.Signal) test.Signal->Palette = prefs.PltSignal;
    x.Test = &test;
    x.Parametres = &r.Parametres;
    x.Instrument = r.Intra->Infos.Telescope;
    x.Camera = r.Intra->Infos.Instrument;
    x.PoseIntra = FormaterGeneral(r.Intra->Infos.PoseSecondes, 6);
    x.PoseExtra = FormaterGeneral(r.Extra->Infos.PoseSecondes, 6);
    x.Source = r.Source;
    x.Intra = TFenetreRapport{r.Intra, "Intra"};
    x.Extra = TFenetreRapport{r.Extra, "Extra"};
    if (test.Signal) x.Signal = TFenetreRapport{test.Signal, "Signal"};
    x.Front = TFenetreRapport{test.FrontOnde, "Front d'onde"};
    if (test.FrontResiduel) x.Residu = TFenetreRapport{test.FrontResiduel, "Front résiduel"};
  }
  const TRoddier& test = *x.Test;
  x.Prefs = &prefs;
  x.Jeu = &JeuZernike();
  if (!o.Tendance.empty()) {
    std::vector<TTestEnregistre> tests;
    std::vector<std::string> noms;
    for (const std::string& f : o.Tendance) tests.push_back(OuvrirTest(f)), noms.push_back(f);
    x.Tendance = Tendance(tests, noms);
    x.TermesTendance = TermesSuivis(o.Termes, tests.front().NbTermes);
  }
  x.Version = QUELVANE_VERSION;
  const std::string page = (std::filesystem::path(o.Dossier) / "rapport.html").string();
  const TRapport rapport = ConstruireRapport(x);
  // The summary with the page and its pictures: all of them replaced, or none.
  TSorties sorties;
  for (auto& [chemin, contenu] : FichiersRapport(page, rapport)) sorties.Ajouter(chemin, contenu);
  if (!o.Json.empty()) {
    // The figures as the page states them, for a script that files the night's results.
    TPupille f = *test.FrontOnde;
    f.Lambda = f.Lambda > 0 ? f.Lambda : prefs.LambdaRef;
    f.MoyenneEcartType();
    f.MinMaxMasque();
    CalculerStrehl(f);
    nlohmann::ordered_json j;
    j["report"] = page;
    j["pictures"] = nlohmann::ordered_json::array();
    for (const auto& [nom, octets] : rapport.Images) j["pictures"].push_back(nom);
    j["rms_nm"] = f.EcartType;
    j["ptv_nm"] = f.Etendue;
    j["strehl"] = f.Strehl;
    j["strehl_max"] = f.StrehlMax;
    j["strehl_rms"] = f.StrehlRMS;
    j["lambda_nm"] = prefs.LambdaRef;
    sorties.Ajouter(o.Json, TexteJson(j));
  }
  sorties.Ecrire();
  return 0;
}

}  // namespace quelvane::batch
