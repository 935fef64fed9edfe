// quelvane-batch: the program's computations from the command line, for scripts.

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>

#include "commandes.h"

int main(int argc, char** argv) {
  using namespace quelvane::batch;
  // Past a file size limit a write fails with EFBIG instead of killing the process, so that
  // the temporary files are removed and the error reported.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"Quelvane en ligne de commande"};
  app.require_subcommand(1);

  TOptionsInfo info;
  auto* cmdInfo = app.add_subcommand("info", "En-tête, statistiques et pupille d'une image FITS");
  cmdInfo->add_option("fichier", info.Fichier, "Image FITS")->required();
  cmdInfo->add_flag("--json", info.Json, "Un objet JSON sur la sortie standard");
  cmdInfo->add_option("--prefs", info.Preferences, "Fichier de préférences (Prefs.txt)");

  TOptionsReconstruction rec;
  auto* cmdRec =
      app.add_subcommand("reconstruct", "Reconstruction du front d'onde d'une paire intra/extra");
  cmdRec->add_option("--intra", rec.Intra, "Image intra-focale (FITS)")->required();
  cmdRec->add_option("--extra", rec.Extra, "Image extra-focale (FITS), telle que la caméra l'a vue")
      ->required();
  cmdRec->add_option("--diameter", rec.DiametreMm, "Diamètre de l'instrument (mm)")->required();
  cmdRec->add_option("--focal", rec.FocaleMm, "Distance focale (mm)")->required();
  auto* defoc = cmdRec->add_option("--defocus", rec.DefocalisationMm, "Défocalisation (mm)");
  auto* pixel = cmdRec->add_option("--pixel", rec.PixelMicrons,
                                   "Taille des pixels (µm) : défocalisation d'après les rayons");
  defoc->excludes(pixel);
  cmdRec->add_option("--binning", rec.Binning, "Binning d'acquisition")->needs(pixel);
  cmdRec->add_option("--soft-binning", rec.BinningLogiciel, "Binning logiciel")->needs(pixel);
  cmdRec->add_option("--source", rec.Source,
                     "infinity | artificial=METRES | curvature | autocollimation");
  cmdRec->add_option("--angle", rec.AngleDegres, "Angle d'incidence (degrés)");
  cmdRec->add_option("--orientation", rec.Orientation,
                     "Orientation des aberrations de montage : x ou y");
  cmdRec->add_option("--iterations", rec.Iterations, "Nombre maximal de passes (1 à 20)");
  cmdRec->add_option("--lambda", rec.LambdaNm, "Longueur d'onde de référence (nm)");
  cmdRec->add_option("--prefs", rec.Preferences, "Fichier de préférences (Prefs.txt)");
  cmdRec->add_option("--json", rec.Json, "Résultats en JSON dans ce fichier (- : sortie standard)");
  cmdRec->add_option("--opd", rec.Opd, "Export OPD du front d'onde");
  cmdRec->add_option("--zernike", rec.Zernike, "Fichier des coefficients de Zernike");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : SortieErreur;
  }
  try {
    if (*cmdInfo) return CommandeInfo(info);
    if (*cmdRec) return CommandeReconstruction(rec);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return SortieErreur;
  }
  return SortieErreur;
}
