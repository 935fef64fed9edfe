// A series of eight interferograms of a 512² wavefront, computed and drawn as the windows draw
// them.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>

#include "rapport_ratios.h"
#include "rendu/rendu.h"
#include "simulation/interferogramme.h"
#include "simulation/psf.h"

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

// The PSF of a 256² wavefront padded by 8: two transforms of 2048², beside FFTW doing two
// complex transforms of that size.
void PSF2048(benchmark::State& etat) {
  TPupille front = Front512();
  front.Extraire(128, 128, 256, 256);
  front.CentreX = front.CentreY = 128;
  front.RayonPupille = 120;
  front.AxesPupille();
  // Once before timing: the first PSF also pays the system for its fresh memory, as FFTW's
  // plan does outside its loop.
  PSFDuFront(front, 3, 555, 4);
  for (auto _ : etat) {
    const TPSF psf = PSFDuFront(front, 3, 555, 4);
    benchmark::DoNotOptimize(psf.Reelle->Donnees.Ligne(0, 0));
  }
}

void ReferencePSF2048(benchmark::State& etat) {
  const int n = 2048;
  auto* a = fftwf_alloc_complex(static_cast<std::size_t>(n) * n);
  fftwf_plan plan = fftwf_plan_dft_2d(n, n, a, a, FFTW_FORWARD, FFTW_MEASURE);
  for (std::size_t i = 0; i < static_cast<std::size_t>(n) * n; ++i) a[i][0] = a[i][1] = 0;
  for (auto _ : etat) {
    fftwf_execute(plan);
    fftwf_execute(plan);
    benchmark::DoNotOptimize(a[0][0]);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(a);
}

BENCHMARK(PSF2048)->Name("Quelvane/PSF2048")->Unit(benchmark::kMillisecond);
BENCHMARK(ReferencePSF2048)->Name("Reference/PSF2048")->Unit(benchmark::kMillisecond);

BENCHMARK(SerieInterferogrammes)
    ->Name("Quelvane/SerieInterferogrammes512")
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
