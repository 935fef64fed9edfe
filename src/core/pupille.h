#pragma once
// TPupille: a sampled field that knows where the telescope pupil lies in it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/fonctionxy.h"
#include "core/zernike.h"

namespace quelvane {

// What a field stands for in a test; chooses palettes, window families and report sections.
enum RoleChamp : std::uint8_t {
  RoleIntra = 0,
  RoleExtra = 1,
  RoleSignal = 2,
  RoleFront = 3,
  RoleResidu = 4,
  RolePSF = 5,
  RolePSFTheorique = 6,
  RoleInterferogramme = 7,
  RoleRonchigramme = 8,
  RoleFoucault = 9,
  RoleSpot = 10,
};

struct TVariantesFront;
struct TChampEtoiles;

class TPupille : public TFctXY {
 public:
  std::uint8_t Role = 0;
  double RayonPupille = 0;   // pixels, √(pupil area / π)
  double Obstruction = 0;    // radius of the central hole / RayonPupille
  double Lambda = 0;         // nanometres
  std::uint8_t Couleur = 0;  // 0 polychromatic, 1 blue, 2 green, 3 red
  double AngleTrace = 0;     // radians
  std::int32_t Franges = 0;
  double StrehlRMS = 0;
  double StrehlMax = 0;
  double Strehl = 0;
  TCoefZernike Coefficients{};
  TSelZernike Selection{};
  bool OrdresSup = false;
  // Where the test star's light lies in a frame that may hold other stars: centre (1-based
  // column and row) and radius in pixels. The pupil is only looked for inside it; a radius of
  // 0 stands for the whole field.
  double ZoneX = 0, ZoneY = 0, RayonZone = 0;
  // An image made of frames: the means of disjoint blocks of them, each in the image's
  // geometry (they turn and move with it), for the error bars of its tests.
  std::vector<std::shared_ptr<const TGrilleReelle>> SousEnsembles;
  // A wavefront's error bars: wavefronts of the same test from parts of its data or with its
  // noise drawn again (empty when unknown).
  std::shared_ptr<const TVariantesFront> Variantes;
  // The stars found when the image was prepared, and the fingerprint of the samples they were
  // found on: a test finds its star there again without searching the frame, unless the
  // samples changed since.
  std::shared_ptr<const TChampEtoiles> ChampEtoiles;
  std::uint64_t EmpreinteChamp = 0;

  void TrouverPupille();
  void CalculerObstruction();
  // N blocks per side, P percent of the way from the darkest to the brightest block mean.
  void SeuilAutomatique(int n, int p);
  // The threshold SeuilAutomatique would set, without setting it.
  double SeuilDesBlocs(int n, int p) const;
  void Centrer();
  // The point reflection of the field; the zone follows its star.
  void Symetrie180();
  void AxesPupille();
  void CopierPupille(const TPupille& source);
  void RecadrerPupille(int marge);
  void LimiterPupille();
  void PlanIncline(double kx, double ky);
};

// Wavefronts of one test made from parts of its data (disjoint blocks of frames) or with its
// measured noise drawn again: the spread of a figure over them, times `Facteur`, is that
// figure's standard error. They carry what they include in French ("bruit et turbulence").
struct TVariantesFront {
  std::vector<TPupille> Fronts;
  double Facteur = 1;
  std::string Methode;  // "blocs d'images" or "bruit mesuré"
  std::string Comprend;
};

}  // namespace quelvane
