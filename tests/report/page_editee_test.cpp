#include "report/page_editee.h"

#include <gtest/gtest.h>

namespace quelvane {
namespace {

// What the editor writes for a centred table and a centred picture in a cell.
constexpr const char* Edite =
    R"(<table border="0" style=" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px;" align="center" width="75%">)"
    R"(<tr><td><p align="center" style=" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;"><img src="front.jpg" /></p></td></tr></table>)"
    R"(<p style=" margin-top:12px; margin-left:0px; -qt-block-indent:0; text-indent:0px;"><span style=" font-size:x-large; color:#ff0000;">Note</span></p>)";

TEST(PageEditee, GardeLeCentrageEtLesChoixDeLUtilisateur) {
  const std::string p = PageEditee(Edite);
  // A centred table has no side margins left to override align="center".
  EXPECT_EQ(p.find("margin-left"), std::string::npos) << p;
  EXPECT_NE(p.find(R"(<table border="0" align="center" width="75%">)"), std::string::npos) << p;
  // Paragraph spacing and the user's font and colour stay.
  EXPECT_NE(p.find(R"(<p align="center" style=" margin-top:0px; margin-bottom:0px;">)"),
            std::string::npos)
      << p;
  EXPECT_NE(p.find(R"(<p style=" margin-top:12px;">)"), std::string::npos) << p;
  EXPECT_NE(p.find(R"(<span style=" font-size:x-large; color:#ff0000;">Note</span>)"),
            std::string::npos);
  EXPECT_LT(p.size(), std::string(Edite).size() * 2 / 3);
  EXPECT_EQ(PageEditee(p), p);
}

TEST(PageEditee, TexteEtBalisesInhabituellesIntacts) {
  // A left-aligned table keeps its margins; text, comments, quotes holding '>' and an unclosed
  // tag pass through.
  const std::string gauche = R"(<table style=" margin-left:0px;">)";
  EXPECT_EQ(PageEditee(gauche), gauche);
  const std::string texte =
      R"(a < b & c > d <!-- <p style="x"> --> <img alt="1>0" src="a.jpg"> <p)";
  EXPECT_EQ(PageEditee(texte), texte);
  EXPECT_EQ(PageEditee(""), "");
}

}  // namespace
}  // namespace quelvane
