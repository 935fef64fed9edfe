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

TEST(Nombres, LireReelSuitLeSeparateurRegional) {
  DefinirSeparateurDecimal(',');
  EXPECT_DOUBLE_EQ(LireReel("2,5"), 2.5);
  EXPECT_EQ(LireReel("2.5"), 0);
  EXPECT_EQ(LireReel("abc"), 0);
  DefinirSeparateurDecimal('.');
  EXPECT_DOUBLE_EQ(LireReel("2.5"), 2.5);
  EXPECT_EQ(LireReel("2,5"), 0);
  EXPECT_EQ(LireReel(""), 0);
}

TEST(Nombres, DateEtHeure) {
  EXPECT_EQ(DateDe("2024-05-01T22:10:03"), "2024-05-01");
  EXPECT_EQ(HeureDe("2024-05-01T22:10:03"), "22:10:03");
  EXPECT_EQ(DateDe("22:10"), "");
  EXPECT_EQ(HeureDe("22:10"), "22:10");
}

}  // namespace
}  // namespace quelvane
