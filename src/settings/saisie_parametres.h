#pragma once
// From what the user enters for a test (millimetres, micrometres, the source chosen) to the
// parameters the engine reads (nanometres, radians). The test-parameters dialog and the
// command line both go through here, so that they cannot disagree.

#include <cstdint>
#include <optional>
#include <string>

#include "settings/parametres.h"

namespace quelvane {

enum TypeSource : std::uint8_t {
  SourceInfini = 0,
  SourceArtificielle = 1,  // at DistanceSourceMm
  SourceCourbure = 2,      // at the radius of curvature, twice the focal length
  SourceAutocollimation = 3,
};

enum OrientationMontage : std::int8_t { SelonX = 0, SelonY = 1, SansOrientation = -1 };

struct TEntreesTest {
  double DiametreMm = 0;
  double FocaleMm = 0;
  double DefocalisationMm = 0;
  double PixelMicrons = 0;  // for the defocus from the pupil radii
  int BinAcquisition = 1;
  int BinLogiciel = 1;
  std::uint8_t Source = SourceInfini;
  double DistanceSourceMm = 0;  // an artificial source; 0 or less stands for infinity
  double IncidenceRadians = 0;
  std::int8_t Orientation = SelonX;
  // The optic turned on its cell since its reference position, counter-clockwise as the
  // wavefront is displayed (averages undo it).
  double RotationDeg = 0;
};

// Set-up aberrations (nanometres, un-normalised Zernike terms 5 or 6, 7 or 8, and 11).
struct TAberrationsMontage {
  double Astigmatisme = 0;
  double Coma = 0;
  double Sphericite = 0;
};

// What each entry is called where it was typed: a field of the dialog, an option of the command
// line.
struct TNomsEntrees {
  std::string Diametre = "Diamètre", Focale = "Focale", Defocalisation = "Défocalisation",
              Pixel = "Pixel", Distance = "Distance de la source", Angle = "Angle d'incidence",
              Rotation = "Rotation de l'optique";
};

// Nothing when the entries can make a test; otherwise why not, naming the entry and its range:
// every number finite, diameter up to 10 m, focal length up to 1 km, a defocus from 1 µm to the
// focal length, pixels of 0.1 to 1000 µm (when `avecPixel`), an artificial star beyond the
// focal length, an incidence under 90°. The dialog and the command line both ask here.
std::optional<std::string> VerifierEntrees(const TEntreesTest& e, const TNomsEntrees& noms,
                                           bool avecDefocalisation, bool avecPixel);

// The record's lengths back in the dialog's millimetres (diameter, focal length, defocus).
TEntreesTest EntreesDepuis(const TParametresTest& p);

double FocaleNm(const TEntreesTest& e);
double RayonInstrumentNm(const TEntreesTest& e);
// Where the source lies (nanometres, 0 for infinity): the artificial star's distance, twice
// the focal length at the radius of curvature, infinity otherwise.
double DistanceSourceNm(const TEntreesTest& e);
// Off-axis astigmatism and coma from the incidence, spherical aberration from a finite
// distance (none at infinity nor in autocollimation).
TAberrationsMontage CalculerAberrationsMontage(const TEntreesTest& e);
// Defocus (nanometres) of a pair whose pupil images measure rIntra and rExtra pixels.
double DefocalisationDepuisRayons(const TEntreesTest& e, double rIntraPx, double rExtraPx);

// The entries and set-up aberrations written into the record: lengths, source, incidence,
// autocollimation; astigmatism and coma along the orientation (left as they were without one).
// The images and the mode are not touched.
void AppliquerEntrees(const TEntreesTest& e, const TAberrationsMontage& a, TParametresTest& p);

}  // namespace quelvane
