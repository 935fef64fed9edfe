// watch: a folder filled by a capture program; each new pair becomes a test file, and the
// trend of the night is rewritten after each.

#include "files/surveillance.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <thread>

#include "analysis/combinaison_tests.h"
#include "analysis/description_test.h"
#include "commandes.h"
#include "files/ecriture.h"
#include "files/fichier_test.h"
#include "files/utf8.h"
#include "sortie.h"

namespace quelvane::batch {

namespace {

std::atomic<bool> arret{false};

extern "C" void Arreter(int) { arret = true; }

}  // namespace

int CommandeSurveillance(const TOptionsSurveillance& o) {
  if (!(o.Intervalle >= 0.1 && o.Intervalle <= 3600))
    throw std::runtime_error("--interval : de 0,1 à 3 600 s");
  if (!(o.Stabilite >= 0 && o.Stabilite <= 3600))
    throw std::runtime_error("--stable : de 0 à 3 600 s");
  if (o.MaxTests && *o.MaxTests < 1) throw std::runtime_error("--max-tests : 1 ou plus");
  if (o.Delai && !(*o.Delai > 0)) throw std::runtime_error("--timeout : plus de 0 s");
  std::error_code ec;
  if (!std::filesystem::is_directory(o.Dossier, ec))
    throw std::runtime_error("Dossier à surveiller introuvable : " + EnUtf8(o.Dossier));
  const std::string sortie = o.DossierTests.empty() ? o.Dossier : o.DossierTests;
  if (!std::filesystem::is_directory(sortie, ec))
    throw std::runtime_error("Dossier des tests introuvable : " + EnUtf8(sortie));
  VerifierSorties({o.Tendance});
  // The terms followed, checked against the term set of the tests to come.
  TermesSuivis(o.Termes, ChargerPreferences(o.Reconstruction.Preferences).NPolyZern);

  std::signal(SIGINT, Arreter);
  std::signal(SIGTERM, Arreter);
  TSurveillance surveillance(o.Dossier, o.ParOrdre, o.Stabilite);
  std::vector<TTestEnregistre> tests;
  std::vector<std::string> noms;
  int faits = 0;
  auto dernier = std::chrono::steady_clock::now();
  std::cerr << "Surveillance de " << EnUtf8(o.Dossier) << " (Ctrl+C pour arrêter)\n";
  while (!arret) {
    std::vector<TPaireArrivee> paires;
    try {
      paires = surveillance.Examiner();
    } catch (const ErreurSurveillance& e) {
      // The folder went away: what was done is kept, the watch ends with the reason.
      std::cerr << e.what() << '\n';
      return SortieErreur;
    }
    for (const TPaireArrivee& p : paires) {
      dernier = std::chrono::steady_clock::now();
      TOptionsReconstruction rec = o.Reconstruction;
      rec.Intra = {p.Intra.string()};
      rec.Extra = {p.Extra.string()};
      rec.Json.clear();
      const std::filesystem::path fichier = CheminDuTest(sortie, p.Nom);
      nlohmann::ordered_json ligne = {{"intra", EnUtf8(rec.Intra.front())},
                                      {"extra", EnUtf8(rec.Extra.front())}};
      try {
        TReconstructionBatch r = ExecuterReconstruction(rec);
        TPupille& front = *r.Test->FrontOnde;
        std::string date = r.Intra->Infos.DateObs;
        if (date.empty()) date = r.Extra->Infos.DateObs;
        TTestEnregistre t = DecrireTest(front, r.Parametres, r.Prefs, r.Test->Preparation,
                                        SourcesDuTest(rec.Intra, rec.Extra), date);
        EnregistrerTest(t, fichier.string());
        ligne["test"] = EnUtf8(fichier.string());
        ligne["rms_nm"] = r.Json["rms_nm"];
        ligne["strehl"] = r.Json["strehl"];
        tests.push_back(std::move(t));
        noms.push_back(EnUtf8(fichier.string()));
        if (!o.Tendance.empty()) {
          const std::vector<int> termes = TermesSuivis(o.Termes, tests.front().NbTermes);
          EcrireFichierAtomique(o.Tendance, TexteCSVTendance(Tendance(tests, noms), termes));
        }
      } catch (const std::exception& e) {
        // One bad pair does not end the night: it is reported and the watch goes on.
        ligne["error"] = e.what();
      }
      EcrireSortieStandard(
          ligne.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
      ++faits;
      if (o.MaxTests && faits >= *o.MaxTests) return 0;
    }
    if (o.Delai &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - dernier).count() >
            *o.Delai)
      return 0;
    for (double attendu = 0; attendu < o.Intervalle && !arret; attendu += 0.1)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

}  // namespace quelvane::batch
