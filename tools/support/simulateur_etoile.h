#pragma once
// Physical-optics simulation of defocused star images, for tests and demonstration samples.
// The pupil carries a known wavefront W (nanometres, positive where it leads: converging more
// strongly than the reference sphere); the field is propagated (Fresnel) to planes at ±l from
// focus with the program's own transforms, summed over wavelengths and integrated into
// camera pixels. The extra-focal image comes out as a camera records it: turned by 180°
// with respect to the pupil, the rays having crossed at focus.

#include <cstdint>
#include <utility>
#include <vector>

#include "core/grille.h"
#include "core/zernike.h"

namespace quelvane::outils {

struct TTelescopeSimule {
  double DiametreMm = 200;
  double FocaleMm = 1000;
  double Obstruction = 0;         // ratio of diameters
  TCoefZernike CoefficientsNm{};  // un-normalised terms of the type below, over the ring
  int TypePolynome = PolyMahajan;
};

struct TCameraSimulee {
  double PixelMicrons = 5.2;
  int Largeur = 256;
  int Hauteur = 256;
  double DefocalisationMm = 3.5;
  int SousPixels = 4;       // Fourier samples per camera pixel along each axis; 0: automatic
  double Biais = 0;         // camera offset, ADU, noiseless
  double Fond = 1000;       // sky level at the frame centre, ADU (electrons: gain 1)
  double PenteFondX = 0;    // sky gradient, ADU per pixel to the right
  double PenteFondY = 0;    // ADU per pixel upward
  double Plateau = 20000;   // mean level of the illuminated pupil image, ADU
  double Transmission = 1;  // flux factor of this exposure (transparency, exposure time)
  double SeeingPixels = 0;  // Gaussian blur, standard deviation in camera pixels
  bool Bruit = false;       // photon noise on star and sky (gain 1) plus read noise
  double BruitLecture = 5;  // ADU
  std::uint64_t Graine = 1;
  double DecalageX = 0;  // star position from the frame centre, camera pixels (x right)
  double DecalageY = 0;  // (y up)
};

// Wavelengths (nanometres) and weights of the light.
using TSpectreSimule = std::vector<std::pair<double, double>>;
TSpectreSimule SpectreLarge();  // 480–640 nm, five equal lines

// An optical path difference added by the atmosphere over the pupil (nanometres, positive where
// the wavefront leads), periodic over its square.
struct TEcranPhase {
  int N = 0;
  double PasMm = 0;                             // sample spacing on the pupil
  TGrilleReelle OPD;                            // nanometres
  double Valeur(double xMm, double yMm) const;  // bilinear, periodic
};

// A von Kármán screen for an aperture of that diameter: Fried parameter r0 at 500 nm
// (millimetres), outer scale (metres). Made by filtering white noise in Fourier space; the
// screen's mean and tilt over the pupil are left in (the image moves).
TEcranPhase EcranVonKarman(double diametreMm, double r0Mm, double echelleExterneM,
                           std::uint64_t graine);

// The star's light on the camera's pixels, noise-free, as fractions of its flux (the sum over
// an infinite frame would be 1), seeing blur included; `ecran` adds an atmosphere.
TGrilleReelle IntensiteEtoile(const TTelescopeSimule& telescope, const TCameraSimulee& camera,
                              const TSpectreSimule& spectre, bool intra,
                              const TEcranPhase* ecran = nullptr);

// The camera's exposure of that light: the star's flux (Plateau × area × Transmission), the sky
// with its gradient, photon and read noise, the bias; ADU.
void Exposer(TGrilleReelle& intensite, const TTelescopeSimule& telescope,
             const TCameraSimulee& camera);

// Hauteur × Largeur camera frame in ADU (row 0 at the top).
TGrilleReelle SimulerImage(const TTelescopeSimule& telescope, const TCameraSimulee& camera,
                           const TSpectreSimule& spectre, bool intra);

// Radius of the geometric pupil image in camera pixels: l·(D/2)/f.
double RayonImagePixels(const TTelescopeSimule& telescope, const TCameraSimulee& camera);

// Gaussian standard deviation, in camera pixels, of a seeing disc of that full width at half
// maximum (arc seconds) at the focal length and pixel size given.
double SeeingEnPixels(double fwhmSecondes, double focaleMm, double pixelMicrons);

}  // namespace quelvane::outils
