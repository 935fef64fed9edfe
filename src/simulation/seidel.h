#pragma once
// What a wavefront's Zernike coefficients say in the optician's older language: the Seidel
// aberrations with their orientations; the three-colour table of a test made in blue, green
// and red; the meridian profile of any image along a diameter.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/pupille.h"
#include "core/zernike.h"

namespace quelvane {

struct TLigneSeidel {
  const char* Nom;
  double Valeur = 0;                     // nanometres
  std::optional<double> OrientationDeg;  // where the term has a direction
};

// The classical Zernike coefficients (un-normalised, the first `jeu.NbTermes`) of the same
// wavefront: annular coefficients are converted exactly (an annular term is a combination of
// classical ones of the same azimuthal order and no higher radial order).
TCoefZernike CoefficientsClassiques(const TCoefZernike& coefficients, const TJeuZernike& jeu,
                                    double obstruction);

// The six rows: piston, tilt, defocus, astigmatism, coma, spherical, from the selected terms.
// Orientations by the two-argument arc tangent: astigmatism's axis in (−90°, 90°] (it repeats
// every 180°), tilt's and coma's direction in (−180°, 180°] (the single-argument arc tangent
// gave the same angle to opposite directions).
std::array<TLigneSeidel, 6> CalculerSeidel(const TCoefZernike& coefficients,
                                           const TSelZernike& selection, const TJeuZernike& jeu,
                                           double obstruction);

struct TColonneRVB {
  double Lambda = 0;
  double FoyerMm = 0;  // longitudinal focus position, relative to the reference colour
  double Z4Rms = 0;
  double Z11Rms = 0;
  double EcartRms = 0;
  double Strehl = 0;  // S/Smax from the RMS at the colour's wavelength
};

struct TTrichromie {
  std::array<TColonneRVB, 3> Colonnes;  // blue, green, red
  double StrehlPolychromatique = 0;     // weighted mean
  double ChromatismeMm = 0;             // focus of blue minus focus of red
};

// `fronts` blue, green, red, with their coefficients, Lambda and statistics brought up to
// date by the caller; f and ρ the test's focal length and pupil radius (nanometres); weights
// PoidsB, PoidsV, PoidsR.
TTrichromie CalculerTrichromie(const std::array<const TPupille*, 3>& fronts, const TJeuZernike& jeu,
                               double focaleNm, double rayonNm, const std::array<double, 3>& poids);

struct TPointProfil {
  double X, Valeur;
};

// The values of `champ` along a diameter at `azimutRad` (0 along the rows to the right,
// counterclockwise), over the central 1/zoom of the pupil diameter, one point per pixel, in
// segments: where the pupil's mask breaks the line (the central obstruction), a new segment
// begins. X in millimetres when the field knows its physical radius, in pixels otherwise.
std::vector<std::vector<TPointProfil>> ProfilMeridien(const TPupille& champ, double azimutRad,
                                                      int zoom, bool& enMillimetres);

}  // namespace quelvane
