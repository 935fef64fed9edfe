#pragma once
// A defocused star image made ready for a test, as the open commands do it: pupil extracted
// by the automatic threshold, centre, radius and axes found, display levels set; an
// extra-focal image is turned by 180° so that it overlays the intra-focal one.

#include <memory>

#include "core/pupille.h"
#include "settings/preferences.h"

namespace quelvane {

// Smallest image a test can use (rows and columns).
constexpr int TailleImageMin = 3;

// False (nothing changed but the threshold and mask) when the field is too small.
bool PreparerImage(TPupille& image, const TkwValue& prefs, bool extraFocale);

// A test's own copy of an image (everything a pupil copy takes).
std::shared_ptr<TPupille> CopieImage(const TPupille& source);

}  // namespace quelvane
