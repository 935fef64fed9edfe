// quelvane-batch: the program's computations from the command line, for scripts.

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>

#include "commandes.h"
#include "core/memoire.h"
#include "francais.h"

namespace {

using namespace quelvane::batch;

// The options of a reconstruction, for `reconstruct` and for the simulations made from one.
void OptionsReconstruction(CLI::App& cmd, TOptionsReconstruction& rec, bool obligatoires) {
  auto* intra = cmd.add_option(
      "--intra", rec.Intra,
      "Image intra-focale (FITS), ou série : vidéo SER, cube FITS, plusieurs fichiers");
  auto* extra = cmd.add_option("--extra", rec.Extra,
                               "Image ou série extra-focale, telle que la caméra l'a vue");
  auto* diametre = cmd.add_option("--diameter", rec.DiametreMm, "Diamètre de l'instrument (mm)");
  auto* focale = cmd.add_option("--focal", rec.FocaleMm, "Distance focale (mm)");
  if (obligatoires)
    for (CLI::Option* o : {intra, extra, diametre, focale}) o->required();
  auto* defoc = cmd.add_option("--defocus", rec.DefocalisationMm, "Défocalisation (mm)");
  auto* pixel = cmd.add_option("--pixel", rec.PixelMicrons,
                               "Taille des pixels (µm) : défocalisation d'après les rayons");
  defoc->excludes(pixel);
  cmd.add_option("--binning", rec.Binning, "Binning d'acquisition")->needs(pixel);
  cmd.add_option("--soft-binning", rec.BinningLogiciel, "Binning logiciel")->needs(pixel);
  cmd.add_option("--source", rec.Source,
                 "infinity | artificial=METRES | curvature | autocollimation");
  cmd.add_option("--angle", rec.AngleDegres, "Angle d'incidence (degrés)");
  cmd.add_option("--orientation", rec.Orientation,
                 "Orientation des aberrations de montage : x ou y");
  cmd.add_option("--iterations", rec.Iterations, "Nombre maximal de passes (1 à 20)");
  cmd.add_option("--lambda", rec.LambdaNm, "Longueur d'onde de référence (nm)");
  cmd.add_option("--prefs", rec.Preferences, "Fichier de préférences (Prefs.txt)");
  cmd.add_option("--star", rec.Etoiles,
                 "X,Y de l'étoile du test dans l'image du fichier : intra, puis extra")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd.add_option("--intra-star", rec.EtoileIntra, "X,Y de l'étoile du test, côté intra-focal");
  cmd.add_option("--extra-star", rec.EtoileExtra, "X,Y de l'étoile du test, côté extra-focal");
  cmd.add_option("--keep", rec.Garde, "Part des images d'une série gardées (%)");
  cmd.add_option("--threads", rec.Fils, "Nombre de fils de calcul");
  cmd.add_option("--rotation", rec.RotationDeg,
                 "Rotation de l'optique sur son barillet (degrés, sens trigonométrique)");
}

void OptionsSimulation(CLI::App& cmd, TOptionsSimulation& s, bool franges) {
  cmd.add_option("--wavefront", s.Front,
                 "Export OPD ou fichier de test du front d'onde (sinon : une reconstruction)");
  OptionsReconstruction(cmd, s.Reconstruction, false);
  cmd.add_option(
      "--direction", s.Direction,
      franges ? "Angle des franges (degrés)" : "Direction d'où vient le couteau (degrés)");
  if (franges) cmd.add_option("--fringes", s.Franges, "Nombre de franges (1 à 24)");
  cmd.add_option("--series", s.Pas, "Une série sur un demi-tour, par pas de ce nombre de degrés");
  cmd.add_option("--out", s.Image, "Image JPEG (une série ajoute l'angle avant l'extension)")
      ->required();
  cmd.add_option("--json", s.Json, "Liste des images en JSON (- : sortie standard)");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quelvane::batch;
  // Past a file size limit a write fails with EFBIG instead of killing the process, so that
  // the temporary files are removed and the error reported.
  std::signal(SIGXFSZ, SIG_IGN);
  quelvane::GarderMemoireLiberee();
  CLI::App app{"Quelvane en ligne de commande"};
  AideEnFrancais(app);
  app.require_subcommand(1);

  TOptionsInfo info;
  auto* cmdInfo = app.add_subcommand("info", "En-tête, statistiques et pupille d'une image FITS");
  cmdInfo->add_option("fichier", info.Fichier, "Image FITS")->required();
  cmdInfo->add_flag("--json", info.Json, "Un objet JSON sur la sortie standard");
  cmdInfo->add_option("--prefs", info.Preferences, "Fichier de préférences (Prefs.txt)");

  TOptionsReconstruction rec;
  auto* cmdRec =
      app.add_subcommand("reconstruct", "Reconstruction du front d'onde d'une paire intra/extra");
  OptionsReconstruction(*cmdRec, rec, true);
  cmdRec->add_option("--json", rec.Json, "Résultats en JSON dans ce fichier (- : sortie standard)");
  cmdRec->add_option("--opd", rec.Opd, "Export OPD du front d'onde");
  cmdRec->add_option("--zernike", rec.Zernike, "Fichier des coefficients de Zernike");
  cmdRec->add_option("--test", rec.Test, "Fichier de test à enregistrer (.qvt)");

  TOptionsSimulation interfero, foucault;
  auto* cmdInterfero = app.add_subcommand(
      "interferogram", "Interférogramme d'un front d'onde (export OPD ou reconstruction)");
  OptionsSimulation(*cmdInterfero, interfero, true);
  auto* cmdFoucault = app.add_subcommand(
      "foucault", "Foucaultgramme d'un front d'onde (export OPD ou reconstruction)");
  OptionsSimulation(*cmdFoucault, foucault, false);

  TOptionsPSF psf;
  auto* cmdPSF = app.add_subcommand(
      "psf", "PSF, énergie encerclée et FTM d'un front d'onde (export OPD ou reconstruction)");
  cmdPSF->add_option("--wavefront", psf.Front, "Export OPD ou fichier de test du front d'onde");
  OptionsReconstruction(*cmdPSF, psf.Reconstruction, false);
  cmdPSF->add_option("--size", psf.Taille, "Taille de la PSF : 0 (x1) à 3 (x8)");
  cmdPSF->add_flag("--log", psf.Log, "Image en échelle logarithmique");
  cmdPSF->add_option("--out", psf.Image, "Image JPEG de la PSF réelle");
  cmdPSF->add_option("--csv", psf.Csv, "Courbes FTM et énergie encerclée en CSV");
  cmdPSF->add_option("--json", psf.Json, "Résultats en JSON (- : sortie standard)");

  TOptionsProfil profil;
  auto* cmdProfil = app.add_subcommand(
      "profile", "Profil méridien d'un front d'onde en CSV (export OPD ou reconstruction)");
  cmdProfil->add_option("--wavefront", profil.Front,
                        "Export OPD ou fichier de test du front d'onde");
  OptionsReconstruction(*cmdProfil, profil.Reconstruction, false);
  cmdProfil->add_option("--azimuth", profil.AzimutDeg, "Azimut du diamètre (degrés)");
  cmdProfil->add_option("--zoom", profil.Zoom, "Partie centrale : 1/zoom du diamètre (1 à 10)");
  cmdProfil->add_option("--out", profil.Csv, "Fichier CSV (sinon : sortie standard)");
  cmdProfil->add_option("--json", profil.Json, "Profil en JSON (- : sortie standard)");

  TOptionsPreferences prefs;
  auto* cmdPrefs = app.add_subcommand(
      "prefs", "Préférences telles que le programme les lit ; --set les modifie");
  cmdPrefs->add_option("--prefs", prefs.Fichier,
                       "Fichier de préférences (sinon celui du programme)");
  cmdPrefs->add_option("--set", prefs.Affectations, "CLE=VALEUR, autant de fois que voulu");
  cmdPrefs->add_option("--json", prefs.Json, "Préférences en JSON (- : sortie standard)");

  TOptionsEmpilementBatch pile;
  auto* cmdPile = app.add_subcommand(
      "stack", "Empilement des images d'une série (vidéo SER, cube FITS, fichiers) en FITS");
  cmdPile->add_option("--in", pile.Fichiers, "Vidéo SER, cube FITS ou fichiers FITS de la série")
      ->required();
  cmdPile->add_option("--out", pile.Sortie, "Image empilée (FITS, flottants)")->required();
  cmdPile->add_option("--star", pile.Etoile, "X,Y de l'étoile du test");
  cmdPile->add_option("--keep", pile.Garde, "Part des images gardées (%)");
  cmdPile->add_option("--threads", pile.Fils, "Nombre de fils de calcul");
  cmdPile->add_option("--prefs", pile.Preferences, "Fichier de préférences (Prefs.txt)");
  cmdPile->add_option("--json", pile.Json, "Qualité des images en JSON (- : sortie standard)");

  TOptionsRapport rapport;
  auto* cmdRapport = app.add_subcommand("report", "Rapport HTML d'un test, avec ses images");
  OptionsReconstruction(*cmdRapport, rapport.Reconstruction, false);
  cmdRapport->add_option("--test", rapport.Test,
                         "Fichier de test (.qvt) au lieu d'une reconstruction : test, moyenne, "
                         "différence");
  cmdRapport->add_option("--trend", rapport.Tendance,
                         "Fichiers de test d'une nuit, présentés en tableau d'évolution");
  cmdRapport->add_option("--terms", rapport.Termes, "Termes suivis (défaut : 5,6,7,8,11)")
      ->delimiter(',');
  cmdRapport->add_option("--out", rapport.Dossier, "Dossier du rapport (rapport.html et images)")
      ->required();
  cmdRapport->add_option("--json", rapport.Json, "Résumé JSON (fichier, ou - : sortie standard)");

  TOptionsDemonstration demo;
  auto* cmdDemo = app.add_subcommand(
      "demo", "Le test de démonstration : la paire d'exemple et son instrument, reconstruite");
  cmdDemo->add_option("--iterations", demo.Iterations, "Nombre maximal de passes (1 à 20)");
  cmdDemo->add_option("--prefs", demo.Preferences, "Fichier de préférences (Prefs.txt)");
  cmdDemo->add_option("--threads", demo.Fils, "Nombre de fils de calcul");
  cmdDemo->add_option("--json", demo.Json,
                      "Résultats en JSON dans ce fichier (- : sortie standard)");
  cmdDemo->add_option("--opd", demo.Opd, "Export OPD du front d'onde");
  cmdDemo->add_option("--zernike", demo.Zernike, "Fichier des coefficients de Zernike");

  TOptionsCombinaison moyenne, difference, tendance;
  auto* cmdMoyenne = app.add_subcommand(
      "average", "Moyenne de tests (.qvt), rotations défaites, termes du banc séparés");
  cmdMoyenne->add_option("tests", moyenne.Tests, "Fichiers de test")->required();
  cmdMoyenne->add_flag("--no-separation", moyenne.SansSeparation,
                       "Ne pas séparer les termes du banc de ceux de l'optique");
  auto* cmdDifference = app.add_subcommand(
      "difference", "Différence de deux tests (.qvt) : le premier moins le second");
  cmdDifference->add_option("tests", difference.Tests, "Deux fichiers de test")->required();
  for (auto [cmd, opt] : {std::pair{cmdMoyenne, &moyenne}, std::pair{cmdDifference, &difference}}) {
    cmd->add_option("--out", opt->Sortie, "Fichier de test du résultat (.qvt)");
    cmd->add_option("--json", opt->Json, "Résultats en JSON (- : sortie standard)");
    cmd->add_option("--opd", opt->Opd, "Export OPD du front d'onde");
    cmd->add_option("--zernike", opt->Zernike, "Fichier des coefficients de Zernike");
    cmd->add_option("--prefs", opt->Preferences, "Fichier de préférences (Prefs.txt)");
  }
  auto* cmdTendance =
      app.add_subcommand("trend", "Évolution de tests (.qvt) dans le temps, en CSV ou JSON");
  cmdTendance->add_option("tests", tendance.Tests, "Fichiers de test")->required();
  cmdTendance->add_option("--terms", tendance.Termes, "Termes suivis (défaut : 5,6,7,8,11)")
      ->delimiter(',');
  cmdTendance->add_option("--csv", tendance.Csv, "Fichier CSV (sinon : sortie standard)");
  cmdTendance->add_option("--json", tendance.Json, "Points en JSON (- : sortie standard)");
  cmdTendance->add_option("--prefs", tendance.Preferences, "Fichier de préférences (Prefs.txt)");

  TOptionsSurveillance veille;
  auto* cmdVeille = app.add_subcommand(
      "watch", "Surveille un dossier : chaque nouvelle paire intra/extra devient un test");
  cmdVeille->add_option("dossier", veille.Dossier, "Dossier où la caméra enregistre")->required();
  OptionsReconstruction(*cmdVeille, veille.Reconstruction, false);
  cmdVeille->add_option("--tests", veille.DossierTests,
                        "Dossier des fichiers de test (défaut : le dossier surveillé)");
  cmdVeille->add_flag("--by-order", veille.ParOrdre,
                      "Sans « intra »/« extra » dans les noms : apparier par ordre d'arrivée");
  cmdVeille->add_option("--interval", veille.Intervalle, "Secondes entre deux regards (défaut 2)");
  cmdVeille->add_option("--stable", veille.Stabilite,
                        "Secondes sans changement avant de lire un fichier (défaut 1)");
  cmdVeille->add_option("--max-tests", veille.MaxTests, "S'arrêter après ce nombre de paires");
  cmdVeille->add_option("--timeout", veille.Delai,
                        "S'arrêter après ce nombre de secondes sans nouvelle paire");
  cmdVeille->add_option("--trend", veille.Tendance, "CSV de l'évolution, réécrit à chaque test");
  cmdVeille->add_option("--terms", veille.Termes, "Termes suivis (défaut : 5,6,7,8,11)")
      ->delimiter(',');

  for (CLI::App* c : app.get_subcommands({})) c->group("Commandes");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : SortieErreur;
  }
  // A command reports its failure by throwing: one message on standard error, status 2.
  try {
    if (*cmdInfo) return CommandeInfo(info);
    if (*cmdRec) return CommandeReconstruction(rec);
    if (*cmdInterfero) return CommandeInterferogramme(interfero);
    if (*cmdFoucault) return CommandeFoucault(foucault);
    if (*cmdPSF) return CommandePSF(psf);
    if (*cmdProfil) return CommandeProfil(profil);
    if (*cmdRapport) return CommandeRapport(rapport);
    if (*cmdPile) return CommandeEmpilement(pile);
    if (*cmdPrefs) return CommandePreferences(prefs);
    if (*cmdDemo) return CommandeDemonstration(demo);
    if (*cmdMoyenne) return CommandeMoyenne(moyenne);
    if (*cmdDifference) return CommandeDifference(difference);
    if (*cmdTendance) return CommandeTendance(tendance);
    if (*cmdVeille) {
      for (const char* o : {"--intra", "--extra"})
        if (cmdVeille->count(o))
          throw std::runtime_error(std::string(o) + " : les images viennent du dossier surveillé");
      if (!cmdVeille->count("--diameter") || !cmdVeille->count("--focal"))
        throw std::runtime_error("Il faut --diameter et --focal pour les tests du dossier");
      return CommandeSurveillance(veille);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return SortieErreur;
  }
  return SortieErreur;
}
