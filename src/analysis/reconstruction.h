#pragma once
// A whole test run from the test parameters: reconstruction, set-up corrections,
// autocollimation, automatic Zernike fit and, in three colours, the common focus.

#include <array>
#include <memory>
#include <string>

#include "analysis/progression.h"
#include "analysis/roddier.h"
#include "settings/parametres.h"
#include "settings/preferences.h"

namespace quelvane {

// Caption of the progress window: "Reconstruction du front d'onde Vert (2/3)".
std::string TitreProgression(int couleur, int indice, int total);
// How far one inner iteration moves the bar: 100 div Round(passes × 4.0).
int PasProgression(int passes);

// Builds test T from the pair (copies of the two images) and runs it (colour index 0 to 3).
// With `incertitudes`, the wavefront gets its variants (TVariantesFront): the same test on each
// block of frames when both images are made of frames with blocks, else the measured noise
// drawn again.
void ReconstruireTest(TRoddier& test, int couleur, const TPupille& intra, const TPupille& extra,
                      const TParametresTest& parametres, const TkwValue& prefs,
                      const TJeuZernike& jeu, IProgression& progression, int indice = 1,
                      int total = 1, bool incertitudes = true);

// The signal of a pair, as the "Signal" command shows it: the test's own copies of the two
// images prepared as a reconstruction prepares them (background, flux, cut).
std::unique_ptr<TRoddier> SignalDeLaPaire(const TPupille& intra, const TPupille& extra,
                                          const TkwValue& prefs);

// Single mode: the current pair; the wavefront gets LambdaRef and colour 0.
std::unique_ptr<TRoddier> ReconstruireSimple(const TParametresTest& parametres,
                                             const TkwValue& prefs, const TJeuZernike& jeu,
                                             IProgression& progression);

// Three-colour mode: blue, green and red tests brought to the focus of the colour OriginFoc
// names, tilt removed. The fit runs whatever AjustAuto says, without removing focus.
std::array<std::unique_ptr<TRoddier>, 3> ReconstruireTroisCouleurs(
    const TParametresTest& parametres, const TkwValue& prefs, const TJeuZernike& jeu,
    IProgression& progression);

}  // namespace quelvane
