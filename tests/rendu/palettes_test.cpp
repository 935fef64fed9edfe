#include "rendu/palettes.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rendu/rendu.h"

namespace quelvane {
namespace {

TEST(Palettes, CouleursDesLongueursDOnde) {
  EXPECT_EQ(CouleurLongueurOnde(633), (TCouleur24{255, 66, 0}));
  EXPECT_EQ(CouleurLongueurOnde(555), (TCouleur24{179, 255, 0}));
  EXPECT_EQ(CouleurLongueurOnde(450), (TCouleur24{0, 70, 255}));
  EXPECT_EQ(CouleurLongueurOnde(0), (TCouleur24{0, 0, 0}));
  EXPECT_EQ(CouleurLongueurOnde(900), (TCouleur24{0, 0, 0}));
}

TEST(Palettes, RampesEtFonds) {
  TPalettes p;
  p.Bas = 0;
  p.Etendue = 6;
  p.ChoisirPalette(FaussesCouleurs1);
  EXPECT_EQ(p.CouleurPalette(0), (TCouleur24{0, 0, 0}));
  EXPECT_EQ(p.CouleurPalette(1), (TCouleur24{255, 0, 255}));
  EXPECT_EQ(p.CouleurPalette(3.5),
            (TCouleur24{0, 255, 128}));  // half-way cyan → green (127.5 → 128)
  EXPECT_EQ(p.CouleurPalette(6), (TCouleur24{255, 0, 0}));
  EXPECT_EQ(p.CouleurPalette(99), (TCouleur24{255, 0, 0}));
  EXPECT_EQ(p.CouleurPalette(-1), (TCouleur24{0, 0, 0}));
  EXPECT_EQ(p.CouleurPalette(std::nan("")), (TCouleur24{0, 0, 0}));
  EXPECT_EQ(p.CouleurFond(), (TCouleur24{102, 102, 102}));
  p.ChoisirPalette(NiveauxDeGris);
  EXPECT_EQ(p.CouleurFond(), (TCouleur24{0, 0, 255}));
  p.ChoisirPalette(9);  // unknown: unchanged
  EXPECT_EQ(p.CouleurFond(), (TCouleur24{0, 0, 255}));
  p.LongueurOnde = 633;
  p.ChoisirPalette(Monochrome);
  EXPECT_EQ(p.CouleurPalette(6), (TCouleur24{255, 66, 0}));
  EXPECT_EQ(p.CouleurFond(), (TCouleur24{156, 156, 156}));
}

TEST(Palettes, BarreDeCouleurs) {
  TPalettes p;
  p.ChoisirPalette(NiveauxDeGris);
  TImage24 im;
  im.Allouer(10, 50);
  p.TracerPalette(6, 20, 4, 11, im);
  EXPECT_EQ(im.Pixel(6, 20), (TCouleur24{255, 255, 255}));  // highest at the top
  EXPECT_EQ(im.Pixel(9, 30), (TCouleur24{0, 0, 0}));
  EXPECT_EQ(im.Pixel(5, 25), (TCouleur24{0, 0, 0}));  // left of the bar: untouched
  EXPECT_EQ(im.Pixel(7, 25).R, 128);                  // t = 0.5
}

TFctXY Rampe() {
  TFctXY f;
  f.Allouer(5, 2);
  for (int c = 0; c < 5; ++c) f.V(0, c) = f.V(1, c) = c;  // 0..4
  f.M(0, 0) = f.M(0, 1) = f.M(0, 2) = f.M(0, 3) = f.M(0, 4) = 1;
  return f;
}

TEST(Rendu, SeuilsContrasteEtMasque) {
  TPalettes p;
  TFctXY f = Rampe();
  TImage24 im;
  Dessiner(f, p, im);
  EXPECT_EQ(f.SeuilBas, 0);
  EXPECT_EQ(f.SeuilHaut, 4);
  EXPECT_EQ(im.Pixel(0, 0), (TCouleur24{0, 0, 0}));
  EXPECT_EQ(im.Pixel(4, 0), (TCouleur24{255, 255, 255}));
  EXPECT_EQ(im.Pixel(2, 0).R, 128);

  f.Contraste = 0.5;  // half the range about the middle: 1 and 3 saturate
  Dessiner(f, p, im);
  EXPECT_EQ(im.Pixel(1, 0).R, 0);
  EXPECT_EQ(im.Pixel(3, 0).R, 255);
  f.Contraste = 2;  // the middle half of the ramp
  Dessiner(f, p, im);
  EXPECT_EQ(im.Pixel(0, 0).R, 64);
  EXPECT_EQ(im.Pixel(4, 0).R, 191);

  f.Contraste = 1;
  f.MasqueVisible = 1;
  Dessiner(f, p, im);
  EXPECT_EQ(im.Pixel(2, 1), (TCouleur24{0, 0, 255}));  // outside the mask, grey palette
  f.Palette = FaussesCouleurs2;
  Dessiner(f, p, im);
  EXPECT_EQ(im.Pixel(2, 1), (TCouleur24{102, 102, 102}));
}

TEST(Rendu, ChampUniformeNeDessineRien) {
  TPalettes p;
  TFctXY f;
  f.Allouer(3, 3);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) f.V(r, c) = 7;
  TImage24 im;
  Dessiner(f, p, im);
  EXPECT_EQ(im.Largeur, 3);
  EXPECT_EQ(im.Pixel(1, 1), (TCouleur24{0, 0, 0}));
}

TEST(Rendu, ReliefDeuxFoisRendLImage) {
  TPalettes p;
  TFctXY f = Rampe();
  TImage24 a, b, c;
  Dessiner(f, p, a);
  f.Relief = 1;
  Dessiner(f, p, b);
  f.Relief = 0;
  Dessiner(f, p, c);
  EXPECT_EQ(a.Pixels, c.Pixels);
}

TEST(Rendu, TracesEnPixels) {
  TFctXY f;
  f.Allouer(21, 21);
  f.CentreX = f.CentreY = 11;
  f.DefinirAxes(11, 11, 0, 0, 21, 21, 1, -1);
  f.Traces[0] = {1, 1, 0, 0, 0, 0, 0.5};
  f.Traces[1] = {1, 0, -1, 0, 1, 0, 0};
  f.Traces[2] = {0, 0, 0, 0, 1, 1, 0};
  const auto t = TracesEcran(f);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_TRUE(t[0].Cercle);
  EXPECT_EQ(t[0].X1, 5);
  EXPECT_EQ(t[0].X2, 15);
  EXPECT_EQ(t[0].Y1, 15);  // y up: the lower edge of the box is the larger row
  EXPECT_EQ(t[1].X1, 0);
  EXPECT_EQ(t[1].X2, 20);
}

}  // namespace
}  // namespace quelvane
