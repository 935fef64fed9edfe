#include "analysis/ouverture.h"

#include <filesystem>

#include "analysis/preparation.h"
#include "files/fits.h"
#include "files/serie.h"
#include "files/utf8.h"

namespace quelvane {

namespace {

std::string NomCourt(const std::string& chemin) {
  return EnUtf8(std::filesystem::path(chemin).filename().string());
}

std::string Cote(bool extra) { return extra ? "extra-focale" : "intra-focale"; }

}  // namespace

bool FormentUneSerie(const std::vector<std::string>& fichiers) {
  return fichiers.size() > 1 || (fichiers.size() == 1 && EstUneSerie(fichiers[0]));
}

TImageOuverte OuvrirCoteDuTest(const std::vector<std::string>& fichiers, bool extra,
                               const TkwValue& prefs, const TOptionsOuverture& options,
                               IProgression& progression) {
  if (fichiers.empty()) throw ErreurOuverture("Aucun fichier pour l'image " + Cote(extra));
  TImageOuverte o;
  if (!FormentUneSerie(fichiers)) {
    auto image = std::make_shared<TPupille>();
    const TResultatFITS lecture = ChargerFITS(*image, fichiers[0]);
    if (!lecture.Reussi())
      throw ErreurOuverture("Format d'image incompatible\nimage " + Cote(extra) + " " +
                            EnUtf8(fichiers[0]) + " : " + lecture.Raison);
    if (!PreparerImage(*image, prefs, extra, options.Etoile,
                       Cote(extra) + " " + NomCourt(fichiers[0])))
      throw ErreurOuverture("Format d'image incompatible\nimage " + Cote(extra) + " " +
                            EnUtf8(fichiers[0]) + " : image de moins de 3 × 3 pixels");
    o.Image = std::move(image);
    o.Legende = NomCourt(fichiers[0]);
    o.EchantillonsManquants = lecture.EchantillonsNonFinis;
    return o;
  }
  const std::unique_ptr<TSerieImages> serie = OuvrirSerie(fichiers);
  TOptionsEmpilement e;
  e.Etoile = options.Etoile;
  e.PourcentGarde = options.PourcentGarde;
  e.Fils = options.Fils;
  auto empilement = std::make_shared<TEmpilement>(Empiler(*serie, e, progression, Cote(extra)));
  o.Image = ImageEmpilee(*empilement);
  // The stack is its own image from here on: the grids stay with the field only.
  empilement->Image = TGrilleReelle();
  empilement->SousEnsembles.clear();
  // The stack holds the test star at its centre: prepared as any image, the brightest star.
  PreparerImage(*o.Image, prefs, extra, {}, Cote(extra));
  const std::string premier = NomCourt(fichiers[0]);
  o.Legende = LegendeEmpilement(fichiers.size() > 1
                                    ? premier + " et " + std::to_string(fichiers.size() - 1) +
                                          (fichiers.size() > 2 ? " autres" : " autre")
                                    : premier,
                                *empilement);
  o.Empilement = std::move(empilement);
  return o;
}

}  // namespace quelvane
