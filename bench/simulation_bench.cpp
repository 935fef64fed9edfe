// A series of eight interferograms of a 512² wavefront, computed and drawn as the windows draw
// them.

#include <benchmark/benchmark.h>

#include <cmath>

#include "rapport_ratios.h"
#include "simulation/interferogramme.h"
#include "ui/rendu.h"

namespace {

using namespace quelvane;

TPupille Front512() {
  TPupille p;
  p.Allouer(512, 512);
  p.CentreX = p.CentreY = 256;
  p.RayonPupille = 240;
  p.AxesPupille();
  p.Role = RoleFront;
  for (int r = 0; r < 512; ++r)
    for (int c = 0; c < 512; ++c) {
      const double x = p.AxeX[c], y = p.AxeY[r], q = x * x + y * y;
      if (q <= 1) p.M(r, c) = 1, p.V(r, c) = 60 * (6 * q * q - 6 * q + 1) + 25 * (x * x - y * y);
    }
  return p;
}

void SerieInterferogrammes(benchmark::State& etat) {
  const TPupille front = Front512();
  TPalettes palettes;
  palettes.ChoisirPalette(5);
  const std::vector<int> angles = AnglesSerie(0, 23);
  for (auto _ : etat)
    for (const int a : angles) {
      TPupille i;
      CalculerInterferogramme(front, a, 8, 555, 5, i);
      const TImage24 image = ImageDuChamp(i, palettes, 555, true, false);
      benchmark::DoNotOptimize(image.Pixels.data());
    }
  etat.counters["images"] = static_cast<double>(angles.size());
}

BENCHMARK(SerieInterferogrammes)
    ->Name("Quelvane/SerieInterferogrammes512")
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
