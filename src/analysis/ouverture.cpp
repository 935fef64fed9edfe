#include "analysis/ouverture.h"

#include <algorithm>
#include <filesystem>

#include "analysis/etoiles.h"
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

TCadre CadreUtile(const TImageJPEG& image) {
  TCadre tout{0, 0, image.Largeur, image.Hauteur};
  if (static_cast<long long>(image.Largeur) * image.Hauteur <= 4'000'000) return tout;
  // The star on a copy binned to at most 1024 pixels a side (the sum of the colours).
  const int b = (std::max(image.Largeur, image.Hauteur) + 1023) / 1024;
  TFctXY reduite;
  reduite.NX = (image.Largeur + b - 1) / b;
  reduite.NY = (image.Hauteur + b - 1) / b;
  reduite.Donnees.Allouer(1, reduite.NY, reduite.NX);
  for (int r = 0; r < image.Hauteur; ++r)
    for (int c = 0; c < image.Largeur; ++c) {
      const std::size_t i = (static_cast<std::size_t>(r) * image.Largeur + c) * image.Composantes;
      double v = 0;
      for (int k = 0; k < image.Composantes; ++k) v += image.Pixels[i + k];
      reduite.Donnees(r / b, c / b) += v;
    }
  const auto etoile = ChoisirEtoile(TrouverEtoiles(reduite));
  if (!etoile) return tout;
  const double x = (etoile->CentreX - 0.5) * b, y = (etoile->CentreY - 0.5) * b;
  int cote = 1024;
  try {
    cote = CoteGrilleTest(etoile->Rayon * b) + 2 * 64;
  } catch (const ErreurTest&) {
    return tout;
  }
  TCadre c;
  c.Colonne = std::clamp(static_cast<int>(x) - cote / 2, 0, image.Largeur - 1);
  c.Ligne = std::clamp(static_cast<int>(y) - cote / 2, 0, image.Hauteur - 1);
  c.Largeur = std::min(cote, image.Largeur - c.Colonne);
  c.Hauteur = std::min(cote, image.Hauteur - c.Ligne);
  return c;
}

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
    std::optional<std::pair<double, double>> etoile = options.Etoile;
    if (options.Recadrer && static_cast<long long>(image->NX) * image->NY > 4'000'000) {
      // The frame's test star first; then only its part of the frame is kept (the star
      // found again there is the same one: nothing brighter lies inside its square).
      if (const auto e = ChoisirEtoile(TrouverEtoiles(*image), options.Etoile)) {
        int cote = 0;
        try {
          cote = CoteGrilleTest(e->Rayon) + 2 * 64;
        } catch (const ErreurTest&) {
          cote = 0;  // too large a star for a grid: the whole frame, refused further on
        }
        if (cote > 0 && cote < std::max(image->NX, image->NY)) {
          const int x0 = std::clamp(static_cast<int>(e->CentreX) - cote / 2, 0, image->NX - 1);
          const int y0 = std::clamp(static_cast<int>(e->CentreY) - cote / 2, 0, image->NY - 1);
          const int nc = std::min(cote, image->NX - x0), nl = std::min(cote, image->NY - y0);
          image->Extraire(x0, y0, nl, nc);
          if (etoile) etoile = std::pair{etoile->first - x0, etoile->second - y0};
        }
      }
    }
    if (!PreparerImage(*image, prefs, extra, etoile, Cote(extra) + " " + NomCourt(fichiers[0])))
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
