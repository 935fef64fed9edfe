#pragma once
// The HTML report of a test: its parameters, the defocused images and the signal, the
// wavefront and the residual with their figures, the Zernike table, every family of
// simulated pictures that is open, how the figures are to be read, and the pictures as JPEG
// files beside the page. The windows and quelvane-batch build it with the same function.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/combinaison_tests.h"
#include "analysis/roddier.h"
#include "core/pupille.h"
#include "files/fichier_test.h"
#include "settings/parametres.h"
#include "settings/preferences.h"

namespace quelvane {

// A picture of the report: the field as its window draws it.
struct TFenetreRapport {
  std::shared_ptr<TPupille> Champ;
  std::string Legende;
  bool CouleurLambda = false;
  bool Echelle = false;
};

struct TContexteRapport {
  const TRoddier* Test = nullptr;  // the reconstructed test (required)
  const TParametresTest* Parametres = nullptr;
  const TkwValue* Prefs = nullptr;
  const TJeuZernike* Jeu = nullptr;
  std::string Instrument, Camera;  // from the images' headers
  std::string PoseIntra, PoseExtra;
  std::uint8_t Source = 0;  // TypeSource
  std::optional<TFenetreRapport> Intra, Extra, Signal, Front, Residu;
  std::vector<TFenetreRapport> Fenetres;  // every window, in window order
  std::string Version;
  // A test opened again, averaged or subtracted: the tests it was made of, with their angles,
  // and the terms that stayed with the test stand.
  const TTestEnregistre* Enregistre = nullptr;
  // A night's tests in time order, with the terms followed (1-based).
  std::vector<TPointTendance> Tendance;
  std::vector<int> TermesTendance;
};

struct TRapport {
  std::string Html;  // as the page is written: ASCII, other characters as HTML entities
  std::vector<std::pair<std::string, std::string>> Images;  // file name, JPEG bytes
};

// Throws std::runtime_error (French message) when the context lacks the test or a wavefront.
TRapport ConstruireRapport(const TContexteRapport& contexte);

// The page at `chemin` and its pictures beside it (paths and contents), to be written together.
std::vector<std::pair<std::string, std::string>> FichiersRapport(const std::string& chemin,
                                                                 const TRapport& rapport);
// The page and its pictures, all written or none (ErreurEcriture).
void EcrireRapport(const std::string& chemin, const TRapport& rapport);

// Text as HTML text: & < > " ' as entities.
std::string EchapperHtml(const std::string& texte);

// UTF-8 text into ASCII, every other character as a numeric HTML entity.
std::string VersLatin1Html(const std::string& utf8);

}  // namespace quelvane
