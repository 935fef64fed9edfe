// The Zernike fit of a 256 × 256 pupil (≈ 50 000 samples) beside Eigen's Householder QR
// least-squares solve of the same design matrix.

#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <cmath>
#include <random>

#include "core/ajustement.h"
#include "rapport_ratios.h"

namespace {

using namespace quelvane;

TPupille Pupille(const TJeuZernike& jeu) {
  TPupille p;
  p.Allouer(256, 256);
  p.CentreX = p.CentreY = 128.5;
  p.RayonPupille = 126;
  p.Obstruction = 0.2;
  p.AxesPupille();
  std::mt19937 alea(2);
  std::normal_distribution<double> g(0, 50);
  TCoefZernike c{};
  for (double& x : c) x = g(alea);
  for (int r = 0; r < 256; ++r)
    for (int k = 0; k < 256; ++k) {
      TValZernike v{};
      if (!CalculZernike(jeu, p.AxeY[r], p.AxeX[k], p.Obstruction, v)) continue;
      p.M(r, k) = 1;
      double s = 0;
      for (int j = 0; j < jeu.NbTermes; ++j) s += c[j] * v[j];
      p.V(r, k) = s + g(alea) * 0.01;
    }
  SelectionComplete(p.Selection);
  return p;
}

void QuelvaneAjustement(benchmark::State& etat) {
  const auto jeu = ConstruireJeuZernike(static_cast<int>(etat.range(0)), PolyMahajan);
  TPupille p = Pupille(jeu);
  for (auto _ : etat) {
    AjusterZernike(p, jeu);
    benchmark::DoNotOptimize(p.Coefficients.data());
  }
}

// The design matrix is built outside the timed loop: Eigen is timed on the solve alone.
void ReferenceAjustement(benchmark::State& etat) {
  const int n = static_cast<int>(etat.range(0));
  const auto jeu = ConstruireJeuZernike(n, PolyMahajan);
  TPupille p = Pupille(jeu);
  std::vector<std::pair<int, int>> echantillons;
  for (int r = 0; r < 256; ++r)
    for (int k = 0; k < 256; ++k)
      if (p.M(r, k) == 1) echantillons.emplace_back(r, k);
  Eigen::MatrixXd a(echantillons.size(), n);
  Eigen::VectorXd b(echantillons.size());
  for (std::size_t i = 0; i < echantillons.size(); ++i) {
    const auto [r, k] = echantillons[i];
    TValZernike v{};
    CalculZernike(jeu, p.AxeY[r], p.AxeX[k], p.Obstruction, v);
    for (int j = 0; j < n; ++j) a(i, j) = v[j];
    b(i) = p.V(r, k);
  }
  for (auto _ : etat) {
    Eigen::VectorXd x = a.householderQr().solve(b);
    benchmark::DoNotOptimize(x.data());
  }
}

BENCHMARK(QuelvaneAjustement)
    ->Name("Quelvane/Ajustement")
    ->Arg(22)
    ->Arg(42)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ReferenceAjustement)
    ->Name("Reference/Ajustement")
    ->Arg(22)
    ->Arg(42)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
