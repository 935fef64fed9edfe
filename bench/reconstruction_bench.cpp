// A whole reconstruction (10 passes, the noise draws of its ±, then the fit) of simulated
// pairs, beside FFTW doing the same number of forward and inverse transforms of the grid the
// test works on (the floor: complex transforms, "Reference/"; and, since the solver's grids
// are real and its filter transforms them as such, FFTW's real-input transforms,
// "ReferenceReelle/"), on one thread and on every core.

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <sys/resource.h>

#include <algorithm>
#include <map>

#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "core/fft.h"
#include "core/parallele.h"
#include "rapport_ratios.h"
#include "support/simulateur_etoile.h"

namespace {

using namespace quelvane;

struct TCas {
  TPupille Intra, Extra;
  TParametresTest Parametres;
  TkwValue Prefs;
  int Grille = 0;           // side of the grid the test cut the frame to
  int Transformations = 0;  // forward + inverse pairs of one reconstruction, draws included
};

// A frame of `cote` pixels whose pupil images have a radius of `rayon` pixels.
TCas& Preparer(int cote, int rayon) {
  static std::map<std::pair<int, int>, TCas> tous;
  TCas& c = tous[{cote, rayon}];
  if (c.Transformations > 0) return c;
  outils::TTelescopeSimule t;
  t.Obstruction = 0.25;
  t.CoefficientsNm[10] = 60;
  t.CoefficientsNm[4] = 25;
  t.CoefficientsNm[6] = -15;
  outils::TCameraSimulee cam;
  cam.Largeur = cam.Hauteur = cote;
  cam.SousPixels = 2;
  cam.DefocalisationMm = rayon * cam.PixelMicrons * 1e-3 * t.FocaleMm / (t.DiametreMm / 2);
  c.Prefs.NIter = 10;
  for (auto [im, intra] : {std::pair{&c.Intra, true}, std::pair{&c.Extra, false}}) {
    im->Allouer(cote, cote);
    im->Donnees = outils::SimulerImage(t, cam, outils::SpectreLarge(), intra);
    PreparerImage(*im, c.Prefs, !intra);
  }
  c.Parametres.DistanceFocale = t.FocaleMm * 1e6;
  c.Parametres.RayonInstrument = t.DiametreMm * 5e5;
  c.Parametres.Defocalisation = cam.DefocalisationMm * 1e6;
  c.Parametres.ImageIntra = &c.Intra;
  c.Parametres.ImageExtra = &c.Extra;
  TSansProgression p;
  TRoddier test;
  ReconstruireTest(test, 0, c.Intra, c.Extra, c.Parametres, c.Prefs, ConstruireJeuZernike(22, 0),
                   p);
  c.Grille = test.Preparation.Cote;
  // Each conjugate-gradient iteration applies the preconditioner once: one pair, plus the
  // first application of each solve.
  c.Transformations = test.IterationsTotales + test.IterationsBruit + test.PassesEffectuees +
                      static_cast<int>(test.FrontsDuBruit.size());
  return c;
}

void QuelvaneReconstruction(benchmark::State& etat) {
  TCas& c = Preparer(static_cast<int>(etat.range(0)), static_cast<int>(etat.range(1)));
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TSansProgression p;
  const int avant = NombreFils();
  DefinirNombreFils(etat.range(2) > 0 ? static_cast<int>(etat.range(2)) : NombreCoeurs());
  for (auto _ : etat) {
    TRoddier test;
    ReconstruireTest(test, 0, c.Intra, c.Extra, c.Parametres, c.Prefs, jeu, p);
    benchmark::DoNotOptimize(test.FrontOnde->Coefficients.data());
  }
  DefinirNombreFils(avant);
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  etat.counters["paires_fft"] = c.Transformations;
  etat.counters["grille"] = c.Grille;
  etat.counters["pic_memoire_Mo"] = u.ru_maxrss / 1024.0;
}

// The transforms alone, in full: the filter the solver applies, over every row and column
// (a solve skips the rows and columns its support leaves empty).
void QuelvaneTransformations(benchmark::State& etat) {
  TCas& c = Preparer(static_cast<int>(etat.range(0)), static_cast<int>(etat.range(1)));
  const int n = c.Grille;
  const TFiltreFrequentiel filtre(n, std::vector<double>(static_cast<std::size_t>(n) * n, 1.0));
  auto travail = filtre.Travail();
  std::vector<float> entree(static_cast<std::size_t>(n) * n, 0.0f), sortie(entree.size());
  const int avant = NombreFils();
  DefinirNombreFils(1);
  for (auto _ : etat)
    for (int i = 0; i < c.Transformations; ++i) {
      filtre.Appliquer(entree.data(), sortie.data(), 0, n, 0, n, travail);
      benchmark::DoNotOptimize(sortie.data());
    }
  DefinirNombreFils(avant);
}

void ReferenceTransformations(benchmark::State& etat) {
  TCas& c = Preparer(static_cast<int>(etat.range(0)), static_cast<int>(etat.range(1)));
  const int n = c.Grille;
  auto* a = fftwf_alloc_complex(static_cast<std::size_t>(n) * n);
  fftwf_plan avant = fftwf_plan_dft_2d(n, n, a, a, FFTW_FORWARD, FFTW_MEASURE);
  fftwf_plan arriere = fftwf_plan_dft_2d(n, n, a, a, FFTW_BACKWARD, FFTW_MEASURE);
  for (std::size_t i = 0; i < static_cast<std::size_t>(n) * n; ++i) a[i][0] = a[i][1] = 0;
  for (auto _ : etat)
    for (int i = 0; i < c.Transformations; ++i) {
      fftwf_execute(avant);
      fftwf_execute(arriere);
      benchmark::DoNotOptimize(a[0][0]);
    }
  fftwf_destroy_plan(avant);
  fftwf_destroy_plan(arriere);
  fftwf_free(a);
}

// 256 × 256 frames with pupils of 70 pixels (a 256 grid), and a 1024 × 1024 frame with a
// pupil of 120 pixels (cut to a 512 grid): ten passes, six noise draws and the fit; on one
// thread ("fils:1", against FFTW's floor) and on every core ("fils:0"). Every core first, as
// the program runs (its threads start with it); after long single-threaded runs the two-thread
// figures came out slower here.
// On a shared machine a run is only ever slowed down: with --benchmark_repetitions, the
// fastest repetition ("_min") is the one to compare.
double Minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void Cas(benchmark::internal::Benchmark* b) {
  b->ComputeStatistics("min", Minimum);
  for (int fils : {0, 1}) {
    b->Args({256, 70, fils});
    b->Args({1024, 120, fils});
  }
  b->ArgNames({"cote", "rayon", "fils"});
}
// Two seconds each: the first run of a thread count pays for starting its threads.
BENCHMARK(QuelvaneReconstruction)
    ->Name("Quelvane/Reconstruction")
    ->Apply(Cas)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime();
void Floor(benchmark::internal::Benchmark* b) {
  b->ComputeStatistics("min", Minimum);
  b->Args({256, 70, 1});
  b->Args({1024, 120, 1});
  b->ArgNames({"cote", "rayon", "fils"});
}
BENCHMARK(QuelvaneTransformations)
    ->Name("Quelvane/Transformations")
    ->Apply(Floor)
    ->Unit(benchmark::kMillisecond);
// FFTW's transforms of a real grid to its half spectrum and back.
void ReferenceTransformationsReelles(benchmark::State& etat) {
  TCas& c = Preparer(static_cast<int>(etat.range(0)), static_cast<int>(etat.range(1)));
  const int n = c.Grille;
  auto* x = fftwf_alloc_real(static_cast<std::size_t>(n) * n);
  auto* y = fftwf_alloc_real(static_cast<std::size_t>(n) * n);
  auto* a = fftwf_alloc_complex(static_cast<std::size_t>(n) * (n / 2 + 1));
  fftwf_plan avant = fftwf_plan_dft_r2c_2d(n, n, x, a, FFTW_MEASURE);
  fftwf_plan arriere = fftwf_plan_dft_c2r_2d(n, n, a, y, FFTW_MEASURE);
  for (std::size_t i = 0; i < static_cast<std::size_t>(n) * n; ++i) x[i] = 0;
  for (auto _ : etat)
    for (int i = 0; i < c.Transformations; ++i) {
      fftwf_execute(avant);
      fftwf_execute(arriere);
      benchmark::DoNotOptimize(y[0]);
    }
  fftwf_destroy_plan(avant);
  fftwf_destroy_plan(arriere);
  fftwf_free(x);
  fftwf_free(y);
  fftwf_free(a);
}

BENCHMARK(ReferenceTransformations)
    ->Name("Reference/Reconstruction")
    ->Apply(Floor)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ReferenceTransformations)
    ->Name("Reference/Transformations")
    ->Apply(Floor)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ReferenceTransformationsReelles)
    ->Name("ReferenceReelle/Reconstruction")
    ->Apply(Floor)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ReferenceTransformationsReelles)
    ->Name("ReferenceReelle/Transformations")
    ->Apply(Floor)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
