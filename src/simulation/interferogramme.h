#pragma once
// The interferogram a tilted reference flat gives of a wavefront, and the series of angles the
// simulations are made over. Functions of a wavefront field and their settings, shared by the
// windows and the command line.

#include <stdexcept>
#include <vector>

#include "core/pupille.h"

namespace quelvane {

// A simulation that cannot be made (no wavelength for the fringes), with its French message.
struct ErreurSimulation : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The twelve decimals of π the angles of these simulations have always been converted with.
constexpr double PiSimulation = 3.141592653589;

// value := 0.5 + 0.5·cos((2π/Lambda)·(T − W)) at every sample, Lambda that of the target.
void FrangesCos(TPupille& cible, const TFctXY& t, const TFctXY& w);

// The interferogram of `front` (nanometres, role 3 or 4): `franges` straight fringes across
// the pupil perpendicular to the direction `angleDegres`, bent by the wavefront, at
// `lambdaNm`. The target takes the size, mask, centre and radius of the wavefront; role 7.
// Throws ErreurSimulation when the wavelength is not positive.
void CalculerInterferogramme(const TPupille& front, int angleDegres, int franges, double lambdaNm,
                             std::uint8_t palette, TPupille& cible);

// The angles of a series over half a turn from α0 by `pas`: α0 + 180 − pas, … down to α0
// included (135, 90, 45, 0 for 0 and 45).
std::vector<int> AnglesSerie(int alpha0, int pas);

}  // namespace quelvane
