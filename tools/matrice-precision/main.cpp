// Prints the accuracy of the reconstruction over the validation matrix: one line per case,
// then the error of every term (reported minus true, RMS-normalised nanometres).
// Usage: matrice-precision [--reduite] [--sans-series] [--passes N] [--prefs FICHIER]
//                          [--csv FICHIER]
// --csv writes every measured coefficient with four decimals: two runs compared line by line
// tell whether a change of the engine moved any figure.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/memoire.h"
#include "support/cas_series.h"
#include "support/cas_validation.h"

using namespace quelvane;

int main(int argc, char** argv) {
  quelvane::GarderMemoireLiberee();
  bool complete = true, series = true;
  TPreferences prefs;
  std::FILE* csv = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--reduite")) {
      complete = false;
    } else if (!std::strcmp(argv[i], "--sans-series")) {
      series = false;
    } else if (!std::strcmp(argv[i], "--passes") && i + 1 < argc) {
      prefs.NIter = static_cast<std::uint8_t>(std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--csv") && i + 1 < argc) {
      csv = std::fopen(argv[++i], "w");
      if (!csv) {
        std::fprintf(stderr, "impossible d'écrire %s\n", argv[i]);
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--prefs") && i + 1 < argc) {
      const auto lecture = LirePreferences(prefs, argv[++i]);
      if (!lecture.Erreur.empty()) {
        std::fprintf(stderr, "%s\n", lecture.Erreur.c_str());
        return 2;
      }
    } else {
      std::fprintf(
          stderr,
          "usage : matrice-precision [--reduite] [--sans-series] [--passes N] [--prefs FICHIER] "
          "[--csv FICHIER]\n");
      return 2;
    }
  }
  const auto matrice = outils::MatriceValidation(complete);
  std::vector<outils::TResultatCas> resultats;
  int echecs = 0;
  std::printf(
      "| cas | R vrai / mesuré (px) | ε vraie / mesurée | erreur Z5–Z22 (nm) | RMS vrai / mesuré "
      "(nm) | cibles |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const auto& cas : matrice) {
    resultats.push_back(outils::EvaluerCas(cas, prefs));
    const auto& r = resultats.back();
    if (csv)
      for (int j = 0; j < 22; ++j)
        std::fprintf(csv, "%s;Z%d;%.4f\n", cas.Nom.c_str(), j + 1, r.MesuresRMS[j]);
    const std::string ecart = outils::EcartAuxCibles(cas, r);
    echecs += ecart.empty() ? 0 : 1;
    std::printf("| %s | %.1f / %.1f | %.3f / %.3f | %.2f | %.1f / %.1f | %s |\n", cas.Nom.c_str(),
                r.RayonVraiPx, r.RayonMesurePx, cas.Telescope.Obstruction, r.ObstructionMesuree,
                r.ErreurRMS, r.RMSVrai, r.RMSMesure, ecart.empty() ? "atteintes" : ecart.c_str());
    std::fflush(stdout);
  }
  std::printf("\nErreur par terme (mesuré − vrai, nm RMS) :\n\n| cas |");
  for (int j = 5; j <= 22; ++j) std::printf(" Z%d |", j);
  std::printf("\n|---|");
  for (int j = 5; j <= 22; ++j) std::printf("---|");
  std::printf("\n");
  for (std::size_t k = 0; k < matrice.size(); ++k) {
    std::printf("| %s |", matrice[k].Nom.c_str());
    for (int j = 4; j < 22; ++j)
      std::printf(" %.1f |", resultats[k].MesuresRMS[j] - resultats[k].VraisRMS[j]);
    std::printf("\n");
  }
  std::printf("\n%d cas sur %zu hors des cibles.\n", echecs, matrice.size());
  if (csv) std::fclose(csv);
  if (!series) return echecs == 0 ? 0 : 1;

  // Series: stacked, then reconstructed; the error bars against the true errors.
  std::printf(
      "\nSéries d'images courtes (une atmosphère de von Kármán par image) :\n\n"
      "| série | images gardées intra / extra | erreur Z5–Z22 (nm) | RMS vrai / mesuré (nm) | "
      "erreurs dans ±1σ | cibles |\n|---|---|---|---|---|---|\n");
  int dedans = 0, total = 0, echecsSeries = 0;
  const auto serie = outils::MatriceSeries(complete);
  for (const auto& cas : serie) {
    const outils::TResultatSerie r = outils::EvaluerSerie(cas, prefs);
    const bool atteintes = r.Erreur.empty() && r.ErreurRMS <= 6 &&
                           std::fabs(r.RMSMesure - r.RMSVrai) <= 0.1 * r.RMSVrai;
    echecsSeries += atteintes ? 0 : 1;
    dedans += r.DansUnSigma;
    total += 18;
    std::printf("| %s | %d / %d sur %d | %.2f | %.1f / %.1f | %d / 18 | %s |\n", cas.Nom.c_str(),
                r.GardeesIntra, r.GardeesExtra, r.Lues, r.ErreurRMS, r.RMSVrai, r.RMSMesure,
                r.DansUnSigma,
                !r.Erreur.empty() ? r.Erreur.c_str()
                : atteintes       ? "atteintes"
                                  : "manquées");
    std::fflush(stdout);
  }
  std::printf("\n%d erreurs sur %d dans ±1σ (%.0f %%) ; %d séries sur %zu hors des cibles.\n",
              dedans, total, 100.0 * dedans / std::max(total, 1), echecsSeries, serie.size());
  return echecs + echecsSeries == 0 ? 0 : 1;
}
