#include "files/export_texte.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/regional.h"
#include "files/ecriture.h"

namespace quelvane {
namespace {

TEST(ExportOPD, LigneDExemple) {
  DefinirSeparateurDecimal(',');  // the OPD file always uses "."
  TPupille p;
  p.Allouer(5, 5);
  p.Lambda = 555;
  p.RayonPhysique = 1e8;
  p.AxeX = {-1, -0.5, 0, 0.5, 1};
  p.AxeY = {0.5, 0.25, 0, -0.25, -0.5};
  p.M(3, 3) = 1;
  p.V(3, 3) = 277.5;
  p.M(0, 0) = 2;  // not mask 1: omitted
  EXPECT_EQ(TexteOPD(p), "555,200\r\n50,-25,0.5\r\n");
  p.Lambda = 0;
  EXPECT_THROW(TexteOPD(p), ErreurEcriture);
  DefinirSeparateurDecimal('.');
}

TEST(FichierCoefficients, ToujoursEnNanometresRMS) {
  DefinirSeparateurDecimal(',');
  const auto jeu = ConstruireJeuZernike(29, PolyMahajan);
  TCoefZernike c{};
  c[3] = -12.5 * std::sqrt(3.0);
  const std::string texte = TexteCoefficients(c, 29, jeu);
  EXPECT_NE(texte.find("1;Piston;0\r\n"), std::string::npos);
  EXPECT_NE(texte.find("4;Défocalisation;-12,5\r\n"), std::string::npos);
  EXPECT_NE(texte.find("29;(35r^7-60r^5+30r^3-4r) Cos(t);0\r\n"), std::string::npos);
  EXPECT_EQ(std::count(texte.begin(), texte.end(), '\n'), 29);
  DefinirSeparateurDecimal('.');
}

}  // namespace
}  // namespace quelvane
