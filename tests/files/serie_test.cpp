// Frames of one side: SER videos (both byte orders, whatever the flag says; mono, Bayer and RGB;
// the timestamps), FITS cubes of frames and lists of files, and what goes wrong with them.

#include "files/serie.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "files/ser.h"
#include "support/dossier_temporaire.h"
#include "support/ecriture_fits.h"
#include "support/ecriture_ser.h"

namespace quelvane {
namespace {

using essais::TestAvecDossier;

// A smooth picture with noise in the low bits, as a camera gives: value = 1000 + 7·row + col
// plus a pseudo-random 0–15.
std::vector<std::uint16_t> Image(int l, int h, int k, int decalage = 0) {
  std::vector<std::uint16_t> v(static_cast<std::size_t>(l) * h);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < l; ++c)
      v[static_cast<std::size_t>(r) * l + c] = static_cast<std::uint16_t>(
          (1000 + 7 * r + c + 50 * k + (r * 31 + c * 17 + k) % 16) << decalage);
  return v;
}

outils::TVideoAEcrire Video(int images, int profondeur = 12, int decalage = 0) {
  outils::TVideoAEcrire v;
  v.Largeur = 40;
  v.Hauteur = 30;
  v.Profondeur = profondeur;
  for (int k = 0; k < images; ++k) v.Images.push_back(Image(40, 30, k, decalage));
  return v;
}

class Serie : public TestAvecDossier {
 protected:
  std::string Video(const std::string& nom, const outils::TVideoAEcrire& v) {
    EXPECT_TRUE(outils::EcrireSER(Chemin(nom), v));
    return Chemin(nom);
  }
  std::string Fits(const std::string& nom, int l, int h, int plans, std::vector<double> valeurs,
                   std::vector<outils::TCarteFITS> cartes = {}) {
    outils::TImageAEcrire im;
    im.Bitpix = 16;
    im.Largeur = l, im.Hauteur = h, im.Plans = plans;
    im.Valeurs = std::move(valeurs);
    im.Cartes = std::move(cartes);
    EXPECT_TRUE(outils::EcrireFITS(Chemin(nom), im));
    return Chemin(nom);
  }
};

TEST_F(Serie, OrdreDesOctetsDecideParLesDonnees) {
  // Little- and big-endian data under both values of the flag, 12 bits in the low bits and
  // 12 bits shifted to the top of 16: the samples come back every time.
  for (const bool petit : {true, false})
    for (const int drapeau : {0, 1})
      for (const int decalage : {0, 4}) {
        auto v = Serie::Video("v.ser", [&] {
          auto w = quelvane::Video(3, 12, decalage);
          w.DonneesPetitBoutistes = petit;
          w.LittleEndian = drapeau;
          return w;
        }());
        const auto s = OuvrirSerie({v});
        ASSERT_EQ(s->Nombre(), 3);
        TGrilleReelle g;
        s->Lire(2, g);
        EXPECT_EQ(g(5, 7), Image(40, 30, 2, decalage)[5 * 40 + 7]) << petit << drapeau << decalage;
        EXPECT_NE(s->Description().OrdreOctets.find(petit ? "petit-boutiste" : "gros-boutiste"),
                  std::string::npos);
        EXPECT_EQ(s->Description().PleineEchelle, decalage ? 65535 : 4095);
      }
}

TEST_F(Serie, HuitBitsMosaiqueEtCouleurs) {
  auto v = quelvane::Video(2, 8);
  for (auto& im : v.Images)
    for (auto& x : im) x = static_cast<std::uint16_t>(x % 256);
  const auto s8 = OuvrirSerie({Video("huit.ser", v)});
  TGrilleReelle g;
  s8->Lire(1, g);
  EXPECT_EQ(g(3, 3), Image(40, 30, 1)[3 * 40 + 3] % 256);
  EXPECT_EQ(s8->Description().PleineEchelle, 255);

  // A Bayer mosaic reads as the mean of each 2 × 2 cell: a mosaic whose red, green and blue
  // samples are 100, 200 and 400 is a uniform 225.
  auto b = quelvane::Video(1, 16);
  b.ColorID = 8;  // RGGB
  for (int r = 0; r < 30; ++r)
    for (int c = 0; c < 40; ++c)
      b.Images[0][static_cast<std::size_t>(r) * 40 + c] =
          (r % 2 == 0) ? (c % 2 == 0 ? 100 : 200) : (c % 2 == 0 ? 200 : 400);
  const auto sb = OuvrirSerie({Video("bayer.ser", b)});
  EXPECT_TRUE(sb->Description().Mosaique);
  sb->Lire(0, g);
  EXPECT_EQ(g(10, 13), 225);
  EXPECT_EQ(g(29, 39), 225);

  auto rvb = quelvane::Video(0, 16);
  rvb.ColorID = 100;
  rvb.Images.push_back(std::vector<std::uint16_t>(40 * 30 * 3));
  for (std::size_t i = 0; i < rvb.Images[0].size(); ++i)
    rvb.Images[0][i] = static_cast<std::uint16_t>(i % 3 == 0 ? 300 : i % 3 == 1 ? 600 : 900);
  const auto sr = OuvrirSerie({Video("rvb.ser", rvb)});
  sr->Lire(0, g);
  EXPECT_EQ(g(4, 4), 600);
}

TEST_F(Serie, HorodatagesEtEnTete) {
  auto v = quelvane::Video(2);
  // 2026-12-08 21:04:05.250 UTC in 100 ns ticks since year 1.
  const std::int64_t t = (739'957LL * 86400 + 21 * 3600 + 4 * 60 + 5) * 10'000'000 + 2'500'000;
  EXPECT_EQ(DateSER(t), "2026-12-08T21:04:05.250");
  v.DateUTC = t;
  v.Horodatages = {t, t + 10'000'000};
  v.Telescope = "Newton 200";
  const auto s = OuvrirSerie({Video("h.ser", v)});
  EXPECT_EQ(s->Date(1), "2026-12-08T21:04:06.250");
  EXPECT_EQ(s->Description().Infos.Telescope, "Newton 200");
  EXPECT_EQ(s->Description().Infos.DateObs, "2026-12-08T21:04:05.250");
  EXPECT_EQ(s->NomImage(1), "h.ser, image 2");
}

TEST_F(Serie, VideosAbimeesOuImpossibles) {
  // A header promising more frames than the file holds: what is there, and it says so.
  auto v = quelvane::Video(3);
  v.ImagesAnnoncees = 5;
  auto s = OuvrirSerie({Video("courte.ser", v)});
  EXPECT_EQ(s->Nombre(), 3);
  ASSERT_EQ(s->Description().Avertissements.size(), 1u);
  EXPECT_NE(s->Description().Avertissements[0].find("3 images lues sur 5 annoncées"),
            std::string::npos);
  // The last frame cut short is left out.
  auto octets = outils::CoderSER(quelvane::Video(3));
  octets.resize(octets.size() - 100);
  {
    std::ofstream(Chemin("tronquee.ser"), std::ios::binary)
        .write(reinterpret_cast<const char*>(octets.data()),
               static_cast<std::streamsize>(octets.size()));
  }
  EXPECT_EQ(OuvrirSerie({Chemin("tronquee.ser")})->Nombre(), 2);
  // Two files each announcing nearly the largest count: the series' total stays a count.
  auto beaucoup = quelvane::Video(2);
  beaucoup.ImagesAnnoncees = 2'130'706'433;
  auto deux = OuvrirSerie({Video("b1.ser", beaucoup), Video("b2.ser", beaucoup)});
  EXPECT_EQ(deux->Nombre(), 4);
  EXPECT_EQ(deux->Description().Annoncees, std::numeric_limits<int>::max());

  auto refus = [&](const outils::TVideoAEcrire& w, const std::string& mot) {
    try {
      OuvrirSerie({Video("r.ser", w)});
      ADD_FAILURE() << mot;
    } catch (const ErreurSerie& e) {
      EXPECT_NE(std::string(e.what()).find(mot), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("r.ser"), std::string::npos) << e.what();
    }
  };
  refus(quelvane::Video(0), "aucune image");
  auto enorme = quelvane::Video(1);
  enorme.Largeur = 100000;  // beyond any camera: refused before anything is allocated
  refus(enorme, "taille d'image impossible");
  auto grand = quelvane::Video(1);
  grand.ImagesAnnoncees = 2'000'000'000;
  grand.Largeur = grand.Hauteur = 8000;
  refus(grand, "aucune image entière");
  auto profond = quelvane::Video(1);
  profond.Profondeur = 32;
  refus(profond, "profondeur");
  auto couleur = quelvane::Video(1);
  couleur.ColorID = 55;
  refus(couleur, "ColorID");
}

TEST_F(Serie, CubesEtListesDeFichiersFITS) {
  // A cube of four frames, and two single images: one series of six frames in that order.
  std::vector<double> cube;
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < 6; ++i) cube.push_back(10 * k + i);
  const std::string c = Fits("cube.fits", 3, 2, 4, cube, {{"EXPTIME", "0.02"}});
  const std::string a = Fits("a.fit", 3, 2, 1, {100, 101, 102, 103, 104, 105});
  const std::string b = Fits("b.fit", 3, 2, 1, {200, 201, 202, 203, 204, 205});
  EXPECT_TRUE(EstUneSerie(c));
  EXPECT_FALSE(EstUneSerie(a));
  const auto s = OuvrirSerie({c, a, b});
  ASSERT_EQ(s->Nombre(), 6);
  EXPECT_EQ(s->Description().PoseSecondes, 0.02);
  TGrilleReelle g;
  s->Lire(2, g);
  EXPECT_EQ(g(1, 2), 25);
  s->Lire(5, g);
  EXPECT_EQ(g(0, 1), 201);
  EXPECT_EQ(s->NomImage(2), "cube.fits, image 3");
  EXPECT_EQ(s->NomImage(5), "b.fit");

  // A colour image (three planes) is one frame: its first plane, as when opened alone.
  const std::string rvb = Fits("rvb.fit", 3, 2, 3, std::vector<double>(18, 7));
  EXPECT_EQ(OuvrirSerie({rvb})->Nombre(), 1);

  // An unreadable file among good ones is skipped and named; frames of another size are
  // refused with both files named; nothing readable at all is refused.
  const std::string mauvais = Ecrire("mauvais.fit", "pas une image");
  const auto avec = OuvrirSerie({a, mauvais, b});
  EXPECT_EQ(avec->Nombre(), 2);
  ASSERT_EQ(avec->Description().Avertissements.size(), 1u);
  EXPECT_NE(avec->Description().Avertissements[0].find("mauvais.fit"), std::string::npos);
  const std::string autre = Fits("autre.fit", 4, 2, 1, std::vector<double>(8, 1));
  try {
    OuvrirSerie({a, autre});
    ADD_FAILURE();
  } catch (const ErreurSerie& e) {
    EXPECT_NE(std::string(e.what()).find("autre.fit (4 × 2)"), std::string::npos) << e.what();
  }
  EXPECT_THROW(OuvrirSerie({mauvais, Chemin("absent.fit")}), ErreurSerie);
  EXPECT_THROW(OuvrirSerie({}), ErreurSerie);
}

}  // namespace
}  // namespace quelvane
