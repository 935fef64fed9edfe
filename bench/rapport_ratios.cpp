#include "rapport_ratios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "core/memoire.h"

namespace quelvane::bench {

namespace {

// The name without the run options ("/min_time:2.000", "/real_time"), so that a case and its
// reference pair whatever options each was timed with.
std::string SansOptions(std::string nom) {
  // An option ends at the next '/' or at an aggregate's suffix ("_min", "_median"…), kept.
  for (const char* option : {"/min_time:", "/real_time", "/iterations:"}) {
    for (auto p = nom.find(option); p != std::string::npos; p = nom.find(option)) {
      const auto fin = nom.find_first_of("/_", p + std::strlen(option));
      nom.erase(p, fin == std::string::npos ? std::string::npos : fin - p);
    }
  }
  return nom;
}

class TRapport : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (!r.error_occurred) temps_[SansOptions(r.benchmark_name())] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Ratios() const {
    // Against each reference of the same case: "Reference/…", "ReferenceReelle/…".
    std::printf("\n%-56s %12s %12s %8s\n", "", "Quelvane", "Reference", "ratio");
    for (const auto& [nom, t] : temps_) {
      if (nom.rfind("Quelvane/", 0) != 0) continue;
      // With repetitions, the median and the fastest stand for the run.
      if (nom.find("_mean") != std::string::npos || nom.find("_stddev") != std::string::npos ||
          nom.find("_cv") != std::string::npos)
        continue;
      const std::string cas = nom.substr(9);
      for (const auto& [ref, tr] : temps_) {
        const auto barre = ref.find('/');
        if (ref.rfind("Reference", 0) != 0 || barre == std::string::npos ||
            ref.substr(barre + 1) != cas)
          continue;
        const std::string etiquette = cas + " (" + ref.substr(0, barre) + ")";
        std::printf("%-56s %12.4g %12.4g %8.2f\n", etiquette.c_str(), t, tr, t / tr);
      }
    }
    // The same work on one thread ("fils:1") and on every core ("fils:0"): the speed-up.
    bool entete = false;
    for (const auto& [nom, t] : temps_) {
      const auto p = nom.find("fils:1");
      if (p == std::string::npos || nom.find("_mean") != std::string::npos ||
          nom.find("_stddev") != std::string::npos || nom.find("_cv") != std::string::npos)
        continue;
      const auto tous = temps_.find(nom.substr(0, p) + "fils:0" + nom.substr(p + 6));
      if (tous == temps_.end()) continue;
      if (!entete)
        std::printf("\n%-56s %12s %12s %8s\n", "", "1 fil", "tous", "gain"), entete = true;
      std::printf("%-56s %12.4g %12.4g %8.2f\n", (nom.substr(0, p) + nom.substr(p + 6)).c_str(), t,
                  tous->second, t / tous->second);
    }
  }

 private:
  std::map<std::string, double> temps_;
};

}  // namespace

int ExecuterAvecRatios(int argc, char** argv) {
  GarderMemoireLiberee();  // as the programs run
  benchmark::Initialize(&argc, argv);
  TRapport rapport;
  benchmark::RunSpecifiedBenchmarks(&rapport);
  rapport.Ratios();
  benchmark::Shutdown();
  return 0;
}

}  // namespace quelvane::bench
