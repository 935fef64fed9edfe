// The reduced validation matrix through the whole engine with the default preferences: pairs
// made as a camera makes them, against the wavefront they were made with. The whole matrix
// runs in the accuracy tool (matrice-precision), whose table the README shows.

#include <gtest/gtest.h>

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
