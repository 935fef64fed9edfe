// Stacking the videos of a test: a 640 × 480 16-bit SER video per side, read from the disc
// (the system's file cache), its frames measured, sorted, registered and averaged. Videos of
// 200 and 2,000 frames; the peak memory of the process is reported beside the time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "analysis/empilement.h"
#include "core/parallele.h"
#include "files/serie.h"
#include "rapport_ratios.h"
#include "support/ecriture_ser.h"

namespace {

using namespace quelvane;

// A defocused star (radius 60 pixels, obstruction 0.3, soft edge) wandering by a few pixels,
// over a sky of 300 ADU with photon and read noise, a cosmic ray now and then.
std::string Video(int images, bool intra) {
  const std::string nom =
      (std::filesystem::temp_directory_path() /
       ("quelvane-bench-" + std::to_string(images) + (intra ? "-intra.ser" : "-extra.ser")))
          .string();
  if (std::filesystem::exists(nom)) return nom;
  constexpr int L = 640, H = 480, S = 4;  // the star drawn at 4 samples per pixel
  std::vector<double> etoile(static_cast<std::size_t>(200 * S) * 200 * S);
  for (int r = 0; r < 200 * S; ++r)
    for (int c = 0; c < 200 * S; ++c) {
      const double d = std::hypot((c + 0.5) / S - 100, (r + 0.5) / S - 100);
      const double bord = 0.5 * std::erfc((d - 60) / 2.0) * 0.5 * std::erfc((18 - d) / 1.5);
      etoile[static_cast<std::size_t>(r) * 200 * S + c] =
          (intra ? 1.0 + 0.2 * d / 60 : 1.2 - 0.2 * d / 60) * bord;
    }
  std::mt19937_64 alea(intra ? 1 : 2);
  std::normal_distribution<double> gauss;
  outils::TVideoAEcrire v;
  v.Largeur = L, v.Hauteur = H, v.Profondeur = 12;
  v.Images.resize(1);
  std::vector<std::uint8_t> octets = outils::CoderSER(v);  // header, frame count fixed below
  octets.resize(178);
  const std::uint32_t n = static_cast<std::uint32_t>(images);
  for (int i = 0; i < 4; ++i) octets[38 + i] = static_cast<std::uint8_t>(n >> (8 * i));
  // Frame by frame to the file: the process's peak memory is then the stacking's.
  FILE* f = std::fopen((nom + ".tmp").c_str(), "wb");
  std::fwrite(octets.data(), 1, octets.size(), f);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(L) * H * 2);
  for (int k = 0; k < images; ++k) {
    const double x0 = 320 + 3 * gauss(alea), y0 = 240 + 3 * gauss(alea);
    const double flux = 1500 * (1 + 0.1 * gauss(alea));
    for (int r = 0; r < H; ++r)
      for (int c = 0; c < L; ++c) {
        const int er = static_cast<int>(std::lround((r + 0.5 - y0 + 100) * S));
        const int ec = static_cast<int>(std::lround((c + 0.5 - x0 + 100) * S));
        double e = 300;
        if (er >= 0 && er < 200 * S && ec >= 0 && ec < 200 * S)
          e += flux * etoile[static_cast<std::size_t>(er) * 200 * S + ec];
        const double v2 =
            std::clamp(std::nearbyint(200 + e + gauss(alea) * std::sqrt(e + 25)), 0.0, 4095.0);
        const auto s = static_cast<std::uint16_t>(v2);
        image[2 * (static_cast<std::size_t>(r) * L + c)] = static_cast<std::uint8_t>(s & 0xFF);
        image[2 * (static_cast<std::size_t>(r) * L + c) + 1] = static_cast<std::uint8_t>(s >> 8);
      }
    if (k % 97 == 5) image[2 * (100 * L + 100)] = 0xFF, image[2 * (100 * L + 100) + 1] = 0x0F;
    std::fwrite(image.data(), 1, image.size(), f);
  }
  std::fclose(f);
  std::filesystem::rename(nom + ".tmp", nom);
  return nom;
}

void QuelvaneEmpilement(benchmark::State& etat) {
  const int images = static_cast<int>(etat.range(0));
  const int fils = static_cast<int>(etat.range(1));
  const std::string intra = Video(images, true), extra = Video(images, false);
  TSansProgression p;
  TOptionsEmpilement o;
  o.Fils = fils;
  int gardees = 0;
  for (auto _ : etat)
    for (const auto& nom : {intra, extra}) {
      const auto serie = OuvrirSerie({nom});
      const TEmpilement e = Empiler(*serie, o, p, "intra-focale");
      gardees = e.Gardees;
      benchmark::DoNotOptimize(e.Image.Ligne(0));
    }
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  etat.counters["images_gardees"] = gardees;
  etat.counters["pic_memoire_Mo"] = u.ru_maxrss / 1024.0;
}

BENCHMARK(QuelvaneEmpilement)
    ->Name("Quelvane/Empilement_deux_cotes")
    ->Args({200, 1})
    ->Args({200, 0})
    ->Args({2000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return quelvane::bench::ExecuterAvecRatios(argc, argv); }
