// average, difference and trend: test files combined.

#include <iostream>
#include <sstream>

#include "analysis/analyse_front.h"
#include "analysis/combinaison_tests.h"
#include "commandes.h"
#include "files/export_texte.h"
#include "files/fichier_test.h"
#include "files/nombres.h"
#include "files/utf8.h"
#include "sortie.h"

namespace quelvane::batch {

namespace {

struct TTestsLus {
  std::vector<TTestEnregistre> Tests;
  std::vector<std::string> Noms;
  TPreferences Prefs;
};

// The tests, each checked; the shared term set and wavelength become theirs.
TTestsLus Lire(const TOptionsCombinaison& o) {
  TTestsLus l;
  l.Prefs = ChargerPreferences(o.Preferences);
  for (const std::string& f : o.Tests) {
    l.Tests.push_back(OuvrirTest(f));
    l.Noms.push_back(EnUtf8(f));
  }
  if (!l.Tests.empty()) {
    const TTestEnregistre& t = l.Tests.front();
    InitZernike(t.NbTermes, t.TypePolynomes);
    l.Prefs.NPolyZern = static_cast<std::uint8_t>(t.NbTermes);
    l.Prefs.ModePoly = static_cast<std::uint8_t>(t.TypePolynomes);
    if (t.Front.Lambda > 0) l.Prefs.LambdaRef = t.Front.Lambda;
  }
  return l;
}

// The combined test written where asked: its file, JSON, OPD export, coefficients, and the
// figures on the terminal.
int Ecrire(TTestEnregistre& r, const TOptionsCombinaison& o, const TPreferences& prefs) {
  nlohmann::ordered_json j = JsonFigures(r.Front, prefs);
  j["nature"] = r.Nature;
  j["tests"] = nlohmann::ordered_json::array();
  for (const TTestComposant& c : r.Composition)
    j["tests"].push_back(
        {{"file", c.Fichier}, {"rotation_deg", c.RotationDeg}, {"date_obs", c.DateObs}});
  std::ostringstream t;
  if (!r.NoteSeparation.empty()) {
    j["separation"] = r.NoteSeparation;
    j["stand_terms"] = nlohmann::ordered_json::array();
    const TJeuZernike& jeu = JeuZernike();
    for (const TTermeBanc& b : r.TermesBanc) {
      const double f = prefs.NormRMS ? jeu.FacteurNorm[b.J - 1] : 1;
      j["stand_terms"].push_back({{"j", b.J},
                                  {"name", NomZernike(b.J)},
                                  {"value_nm", b.ValeurNm},
                                  {"se_nm", b.EcartNm},
                                  {"value_rms_nm", b.ValeurNm / jeu.FacteurNorm[b.J - 1]},
                                  {"se_rms_nm", b.EcartNm / jeu.FacteurNorm[b.J - 1]}});
      if (&b == &r.TermesBanc.front())
        t << "Termes du banc (restés fixes quand l'optique tournait) :\n";
      t << "  " << LibelleZernike(b.J) << " " << NomZernike(b.J) << " : "
        << FormaterFixe(b.ValeurNm / f, prefs.NDecNano) << " ± "
        << FormaterFixe(b.EcartNm / f, prefs.NDecNano) << " nm\n";
    }
    t << r.NoteSeparation << "\n";
  }
  TSorties sorties;
  if (!o.Sortie.empty()) sorties.Ajouter(o.Sortie, TexteTest(r));
  if (!o.Json.empty()) sorties.Ajouter(o.Json, TexteJson(j));
  if (!o.Opd.empty()) sorties.Ajouter(o.Opd, TexteOPD(r.Front));
  if (!o.Zernike.empty())
    sorties.Ajouter(o.Zernike, TexteCoefficients(r.Front.Coefficients, r.NbTermes, JeuZernike()));
  if (o.Json != "-") sorties.Ajouter("-", TexteFigures(r.Front, prefs) + t.str());
  sorties.Ecrire();
  return 0;
}

}  // namespace

int CommandeMoyenne(const TOptionsCombinaison& o) {
  VerifierSorties({o.Sortie, o.Json, o.Opd, o.Zernike});
  if (o.Tests.size() < 2) throw std::runtime_error("Il faut au moins deux tests pour une moyenne.");
  TTestsLus l = Lire(o);
  TTestEnregistre r = MoyenneDesTests(l.Tests, l.Noms, !o.SansSeparation);
  return Ecrire(r, o, l.Prefs);
}

int CommandeDifference(const TOptionsCombinaison& o) {
  VerifierSorties({o.Sortie, o.Json, o.Opd, o.Zernike});
  if (o.Tests.size() != 2)
    throw std::runtime_error("Il faut deux tests : le premier moins le second.");
  TTestsLus l = Lire(o);
  TTestEnregistre r = DifferenceDesTests(l.Tests[0], l.Tests[1], l.Noms[0], l.Noms[1]);
  return Ecrire(r, o, l.Prefs);
}

nlohmann::ordered_json JsonTendance(const std::vector<TPointTendance>& points,
                                    const std::vector<int>& termes) {
  nlohmann::ordered_json j = nlohmann::ordered_json::array();
  for (const TPointTendance& p : points) {
    nlohmann::ordered_json e = {
        {"file", p.Fichier},
        {"date_obs", p.DateObs},
        {"hours", p.DateConnue ? nlohmann::ordered_json(p.Heures) : nlohmann::ordered_json()},
        {"rms_nm", p.RMS},
        {"ptv_nm", p.PTV},
        {"strehl", p.Strehl}};
    if (p.EcartsConnus) {
      e["rms_se_nm"] = p.RMSEcart;
      e["ptv_se_nm"] = p.PTVEcart;
      e["strehl_se"] = p.StrehlEcart;
    }
    e["terms"] = nlohmann::ordered_json::array();
    for (int k : termes) {
      nlohmann::ordered_json t = {{"j", k}, {"rms_nm", p.CoefficientsRMS[k - 1]}};
      if (p.EcartsConnus) t["se_rms_nm"] = p.EcartsRMS[k - 1];
      e["terms"].push_back(t);
    }
    j.push_back(e);
  }
  return j;
}

int CommandeTendance(const TOptionsCombinaison& o) {
  VerifierSorties({o.Csv, o.Json});
  if (o.Tests.empty()) throw std::runtime_error("Il faut au moins un test.");
  TTestsLus l = Lire(o);
  const std::vector<int> termes = TermesSuivis(o.Termes, l.Tests.front().NbTermes);
  const std::vector<TPointTendance> points = Tendance(l.Tests, l.Noms);
  TSorties sorties;
  const std::string csv = TexteCSVTendance(points, termes);
  if (!o.Json.empty()) sorties.Ajouter(o.Json, TexteJson(JsonTendance(points, termes)));
  if (!o.Csv.empty()) sorties.Ajouter(o.Csv, csv);
  if (o.Csv.empty() && o.Json != "-") sorties.Ajouter("-", csv);
  sorties.Ecrire();
  return 0;
}

}  // namespace quelvane::batch
