#include "files/nombres.h"

#include <gtest/gtest.h>

#include "core/regional.h"

namespace quelvane {
namespace {

TEST(Nombres, LireReelFITSAccepteLesDeuxSeparateurs) {
  for (char s : {'.', ','}) {
    DefinirSeparateurDecimal(s);
    EXPECT_DOUBLE_EQ(*LireReelFITS("3,14"), 3.14);
    EXPECT_DOUBLE_EQ(*LireReelFITS(" 3.14 "), 3.14);
    EXPECT_DOUBLE_EQ(*LireReelFITS("-1.5E3"), -1500);
    EXPECT_FALSE(LireReelFITS("T"));
    EXPECT_FALSE(LireReelFITS(""));
    EXPECT_FALSE(LireReelFITS("nan"));
  }
  DefinirSeparateurDecimal('.');
}

// A typed number reads the same whatever the regional separator: "5,2" in a field of an
// English-set machine was refused, "1,5" as a defocus became 0.
TEST(Nombres, SaisieAccepteLesDeuxSeparateurs) {
  for (char regional : {',', '.'}) {
    DefinirSeparateurDecimal(regional);
    EXPECT_DOUBLE_EQ(LireReel("2,5"), 2.5);
    EXPECT_DOUBLE_EQ(LireReel(" 2.5 "), 2.5);
    EXPECT_DOUBLE_EQ(*LireSaisie("-0,125"), -0.125);
    EXPECT_FALSE(LireSaisie("1,234.5"));
    EXPECT_FALSE(LireSaisie("1.2.3"));
    EXPECT_FALSE(LireSaisie("abc"));
    EXPECT_FALSE(LireSaisie(""));
    EXPECT_EQ(LireReel("abc"), 0);
  }
  DefinirSeparateurDecimal('.');
}

TEST(Nombres, DateEtHeure) {
  EXPECT_EQ(DateDe("2024-05-01T22:10:03"), "2024-05-01");
  EXPECT_EQ(HeureDe("2024-05-01T22:10:03"), "22:10:03");
  EXPECT_EQ(DateDe("22:10"), "");
  EXPECT_EQ(HeureDe("22:10"), "22:10");
}

}  // namespace
}  // namespace quelvane
