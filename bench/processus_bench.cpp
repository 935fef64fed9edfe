// The whole command on a full camera frame: quelvane-batch reconstruct of a 4144 × 2822 pair
// (the demonstration star in a frame of sky and noise), from the process's start to its JSON,
// with the process's peak memory. Targets: under 0.6 s and 250 MB.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/pupille.h"
#include "files/fits.h"
#include "rapport_ratios.h"
#include "support/ecriture_fits.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int Largeur = 4144, Hauteur = 2822;

// The sample star pasted into a full frame of sky (1000 ADU) and read noise, far from centre.
fs::path Cadres() {
  static const fs::path dossier = [] {
    const fs::path d = fs::temp_directory_path() / "quelvane-bench-plein-cadre";
    fs::create_directories(d);
    std::mt19937 gen(1);
    std::normal_distribution<double> bruit(0, 10);
    for (const char* cote : {"intra", "extra"}) {
      const fs::path sortie = d / (std::string("plein-") + cote + ".fit");
      if (fs::exists(sortie)) continue;
      quelvane::TPupille etoile;
      quelvane::ChargerFITS(etoile, std::string(QUELVANE_SAMPLES) + "/etoile-" + cote + ".fit");
      std::vector<double> v(etoile.Donnees.Plan(0).begin(), etoile.Donnees.Plan(0).end());
      std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
      const double fond = v[v.size() / 2];
      quelvane::outils::TImageAEcrire im;
      im.Largeur = Largeur, im.Hauteur = Hauteur;
      im.Cartes = {{"BZERO", "32768"}, {"DATE-OBS", "'2026-03-14T21:42:07'"}};
      im.Valeurs.resize(static_cast<std::size_t>(Largeur) * Hauteur);
      for (double& x : im.Valeurs) x = std::round(1000 + bruit(gen)) - 32768;
      for (int r = 0; r < etoile.NY; ++r)
        for (int c = 0; c < etoile.NX; ++c)
          im.Valeurs[static_cast<std::size_t>(900 + r) * Largeur + 2600 + c] +=
              std::round(etoile.V(r, c) - fond);
      quelvane::outils::EcrireFITS(sortie.string(), im);
    }
    return d;
  }();
  return dossier;
}

void ProcessusPleinCadre(benchmark::State& etat) {
  const fs::path d = Cadres();
  const std::string fils = std::to_string(etat.range(0));
  std::vector<std::string> args = {QUELVANE_BATCH, "reconstruct",
                                   "--intra",      (d / "plein-intra.fit").string(),
                                   "--extra",      (d / "plein-extra.fit").string(),
                                   "--diameter",   "200",
                                   "--focal",      "1000",
                                   "--pixel",      "5.2",
                                   "--json",       (d / "resultat.json").string()};
  if (etat.range(0) > 0) args.insert(args.end(), {"--threads", fils});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The figures go to the JSON file; the text on standard output is not wanted here.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  double pic = 0;
  for (auto _ : etat) {
    const auto debut = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      etat.SkipWithError("quelvane-batch ne démarre pas");
      return;
    }
    int statut = 0;
    rusage u{};
    wait4(pid, &statut, 0, &u);
    etat.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count());
    if (!WIFEXITED(statut) || WEXITSTATUS(statut) != 0) {
      etat.SkipWithError("quelvane-batch a échoué");
      return;
    }
    pic = std::max(pic, u.ru_maxrss / 1024.0);
  }
  posix_spawn_file_actions_destroy(&actions);
  etat.counters["pic_memoire_Mo"] = pic;
}

// On one thread ("fils:1") and every core ("fils:0").
BENCHMARK(ProcessusPleinCadre)
    ->Name("Quelvane/ProcessusPleinCadre")
    ->ArgName("fils")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
