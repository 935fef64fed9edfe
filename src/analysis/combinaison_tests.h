#pragma once
// Tests combined: averaged with the optic's rotation on its cell undone (and the terms that
// stay with the test stand told apart from those that turn with the optic), subtracted, and
// followed over time.
//
// The rotation angle is the optic's, counter-clockwise as the wavefront is displayed: a
// term of azimuthal frequency m turns by m times it. Averaging brings every test back to the
// optic's own orientation, map and coefficients, on the first test's grid.

#include <stdexcept>
#include <string>
#include <vector>

#include "core/pupille.h"
#include "core/zernike.h"
#include "files/fichier_test.h"

namespace quelvane {

struct ErreurCombinaison : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The coefficients of a wavefront turned by `degres`.
TCoefZernike TournerCoefficients(const TCoefZernike& c, double degres, int nbTermes);

// The map of `source` (every term, as its selection does not matter here) turned by `degres`
// and resampled on the grid, centre, radius and mask of `geometrie`. Samples whose turned
// place falls outside the source's pupil take the source's polynomial value there.
TPupille FrontTourne(const TPupille& source, double degres, const TPupille& geometrie,
                     const TJeuZernike& jeu);

// The term set a test was fitted with.
TJeuZernike JeuDuTest(const TTestEnregistre& t);

// Tests that can be combined: one optic, one wavelength, one polynomial set. Throws with
// the reason, naming the test at fault (`noms`, parallel to `tests`).
void VerifierCompatibles(const std::vector<const TTestEnregistre*>& tests,
                         const std::vector<std::string>& noms);

// The optic's average. With `separer` and angles that allow it, the terms of the test stand
// (those that did not turn with the optic: astigmatism, coma, trefoil…) are estimated and
// taken out; they are listed in TermesBanc (lab frame) and NoteSeparation says what the angles
// could and could not separate. The ± comes from the spread between tests (jackknife) when
// there are enough of them, else from each test's own ± carried through.
TTestEnregistre MoyenneDesTests(const std::vector<TTestEnregistre>& tests,
                                const std::vector<std::string>& noms, bool separer);

// a − b, both brought to the optic's orientation, on a's grid; its ± combines both tests'.
TTestEnregistre DifferenceDesTests(const TTestEnregistre& a, const TTestEnregistre& b,
                                   const std::string& nomA, const std::string& nomB);

// One test of a night's trend.
struct TPointTendance {
  std::string Fichier, DateObs;
  double Heures = 0;  // since the first test's capture (0 when times are unknown)
  bool DateConnue = false;
  double RMS = 0, RMSEcart = 0, PTV = 0, PTVEcart = 0, Strehl = 0, StrehlEcart = 0;
  TCoefZernike CoefficientsRMS{}, EcartsRMS{};  // RMS-normalised nm
  bool EcartsConnus = false;
};
// Ordered by capture time (tests without one last, in the order given).
std::vector<TPointTendance> Tendance(const std::vector<TTestEnregistre>& tests,
                                     const std::vector<std::string>& noms);
// Seconds since 1970 of an ISO 8601 date-time ("2026-12-08T21:03:11.250", a trailing "Z"
// allowed); false when it is not one.
bool SecondesISO(const std::string& texte, double& secondes);
// The terms a trend follows: those asked (1-based), else astigmatism, coma and spherical
// (5, 6, 7, 8, 11) as far as the set goes. Throws ErreurCombinaison naming the range when an
// asked term lies beyond the set.
std::vector<int> TermesSuivis(const std::vector<int>& demandes, int nbTermes);
// CSV (comma-separated, decimal point): date, hours, file, RMS, PTV, Strehl and the chosen
// terms (1-based), each followed by its standard error (empty when unknown).
std::string TexteCSVTendance(const std::vector<TPointTendance>& points,
                             const std::vector<int>& termes);

}  // namespace quelvane
