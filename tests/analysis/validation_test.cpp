// The reduced validation matrix through the whole engine with the default preferences: pairs
// made as a camera makes them, against the wavefront they were made with. The whole matrix
// runs in the accuracy tool (matrice-precision), whose table the README shows.

#include <gtest/gtest.h>

#include <cmath>

#include "support/cas_validation.h"

namespace quelvane::outils {
namespace {

TEST(Validation, MatriceReduiteDansLesCibles) {
  const TPreferences prefs;
  for (const TCasValidation& cas : MatriceValidation(false)) {
    const TResultatCas r = EvaluerCas(cas, prefs);
    EXPECT_EQ(EcartAuxCibles(cas, r), "") << cas.Nom;
  }
}

TEST(Validation, DavantageDePassesNeFontJamaisPire) {
  const TCasValidation cas = MatriceValidation(false).front();  // edge-only terms
  TPreferences prefs;
  double erreur[3];
  const int passes[3] = {3, 10, 20};
  for (int i = 0; i < 3; ++i) {
    prefs.NIter = static_cast<std::uint8_t>(passes[i]);
    const TResultatCas r = EvaluerCas(cas, prefs);
    ASSERT_EQ(r.Erreur, "");
    EXPECT_EQ(r.Passes, passes[i]);
    erreur[i] = r.ErreurRMS;
  }
  EXPECT_LE(erreur[1], erreur[0] + 0.5);
  EXPECT_LE(erreur[2], erreur[0] + 0.5);
  EXPECT_LE(erreur[2], erreur[1] + 0.5);
}

}  // namespace
}  // namespace quelvane::outils

namespace quelvane::outils {
namespace {

TEST(Validation, UneMiseAuPointDecaleeDonneLaDefocalisationDeLaFormule) {
  // Images taken at l + δ inside focus and l − δ outside it: their midpoint lies δ short of
  // the focus, which is δ longer than the pair says. The wavefront then lags by
  // δ·(r·ρ/f)²/2 on the reference sphere: Z4 (2r² − 1) of −δρ²/(4f²), negative (longer focus).
  TCasValidation cas = MatriceValidation(false).back();  // the refractor
  cas.Telescope.CoefficientsNm = {};
  cas.Telescope.CoefficientsNm[4] = 20;  // and some astigmatism, which must not move
  const double l = cas.Intra.DefocalisationMm, delta = 0.04;
  cas.Intra.DefocalisationMm = l + delta;
  cas.Extra.DefocalisationMm = l - delta;
  TPreferences prefs;
  TResultatCas r = EvaluerCas(cas, prefs);
  ASSERT_EQ(r.Erreur, "");
  const double rho = cas.Telescope.DiametreMm / 2, f = cas.Telescope.FocaleMm;
  const double z4 = -delta * 1e6 * rho * rho / (4 * f * f);
  EXPECT_NEAR(r.MesuresRMS[3] * std::sqrt(3.0), z4, 0.03 * std::fabs(z4));
  EXPECT_NEAR(r.MesuresRMS[4], 20 / std::sqrt(6.0), 0.3);
}

}  // namespace
}  // namespace quelvane::outils
