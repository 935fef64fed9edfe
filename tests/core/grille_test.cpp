#include "core/grille.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quelvane {
namespace {

// A large grid held by a static object is freed after the other statics are destroyed: the
// memory kept for reuse must outlive it (it did not, and the process aborted at exit with a
// double free). Run alone in a fresh process, so that the statics come in that order.
TEST(GrilleMemoireDeathTest, GrilleStatiqueLibereeApresTout) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static TGrilleReelle tenue;
        tenue = TGrilleReelle(1, 2048, 2048);
        { TGrilleReelle passage(1, 2048, 2048); }  // freed into the reserve
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quelvane
