// The watched folder: pairs handed over once, only when both files are complete.

#include "files/surveillance.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quelvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void Ecrire(const fs::path& p, std::size_t octets) {
  std::ofstream(p, std::ios::binary) << std::string(octets, 'x');
}

fs::path DossierNeuf(const std::string& nom) {
  const fs::path d = fs::path(testing::TempDir()) / nom;
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

TEST(Surveillance, NomsDesPaires) {
  EXPECT_EQ(CleDePaire("M42_intra_2130.fits"), std::make_pair(std::string("M42_*_2130.fits"), 1));
  EXPECT_EQ(CleDePaire("M42_EXTRA_2130.fits"), std::make_pair(std::string("M42_*_2130.fits"), 2));
  EXPECT_EQ(CleDePaire("Intra-3.ser").second, 1);
  EXPECT_EQ(CleDePaire("etoile.fits").second, 0);
}

TEST(Surveillance, PaireRendueUneFoisQuandLesDeuxSontCompletes) {
  const fs::path d = DossierNeuf("veille-paires");
  TSurveillance s(d, false, 1.0);
  auto t = TSurveillance::Horloge::now();
  Ecrire(d / "a_intra.fits", 2880);
  Ecrire(d / "a_extra.fits", 1000);  // still being written: not a whole FITS record
  Ecrire(d / "notes.txt", 10);       // not an image
  EXPECT_TRUE(s.Examiner(t).empty());
  t += 2s;
  EXPECT_TRUE(s.Examiner(t).empty());  // intra complete, extra not
  Ecrire(d / "a_extra.fits", 5760);
  t += 2s;
  EXPECT_TRUE(s.Examiner(t).empty());  // extra just changed
  t += 2s;
  const auto paires = s.Examiner(t);
  ASSERT_EQ(paires.size(), 1u);
  EXPECT_EQ(paires[0].Intra.filename(), "a_intra.fits");
  EXPECT_EQ(paires[0].Extra.filename(), "a_extra.fits");
  EXPECT_EQ(paires[0].Nom, "a_*");
  t += 2s;
  EXPECT_TRUE(s.Examiner(t).empty());  // never twice
  // A file that vanishes is forgotten; the folder that vanishes ends the watch.
  fs::remove_all(d);
  EXPECT_THROW(s.Examiner(t + 2s), ErreurSurveillance);
}

TEST(Surveillance, ParOrdreDArrivee) {
  const fs::path d = DossierNeuf("veille-ordre");
  TSurveillance s(d, true, 0.5);
  auto t = TSurveillance::Horloge::now();
  Ecrire(d / "0001.ser", 500);
  s.Examiner(t);
  t += 1s;
  EXPECT_TRUE(s.Examiner(t).empty());  // the first alone waits for the second
  Ecrire(d / "0002.ser", 500);
  s.Examiner(t);
  t += 1s;
  const auto paires = s.Examiner(t);
  ASSERT_EQ(paires.size(), 1u);
  EXPECT_EQ(paires[0].Intra.filename(), "0001.ser");
  EXPECT_EQ(paires[0].Extra.filename(), "0002.ser");
}

}  // namespace
}  // namespace quelvane
