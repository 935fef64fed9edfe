// The program's transforms beside FFTW (single precision, FFTW_MEASURE), both on one thread.
// "Quelvane/…" and "Reference/…" of the same name compute the same transform.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>

#include "core/fft.h"
#include "core/parallele.h"
#include "rapport_ratios.h"

namespace {

// One thread on both sides: the transforms compared as they are, not the cores.
const bool unFil = (quelvane::DefinirNombreFils(1), true);

using quelvane::TGrilleReelle;

TGrilleReelle Aleatoire(int n, int plans) {
  std::mt19937 alea(1);
  std::normal_distribution<double> g;
  TGrilleReelle t(plans, n, n);
  for (int p = 0; p < plans; ++p)
    for (double& v : t.Plan(p)) v = g(alea);
  return t;
}

void QuelvaneFFT2D(benchmark::State& etat) {
  const int n = static_cast<int>(etat.range(0));
  const auto entree = Aleatoire(n, 1);
  for (auto _ : etat) {
    int h = n, w = n;
    auto s = quelvane::FFT2D(entree, h, w);
    benchmark::DoNotOptimize(s.Ligne(0, 0));
  }
}

void QuelvaneAllerRetour(benchmark::State& etat) {
  const int n = static_cast<int>(etat.range(0));
  const auto entree = Aleatoire(n, 2);
  for (auto _ : etat) {
    int h = n, w = n;
    auto s = quelvane::FFT2DComplexe(entree, h, w);
    quelvane::FFT2DInverse(s, n);
    benchmark::DoNotOptimize(s.Ligne(0, 0));
  }
}

// FFTW on the same data: a complex transform of the real (or complex) input, then for the
// round trip the inverse transform; the copies in and out of the program's grids count too.
void ReferenceFFT2D(benchmark::State& etat) {
  const int n = static_cast<int>(etat.range(0));
  const auto entree = Aleatoire(n, 1);
  auto* tampon = fftwf_alloc_complex(static_cast<std::size_t>(n) * n);
  fftwf_plan plan = fftwf_plan_dft_2d(n, n, tampon, tampon, FFTW_FORWARD, FFTW_MEASURE);
  TGrilleReelle sortie(2, n, n);
  for (auto _ : etat) {
    const auto e = entree.Plan(0);
    for (std::size_t i = 0; i < e.size(); ++i) {
      tampon[i][0] = static_cast<float>(e[i]);
      tampon[i][1] = 0;
    }
    fftwf_execute(plan);
    auto re = sortie.Plan(0), im = sortie.Plan(1);
    for (std::size_t i = 0; i < re.size(); ++i) {
      re[i] = tampon[i][0];
      im[i] = tampon[i][1];
    }
    benchmark::DoNotOptimize(sortie.Ligne(0, 0));
  }
  fftwf_destroy_plan(plan);
  fftwf_free(tampon);
}

void ReferenceAllerRetour(benchmark::State& etat) {
  const int n = static_cast<int>(etat.range(0));
  const auto entree = Aleatoire(n, 2);
  auto* tampon = fftwf_alloc_complex(static_cast<std::size_t>(n) * n);
  fftwf_plan avant = fftwf_plan_dft_2d(n, n, tampon, tampon, FFTW_FORWARD, FFTW_MEASURE);
  fftwf_plan arriere = fftwf_plan_dft_2d(n, n, tampon, tampon, FFTW_BACKWARD, FFTW_MEASURE);
  TGrilleReelle sortie(1, n, n);
  for (auto _ : etat) {
    const auto re = entree.Plan(0), im = entree.Plan(1);
    for (std::size_t i = 0; i < re.size(); ++i) {
      tampon[i][0] = static_cast<float>(re[i]);
      tampon[i][1] = static_cast<float>(im[i]);
    }
    fftwf_execute(avant);
    fftwf_execute(arriere);
    auto s = sortie.Plan(0);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = tampon[i][0];
    benchmark::DoNotOptimize(sortie.Ligne(0, 0));
  }
  fftwf_destroy_plan(avant);
  fftwf_destroy_plan(arriere);
  fftwf_free(tampon);
}

void Tailles(benchmark::internal::Benchmark* b) {
  for (int n = 128; n <= 2048; n *= 2) b->Arg(n);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(QuelvaneFFT2D)->Name("Quelvane/FFT2D")->Apply(Tailles);
BENCHMARK(ReferenceFFT2D)->Name("Reference/FFT2D")->Apply(Tailles);
BENCHMARK(QuelvaneAllerRetour)->Name("Quelvane/FFT2DComplexe+Inverse")->Apply(Tailles);
BENCHMARK(ReferenceAllerRetour)->Name("Reference/FFT2DComplexe+Inverse")->Apply(Tailles);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
