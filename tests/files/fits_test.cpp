#include "files/fits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "support/ecriture_fits.h"

namespace quelvane {
namespace {

using outils::TCarteFITS;
using outils::TImageAEcrire;

TImageAEcrire Image(int bitpix, int l, int h, std::vector<TCarteFITS> cartes = {}) {
  TImageAEcrire im;
  im.Bitpix = bitpix;
  im.Largeur = l;
  im.Hauteur = h;
  im.Valeurs.resize(static_cast<std::size_t>(l) * h);
  for (std::size_t i = 0; i < im.Valeurs.size(); ++i) im.Valeurs[i] = static_cast<double>(i % 100);
  im.Cartes = std::move(cartes);
  return im;
}

TResultatFITS Lire(const std::vector<std::uint8_t>& octets, TImageFITS& image, TImgInfos& infos) {
  return LireFITS(std::as_bytes(std::span(octets)), image, infos);
}

TResultatFITS Lire(const TImageAEcrire& im, TImageFITS& image, TImgInfos& infos) {
  return Lire(outils::CoderFITS(im), image, infos);
}

TImgInfos EnTete(std::vector<TCarteFITS> cartes) {
  TImageFITS image;
  TImgInfos infos;
  const auto r = Lire(Image(16, 4, 3, std::move(cartes)), image, infos);
  EXPECT_TRUE(r.Reussi()) << r.Raison;
  return infos;
}

TEST(FITSEnTete, PrioritesDesMotsCles) {
  EXPECT_EQ(EnTete({{"FOCAL", "500"}, {"FOCLEN", "2"}}).LongueurFocale, 2000);
  EXPECT_EQ(EnTete({{"FOCLEN", "2"}, {"FOCAL", "500"}}).LongueurFocale, 2000);
  EXPECT_DOUBLE_EQ(EnTete({{"FOCAL", "500"}}).LongueurFocale, 0.5);

  const auto pixel = EnTete({{"XPIXELSZ", "9"}, {"CDELTM1", "0.0074"}, {"SUBSAMP", "2"}});
  EXPECT_DOUBLE_EQ(pixel.PixelX, 14.8);
  EXPECT_DOUBLE_EQ(pixel.PixelY, 14.8);
  EXPECT_DOUBLE_EQ(EnTete({{"CDELTM1", "0.0074"}, {"XPIXELSZ", "9"}}).PixelX, 7.4);

  EXPECT_TRUE(EnTete({{"MIRRORX", "T"}}).MiroirX);
  EXPECT_FALSE(EnTete({{"MIRRORX", "F"}, {"MIRORX", "T"}}).MiroirX);  // weaker level
  EXPECT_FALSE(EnTete({{"MIRRORX", "'oui'"}}).MiroirX);
  EXPECT_TRUE(EnTete({{"MIRORX", "T"}}).MiroirX);

  // A later keyword of the same level overwrites; a weaker one does not.
  EXPECT_DOUBLE_EQ(EnTete({{"RA", "30"}, {"CRVAL1", "150"}, {"RA", "45"}}).AscDroite, 10);
  EXPECT_EQ(EnTete({{"X1", "3"}, {"X1", "4"}}).FenetreX1, 4);

  EXPECT_EQ(EnTete({{"CDELT1", "0.001"}}).LongueurFocale, 1.0);
  EXPECT_EQ(EnTete({{"FOCLEN", "0.8"}, {"CDELT1", "0.001"}}).LongueurFocale, 800);
  EXPECT_NEAR(EnTete({{"AMDX1", "0.2"}}).LongueurFocale, 1031.35, 1e-9);
}

TEST(FITSEnTete, ValeursEtChaines) {
  const auto in = EnTete({{"OBSERVER", "'O''Brien / Smith  '"},
                          {"TELESCOP", "'Newton'  / le tube"},
                          {"EXPOSURE", "12 / secondes"},
                          {"BZERO", "32768.4"},
                          {"DATE-OBS", "'2024-05-01T22:10:03'"},
                          {"DATAMAX", "4000"},
                          {"MIPS-LO", "12"},
                          {"BINX", "2"},
                          {"TEMP", "-12,5"},
                          {"", "première remarque", true},
                          {"COMMENT", "deuxième", true},
                          {"HISTORY", "ignorée", true},
                          {"COMMENT", "troisième", true},
                          {"COMMENT", "quatrième", true},
                          {"COMMENT", "cinquième", true}});
  EXPECT_EQ(in.Observateur, "O'Brien / Smith  ");
  EXPECT_EQ(in.Telescope, "Newton");
  EXPECT_EQ(in.Exposition, 12);
  EXPECT_EQ(in.BZero, 32768.4);  // a double, as FITS means it (it used to be rounded)
  EXPECT_EQ(in.DateObs, "2024-05-01T22:10:03");
  EXPECT_EQ(in.NiveauxHauts[0], 4000);
  EXPECT_EQ(in.NiveauxHauts[2], 4000);
  EXPECT_EQ(in.NiveauxBas[0], 12);
  EXPECT_EQ(in.BinX, 2);
  EXPECT_EQ(in.BinY, 1);
  EXPECT_DOUBLE_EQ(in.Temperature, -12.5);
  EXPECT_EQ(in.Commentaires[0], "première remarque");
  EXPECT_EQ(in.Commentaires[1], "deuxième");
  EXPECT_EQ(in.Commentaires[2], "troisième");  // HISTORY is not in the table
  EXPECT_EQ(in.Commentaires[3], "quatrième");  // and a fifth comment is dropped
}

TEST(FITSDonnees, SeizeBitsSansEtAvecDebordement) {
  TImageFITS image;
  TImgInfos infos;
  auto im = Image(16, 5, 4);
  im.Valeurs[7] = -1000;
  ASSERT_TRUE(Lire(im, image, infos).Reussi());
  EXPECT_EQ(image.TypeImage, 2);
  EXPECT_EQ(image.GrilleEntiere(1, 2), -1000);
  EXPECT_TRUE(image.GrilleReelle.Vide());

  im.Cartes = {{"BZERO", "32768"}};
  im.Valeurs[7] = 1000;
  ASSERT_TRUE(Lire(im, image, infos).Reussi());
  EXPECT_EQ(image.TypeImage, 5);
  EXPECT_TRUE(image.GrilleEntiere.Vide());
  EXPECT_EQ(image.GrilleReelle(1, 2), 33768);
  EXPECT_EQ(image.GrilleReelle(0, 0), 32768);

  // A scale that is not whole goes to doubles, exactly (rounded to 0, it zeroed the image).
  im.Cartes = {{"BSCALE", "0.5"}};
  ASSERT_TRUE(Lire(im, image, infos).Reussi());
  EXPECT_EQ(infos.BScale, 0.5);
  EXPECT_EQ(image.TypeImage, 5);
  EXPECT_EQ(image.GrilleReelle(1, 2), 500);
  EXPECT_EQ(image.GrilleReelle(0, 1), 0.5);
  im.Cartes = {{"BSCALE", "0"}};
  EXPECT_FALSE(Lire(im, image, infos).Reussi());
}

TEST(FITSDonnees, FlottantsEtCubesCouleur) {
  TImageFITS image;
  TImgInfos infos;
  auto im = Image(-32, 3, 2, {{"BZERO", "10"}, {"DATAMIN", "5"}});
  im.Valeurs = {1.5, -2.25, 3, std::numeric_limits<double>::quiet_NaN(), INFINITY, 6};
  const auto r = Lire(im, image, infos);
  ASSERT_TRUE(r.Reussi());
  EXPECT_EQ(image.TypeImage, 5);
  EXPECT_EQ(image.GrilleReelle(0, 1), 7.75);
  EXPECT_TRUE(std::isnan(image.GrilleReelle(1, 0)));  // missing samples stay missing
  EXPECT_TRUE(std::isnan(image.GrilleReelle(1, 1)));
  EXPECT_EQ(r.EchantillonsNonFinis, 2);

  auto d = Image(-64, 2, 2, {{"BZERO", "100"}, {"BSCALE", "3"}});
  d.Valeurs = {0.125, 1e300, -7, 2};
  ASSERT_TRUE(Lire(d, image, infos).Reussi());
  EXPECT_EQ(image.GrilleReelle(0, 0), 100.375);  // scaled like every other depth
  EXPECT_EQ(image.GrilleReelle(1, 0), 79);

  auto cube = Image(16, 2, 2, {{"DATAMIN", "7"}});
  cube.Plans = 3;
  cube.Valeurs = {1, 2, 3, 4, 10, 20, 30, 40, 100, 200, 300, 400};
  ASSERT_TRUE(Lire(cube, image, infos).Reussi());
  EXPECT_EQ(image.TypeImage, 7);
  EXPECT_EQ(image.Plans, 3);
  EXPECT_EQ(image.GrilleEntiere(2, 1, 0), 300);
  EXPECT_EQ(infos.NiveauxBas[2], 7);
}

TEST(FITSDonnees, HuitEtTrenteDeuxBits) {
  TImageFITS image;
  TImgInfos infos;
  auto octets = Image(8, 2, 2);
  octets.Valeurs = {0, 1, 127, 100};
  ASSERT_TRUE(Lire(octets, image, infos).Reussi());
  EXPECT_EQ(image.TypeImage, 2);
  EXPECT_EQ(image.GrilleEntiere(1, 0), 127 * 256);
  // Bytes of 128 and above keep their order: the image goes to doubles like a 16-bit overflow.
  octets.Valeurs = {0, 1, 255, 128};
  ASSERT_TRUE(Lire(octets, image, infos).Reussi());
  EXPECT_EQ(image.TypeImage, 5);
  EXPECT_EQ(image.GrilleReelle(1, 0), 255 * 256);
  EXPECT_EQ(image.GrilleReelle(1, 1), 128 * 256);

  auto entiers = Image(32, 2, 1, {{"BZERO", "2147483648"}});
  entiers.Valeurs = {-2147483648.0, 5};
  ASSERT_TRUE(Lire(entiers, image, infos).Reussi());
  EXPECT_EQ(image.TypeImage, 5);
  EXPECT_EQ(image.GrilleReelle(0, 0), 0);
  EXPECT_EQ(image.GrilleReelle(0, 1), 2147483653.0);

  auto longs = Image(64, 1, 1);
  longs.Valeurs = {-12345678901.0};
  ASSERT_TRUE(Lire(longs, image, infos).Reussi());
  EXPECT_EQ(image.GrilleReelle(0, 0), -12345678901.0);
}

TEST(FITSEnTete, UnSecondFichierNeGardeRienDuPremier) {
  TImageFITS image;
  TImgInfos infos;
  ASSERT_TRUE(Lire(Image(16, 4, 3, {{"DIAMETER", "250"}, {"EXPOSURE", "12"}, {"SEEING", "2"}}),
                   image, infos)
                  .Reussi());
  ASSERT_TRUE(Lire(Image(16, 4, 3), image, infos).Reussi());
  EXPECT_EQ(infos.DiametreInstr, 0);
  EXPECT_EQ(infos.Exposition, 0);
  EXPECT_EQ(infos.Seeing, 0);
}

TEST(FITSEnTete, FormesLegalesDuStandard) {
  // The Fortran exponent, and SIMPLE written in free format.
  EXPECT_EQ(EnTete({{"DIAMETER", "2.5D2"}}).DiametreInstr, 250);
  auto im = Image(16, 2, 2);
  auto octets = outils::CoderFITS(im);
  const std::string libre = outils::Carte("SIMPLE", "T          / libre");
  std::copy(libre.begin(), libre.end(), octets.begin());
  TImageFITS image;
  TImgInfos infos;
  EXPECT_TRUE(Lire(octets, image, infos).Reussi());
}

TEST(FITSEnTete, MotsClesDesLogicielsDAcquisition) {
  const auto in = EnTete({{"EXPTIME", "2.0"},
                          {"XPIXSZ", "7.52"},
                          {"YPIXSZ", "7.52"},
                          {"XBINNING", "2"},
                          {"YBINNING", "2"},
                          {"FOCALLEN", "1000"},
                          {"APTDIA", "200"},
                          {"CCD-TEMP", "-10.5"}});
  EXPECT_EQ(in.Exposition, 2);
  EXPECT_EQ(in.BinX, 2);
  EXPECT_DOUBLE_EQ(in.PixelX, 3.76);  // XPIXSZ is the binned pixel
  EXPECT_DOUBLE_EQ(in.PixelY, 3.76);
  EXPECT_EQ(in.LongueurFocale, 1000);
  EXPECT_EQ(in.DiametreInstr, 200);
  EXPECT_EQ(in.Temperature, -10.5);
  EXPECT_DOUBLE_EQ(EnTete({{"PIXSIZE1", "4.63"}}).PixelX, 4.63);
  // The original keywords keep their priority, in whatever order.
  EXPECT_EQ(EnTete({{"XPIXSZ", "7.52"}, {"XPIXELSZ", "9"}}).PixelX, 9);
  EXPECT_EQ(EnTete({{"FOCLEN", "0.8"}, {"FOCALLEN", "1000"}}).LongueurFocale, 800);
  EXPECT_EQ(EnTete({{"EXPOSURE", "5"}, {"EXPTIME", "9"}}).Exposition, 5);
  EXPECT_EQ(EnTete({{"DIAMETER", "150"}, {"APTDIA", "200"}}).DiametreInstr, 150);
}

TEST(FITSDonnees, LignesDeBasEnHaut) {
  TImageFITS image;
  TImgInfos infos;
  auto im = Image(16, 3, 2, {{"ROWORDER", "'BOTTOM-UP'"}});
  im.Valeurs = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(Lire(im, image, infos).Reussi());
  EXPECT_EQ(image.GrilleEntiere(0, 0), 4);  // the first row stored is the bottom one
  EXPECT_EQ(image.GrilleEntiere(1, 2), 3);
  im.Cartes = {{"ROWORDER", "'TOP-DOWN'"}};
  ASSERT_TRUE(Lire(im, image, infos).Reussi());
  EXPECT_EQ(image.GrilleEntiere(0, 0), 1);
}

// Refusals that tell the user what the file is and what to do: a small JPEG is a JPEG, not a
// short FITS file; a header without BITPIX says so; an image kept in an extension (multi-part
// or tile-compressed files) is named, not "NAXIS 0".
TEST(FITSRefus, RaisonsQuiAidentLUtilisateur) {
  auto raison = [](const std::vector<std::uint8_t>& octets) {
    TImageFITS image;
    TImgInfos infos;
    return Lire(octets, image, infos).Raison;
  };
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'};
  jpeg.resize(700, 0);
  EXPECT_NE(raison(jpeg).find("JPEG"), std::string::npos) << raison(jpeg);
  auto remplacer = [](std::vector<std::uint8_t>& o, int carte, const std::string& texte) {
    const std::string c = texte.size() == 80 ? texte : texte + std::string(80 - texte.size(), ' ');
    std::copy(c.begin(), c.end(), o.begin() + carte * 80);
  };
  auto sansBitpix = outils::CoderFITS(Image(16, 4, 4));
  remplacer(sansBitpix, 1, "COMMENT pas de BITPIX");
  EXPECT_NE(raison(sansBitpix).find("BITPIX absent"), std::string::npos) << raison(sansBitpix);
  auto extension = outils::CoderFITS(Image(16, 4, 4));
  remplacer(extension, 2, outils::Carte("NAXIS", "0"));
  remplacer(extension, 3, outils::Carte("EXTEND", "T"));
  remplacer(extension, 4, "COMMENT l'image est dans l'extension");
  const std::string r = raison(extension);
  EXPECT_NE(r.find("extension"), std::string::npos) << r;
  EXPECT_NE(r.find("FITS simple"), std::string::npos) << r;
}

// Every malformed file is refused with a reason; nothing is delivered.
TEST(FITSRefus, FichiersMalFormes) {
  auto refuse = [](const std::vector<std::uint8_t>& octets, const char* quoi) {
    TImageFITS image;
    TImgInfos infos;
    const auto r = Lire(octets, image, infos);
    EXPECT_FALSE(r.Reussi()) << quoi;
    EXPECT_FALSE(r.Raison.empty()) << quoi;
    EXPECT_TRUE(image.GrilleEntiere.Vide() && image.GrilleReelle.Vide()) << quoi;
  };
  refuse({}, "vide");
  refuse(std::vector<std::uint8_t>(100, ' '), "court");
  auto pasFits = outils::CoderFITS(Image(16, 4, 4));
  pasFits[0] = 'X';
  refuse(pasFits, "pas SIMPLE");
  auto sansEnd = Image(16, 4, 4);
  sansEnd.AvecEnd = false;
  sansEnd.Valeurs.clear();
  refuse(outils::CoderFITS(sansEnd), "sans END");
  auto tronque = outils::CoderFITS(Image(16, 100, 100));
  tronque.resize(2880 + 100 * 100);
  refuse(tronque, "tronqué");
  for (const char* mauvaise : {"0", "-5", "abc", "4.5", "99999999999"}) {
    auto im = Image(16, 4, 4);
    auto octets = outils::CoderFITS(im);
    const std::string carte = outils::Carte("NAXIS1", mauvaise);
    std::copy(carte.begin(), carte.end(), octets.begin() + 3 * 80);
    refuse(octets, mauvaise);
  }
  // Sizes that the file cannot hold, and sizes whose product overflows 32 bits.
  for (auto [l, h] :
       {std::pair{2000000000, 2000000000}, std::pair{65536, 65536}, std::pair{100000, 3}}) {
    auto im = Image(16, 1, 1);
    auto octets = outils::CoderFITS(im);
    auto c1 = outils::Carte("NAXIS1", std::to_string(l)),
         c2 = outils::Carte("NAXIS2", std::to_string(h));
    std::copy(c1.begin(), c1.end(), octets.begin() + 3 * 80);
    std::copy(c2.begin(), c2.end(), octets.begin() + 4 * 80);
    refuse(octets, "taille");
  }
  for (int bitpix : {0, 12, 24, -16}) {
    auto im = Image(16, 2, 2);
    auto octets = outils::CoderFITS(im);
    const auto c = outils::Carte("BITPIX", std::to_string(bitpix));
    std::copy(c.begin(), c.end(), octets.begin() + 80);
    refuse(octets, "bitpix");
  }
  refuse(outils::CoderFITS(Image(16, 2, 2, {{"EXPOSURE", "longue"}})), "valeur");
  refuse(outils::CoderFITS(Image(16, 2, 2, {{"EXPOSURE", "1e30"}})), "exposition hors limites");
  auto trois = Image(16, 2, 2);
  trois.Plans = 0;
  refuse(outils::CoderFITS(trois), "NAXIS3 nul");
  // NAXIS given as a string, END not starting in column 1, SIMPLE = F.
  auto chaine = outils::CoderFITS(Image(16, 2, 2));
  const std::string naxis = outils::Carte("NAXIS", "'2'");
  std::copy(naxis.begin(), naxis.end(), chaine.begin() + 2 * 80);
  refuse(chaine, "NAXIS en chaîne");
  auto decale = outils::CoderFITS(Image(16, 2, 2));
  for (std::size_t k = 0; k < 36; ++k)
    if (std::string(decale.begin() + k * 80, decale.begin() + k * 80 + 3) == "END") {
      decale[k * 80] = ' ';
      decale[k * 80 + 1] = 'E', decale[k * 80 + 2] = 'N', decale[k * 80 + 3] = 'D';
    }
  refuse(decale, "END décalé");
  auto faux = outils::CoderFITS(Image(16, 2, 2));
  const std::string f = outils::Carte("SIMPLE", "F");
  std::copy(f.begin(), f.end(), faux.begin());
  refuse(faux, "SIMPLE = F");
}

TEST(FITSDonnees, BlankEtCubesDImages) {
  TImageFITS image;
  TImgInfos infos;
  // BLANK samples of integer data are missing, not values: they were read as 0 (or −32768).
  auto im = Image(16, 3, 3, {{"BLANK", "-32768"}, {"BZERO", "32768"}});
  im.Valeurs = {100, 200, 300, 400, -32768, 600, 700, 800, 900};
  auto r = Lire(im, image, infos);
  ASSERT_TRUE(r.Reussi());
  EXPECT_EQ(r.EchantillonsNonFinis, 1);
  EXPECT_TRUE(std::isnan(image.GrilleReelle(1, 1)));
  EXPECT_EQ(image.GrilleReelle(1, 2), 600 + 32768);
  // Loaded into a field, a missing sample takes the median of its neighbours; a hole of
  // several, from its edges inward.
  TGrilleReelle g(1, 4, 4);
  for (int k = 0; k < 16; ++k) g.Plan(0)[k] = 10 * k;
  g(1, 1) = g(1, 2) = g(2, 1) = g(2, 2) = std::nan("");
  RemplirManquants(g);
  for (double v : g.Plan(0)) EXPECT_TRUE(std::isfinite(v));
  EXPECT_GT(g(1, 1), 0);
  EXPECT_LT(g(1, 1), 150);
  TGrilleReelle vide(1, 2, 2);
  for (double& v : vide.Plan(0)) v = std::nan("");
  RemplirManquants(vide);
  EXPECT_EQ(vide(1, 1), 0);

  // Three planes are colours; any other count, the frames of a series: the first is read,
  // and only it needs to be in the file.
  auto cube = Image(16, 2, 2);
  cube.Plans = 5;
  cube.Valeurs = {1, 2, 3, 4, 10, 20, 30, 40};
  r = Lire(cube, image, infos);
  ASSERT_TRUE(r.Reussi());
  EXPECT_EQ(r.Images, 5);
  EXPECT_EQ(image.Plans, 1);
  EXPECT_EQ(image.GrilleEntiere(1, 1), 4);
  EXPECT_EQ(infos.NbPlans, 5);
  auto quatre = Image(16, 2, 2, {{"NAXIS4", "2"}});
  auto octets = outils::CoderFITS(quatre);
  const auto c = outils::Carte("NAXIS", "4");
  std::copy(c.begin(), c.end(), octets.begin() + 2 * 80);
  EXPECT_FALSE(LireFITS(std::as_bytes(std::span(octets)), image, infos).Reussi());
}

TEST(FITSFichier, ChargerGardeLeChampEnCasDEchec) {
  const auto dossier = std::filesystem::temp_directory_path() / "quelvane-fits-test";
  std::filesystem::create_directories(dossier);
  const std::string bon = (dossier / "bon.fit").string();
  const std::string mauvais = (dossier / "mauvais.fit").string();
  auto im = Image(16, 6, 5, {{"TELESCOP", "'T200'"}});
  ASSERT_TRUE(outils::EcrireFITS(bon, im));
  {
    std::FILE* f = std::fopen(mauvais.c_str(), "wb");
    std::fputs("pas une image", f);
    std::fclose(f);
  }
  TFctXY champ;
  ASSERT_TRUE(ChargerFITS(champ, bon).Reussi());
  EXPECT_EQ(champ.NX, 6);
  EXPECT_EQ(champ.NY, 5);
  EXPECT_EQ(champ.V(1, 2), 8);
  EXPECT_EQ(champ.Infos.Telescope, "T200");
  EXPECT_EQ(champ.Masque.Lignes(), 5);

  EXPECT_FALSE(ChargerFITS(champ, mauvais).Reussi());
  EXPECT_FALSE(ChargerFITS(champ, (dossier / "absent.fit").string()).Reussi());
  EXPECT_EQ(champ.NX, 6);
  EXPECT_EQ(champ.V(1, 2), 8);
  EXPECT_EQ(champ.Infos.Telescope, "T200");

  int taille = 0;
  TImgInfos infos;
  EXPECT_TRUE(LireEnTeteFITS(bon, taille, infos));
  EXPECT_EQ(taille, 2880);
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace quelvane
