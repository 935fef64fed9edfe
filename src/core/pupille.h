#pragma once
// TPupille: a sampled field that knows where the telescope pupil lies in it.

#include <cstdint>

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

}  // namespace quelvane
