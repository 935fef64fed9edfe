#pragma once
// The image of a star at focus from a wavefront: the real point spread function (the pupil
// with the measured wavefront) and the theoretical one (the same pupil, perfect), squared
// moduli of the transform of the zero-padded pupil field; and, beyond the pictures, what an
// optician reads from them: the peak ratio, the encircled energy and the modulation transfer
// function against the perfect obstructed pupil's.

#include <memory>
#include <vector>

#include "core/pupille.h"

namespace quelvane {

// Zero-padding factors of the "Taille" list, "x1" … "x8".
constexpr int FacteursPSF[4] = {1, 2, 4, 8};

// The two PSFs of pupil `p` (wavefront in nanometres, its Lambda), padded by `facteur`: the
// central N × N of the spectra, shifted by one sample; roles 5 and 6.
void CalculerPSF(const TPupille& p, int facteur, TPupille& reelle, TPupille& theorique);

struct TPSF {
  std::shared_ptr<TPupille> Reelle, Theorique;
};

// The "PSF" command on a wavefront: its focus put back when the window subtracts it, enlarged to a
// power of two, at `lambdaNm`, both results cut to the size of the pupil. Throws ErreurSimulation
// when the padded grid would exceed the transforms' limit.
TPSF PSFDuFront(const TPupille& front, int indiceTaille, double lambdaNm, std::uint8_t palette);

struct TPointCourbe {
  double X, Reelle, Parfaite;
};

struct TAnalysePSF {
  double RapportPics = 0;   // peak of the real PSF over the perfect pupil's
  double RayonAiryPx = 0;   // first dark ring of the perfect unobstructed pupil, PSF samples
  double EnergieAiry1 = 0;  // share of the light within 1 and 2 Airy radii of the centroid
  double EnergieAiry2 = 0;
  double CentroideX = 0;  // of the real PSF, in Airy radii from the perfect PSF's centre
  double CentroideY = 0;  // (x right, y up)
  std::vector<TPointCourbe> Energie;  // X in Airy radii
  std::vector<TPointCourbe> FTM;      // X as a fraction of the cut-off D/λ
};

// The figures of the PSF of `front` (focus put back, as the command does) at `lambdaNm`.
TAnalysePSF AnalyserPSF(const TPupille& front, double lambdaNm);

}  // namespace quelvane
