#pragma once
// The parameters of a test and the computations the parameters dialog makes.
// Lengths in nanometres, angles in radians.

#include <cstdint>
#include <string>

#include "core/zernike.h"

namespace quelvane {

class TPupille;

enum ModeTraitement : std::uint8_t { ModeSimple = 0, ModePolychromatique = 1, ModeAucun = 255 };

struct TParametresTest {
  double DistanceFocale = 0;
  double RayonInstrument = 0;
  double Defocalisation = 0;
  double DistanceSource = 0;  // 0 stands for infinity
  double AstigmatismeX = 0;   // set-up aberrations removed as Z5, Z6, Z7, Z8, Z11
  double AstigmatismeY = 0;
  double ComaX = 0;
  double ComaY = 0;
  double Sphericite = 0;
  bool Autocollimation = false;
  double Incidence = 0;
  double RotationOptique = 0;  // degrees, the optic on its cell (TEntreesTest::RotationDeg)
  // Fields owned by the image windows; the record owns nothing.
  TPupille* ImageIntra = nullptr;
  TPupille* ImageExtra = nullptr;
  TPupille* IntraBleu = nullptr;
  TPupille* ExtraBleu = nullptr;
  TPupille* IntraVert = nullptr;
  TPupille* ExtraVert = nullptr;
  TPupille* IntraRouge = nullptr;
  TPupille* ExtraRouge = nullptr;
  std::uint8_t ModeTraitement = 0;
  bool ParametresValides = false;
};

inline const TParametresTest ParametresInitiaux{};
extern TParametresTest ParametresTest;

// What the simulation form enters and the synthesis of a wavefront reads.
struct TParametresSimulation {
  int Dimension = 0;  // pixels; 0 until the form was confirmed
  int IndiceDimension = 0;
  double Rayon = 0;  // pixels
  double Obstruction = 0;
  int NiveauMin = 0;
  int NiveauMax = 0;
  TCoefZernike Coefficients{};  // un-normalised
  TSelZernike Selection{};
};
extern TParametresSimulation ParametresSimulation;

// Defocus distance (nanometres) of a pair whose pupil images have radii rIntra and rExtra
// pixels: (rIntra + rExtra)/2 · b·p·F/R, b the two binnings, p the pixel size (nanometres).
double CalculerDefocalisation(double diametreMm, double focaleMm, double pixelMicrons,
                              int binAcquisition, int binLogiciel, double rayonIntraPx,
                              double rayonExtraPx);

// "Distance source :" text in the unit of index 0 mm, 1 m, 2 km (−1: none, millimetres);
// anything that is not a number (such as "Infini") gives 0.
double DistanceObjet(const std::string& texte, int unite);
// "Angle d'incidence :" text; unite 0 degrees (or −1, none), 1 radians.
double angleIncidence(const std::string& texte, int unite);

double AstigmatismeHorsAxe(double theta, double focale, double rayon);
double ComaHorsAxe(double theta, double focale, double rayon, double distanceSource);
double SphericiteSource(double focale, double rayon, double distanceSource);

// 5.5 → "5h 30m 0.000s"; DegresEnTexte gives d° m' s".
std::string HeuresEnTexte(double x);
std::string DegresEnTexte(double x);

}  // namespace quelvane
