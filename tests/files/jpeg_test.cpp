// JPEG pictures: what is saved reads back, and every malformed picture is refused with a
// reason, without ending the program.

#include "files/jpeg.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>

namespace quelvane {
namespace {

std::vector<std::uint8_t> Degrade(int l, int h) {
  std::vector<std::uint8_t> p;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < l; ++x) {
      p.push_back(static_cast<std::uint8_t>(x * 255 / l));
      p.push_back(static_cast<std::uint8_t>(y * 255 / h));
      p.push_back(128);
    }
  return p;
}

std::span<const std::byte> Octets(const std::string& s) { return std::as_bytes(std::span(s)); }

// A picture in another colour space, written with the library itself.
std::string AutreEspace(J_COLOR_SPACE espace, int composantes, bool progressive = false) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* sortie = nullptr;
  unsigned long taille = 0;
  jpeg_mem_dest(&c, &sortie, &taille);
  c.image_width = 8;
  c.image_height = 8;
  c.input_components = composantes;
  c.in_color_space = espace;
  jpeg_set_defaults(&c);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> ligne(8 * composantes, 100);
  while (c.next_scanline < 8) {
    JSAMPROW l = ligne.data();
    jpeg_write_scanlines(&c, &l, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string s(reinterpret_cast<char*>(sortie), taille);
  std::free(sortie);
  return s;
}

TEST(JPEG, CeQuiEstEnregistreSeRelit) {
  const auto rgb = Degrade(64, 48);
  const std::string fichier = CoderJPEG(rgb, 64, 48);
  ASSERT_GT(fichier.size(), 100u);
  EXPECT_EQ(static_cast<unsigned char>(fichier[0]), 0xFF);
  // Baseline: a SOF0 marker, no progressive SOF2.
  EXPECT_NE(fichier.find("\xFF\xC0"), std::string::npos);
  EXPECT_EQ(fichier.find("\xFF\xC2"), std::string::npos);
  const TImageJPEG im = DecoderJPEG(Octets(fichier));
  ASSERT_TRUE(im.Reussi()) << im.Erreur;
  ASSERT_EQ(im.Largeur, 64);
  ASSERT_EQ(im.Hauteur, 48);
  ASSERT_EQ(im.Composantes, 3);
  double ecart = 0;
  for (std::size_t i = 0; i < rgb.size(); ++i) ecart += std::abs(rgb[i] - im.Pixels[i]);
  EXPECT_LT(ecart / rgb.size(), 3);  // quality 90
  EXPECT_EQ(DecoderJPEG(Octets(AutreEspace(JCS_GRAYSCALE, 1))).Composantes, 1);
}

TEST(JPEG, ImagesRefusees) {
  const std::string bon = CoderJPEG(Degrade(64, 48), 64, 48);
  auto refusee = [](const std::string& octets, const char* quoi) {
    const TImageJPEG im = DecoderJPEG(Octets(octets));
    EXPECT_FALSE(im.Reussi()) << quoi;
    EXPECT_FALSE(im.Erreur.empty()) << quoi;
    EXPECT_TRUE(im.Pixels.empty()) << quoi;
  };
  refusee("", "vide");
  refusee("\x89PNG\r\n\x1a\n" + std::string(100, 0), "PNG");
  refusee(bon.substr(0, bon.size() / 2), "tronquée");
  refusee(bon.substr(0, 300), "en-tête seul");
  refusee(AutreEspace(JCS_CMYK, 4), "CMJN");
  // Dimensions of the frame header set to 60000 × 60000: refused before any allocation.
  std::string geante = bon;
  const auto sof = geante.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  geante[sof + 5] = geante[sof + 7] = static_cast<char>(0xEA);
  geante[sof + 6] = geante[sof + 8] = 0x60;
  refusee(geante, "géante");
  // A progressive picture whose last scan comes again and again: stopped after a bounded
  // number of scans, with its reason.
  std::string balayages = AutreEspace(JCS_GRAYSCALE, 1, true);
  const auto dernier = balayages.rfind("\xFF\xDA");
  ASSERT_NE(dernier, std::string::npos);
  const std::string scan = balayages.substr(dernier, balayages.size() - 2 - dernier);
  std::string repete = balayages.substr(0, balayages.size() - 2);
  for (int i = 0; i < 1500; ++i) repete += scan;
  repete += "\xFF\xD9";
  const TImageJPEG r = DecoderJPEG(Octets(repete));
  EXPECT_FALSE(r.Reussi());
  EXPECT_NE(r.Erreur.find("balayages"), std::string::npos) << r.Erreur;
  EXPECT_THROW(CoderJPEG({}, 0, 0), std::runtime_error);
}

}  // namespace
}  // namespace quelvane

namespace quelvane {
namespace {

TEST(JPEG, UnFichierTropCourtPourSonImageEstRefuseSansAllouer) {
  // A few hundred bytes announcing 8192 × 8191 pixels: the frame header's size changed in a
  // valid small picture. Refused before the decoder allocates for the picture.
  std::string f = CoderJPEG(Degrade(16, 16), 16, 16);
  for (std::size_t i = 0; i + 8 < f.size(); ++i)
    if (static_cast<unsigned char>(f[i]) == 0xFF && static_cast<unsigned char>(f[i + 1]) == 0xC0) {
      f[i + 5] = static_cast<char>(8191 >> 8), f[i + 6] = static_cast<char>(8191 & 0xFF);
      f[i + 7] = static_cast<char>(8192 >> 8), f[i + 8] = static_cast<char>(8192 & 0xFF);
      break;
    }
  const TImageJPEG image = DecoderJPEG(Octets(f));
  EXPECT_FALSE(image.Reussi());
  EXPECT_NE(image.Erreur.find("trop court"), std::string::npos) << image.Erreur;
  EXPECT_TRUE(image.Pixels.empty());
}

}  // namespace
}  // namespace quelvane
