#pragma once
// The Foucault knife-edge test of a wavefront, in its linear form: the brightness of the pupil
// is the wavefront's slope along the direction the knife comes from. Where the slope is
// positive the ray lands on the open side of the knife and the pupil is bright: a mirror
// whose focus lies short of the knife (positive defocus) darkens on the side opposite to it.

#include "core/pupille.h"

namespace quelvane {

// The gram of `front` (role 3): nanometres per normalised unit, the knife drawn over it
// (Traces 1 and 2, normalised units); role 9.
void CalculerFoucault(const TPupille& front, int angleDegres, TPupille& cible);

}  // namespace quelvane
