// SHA-256 against the standard's own examples; base64 both ways and its refusals.

#include "files/empreinte.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace quelvane {
namespace {

TEST(Empreinte, Sha256DesExemplesDeLaNorme) {
  EXPECT_EQ(Sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding spills into a second block.
  EXPECT_EQ(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // A file read by blocks gives the digest of its whole contents.
  const std::string chemin = testing::TempDir() + "/empreinte-million";
  std::ofstream(chemin, std::ios::binary) << std::string(1000000, 'a');
  EXPECT_EQ(Sha256Fichier(chemin),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_FALSE(Sha256Fichier(chemin + "-absent"));
}

TEST(Empreinte, Base64AllerRetourEtRefus) {
  for (const std::string s : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
    const std::string t = EnBase64(s);
    EXPECT_EQ(t.size() % 4, 0u);
    EXPECT_EQ(DepuisBase64(t), s);
  }
  EXPECT_EQ(EnBase64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(EnBase64("fo"), "Zm8=");
  const std::string binaire("\0\xff\x10\x80", 4);
  EXPECT_EQ(DepuisBase64(EnBase64(binaire)), binaire);
  EXPECT_FALSE(DepuisBase64("Zm9"));   // not a multiple of 4
  EXPECT_FALSE(DepuisBase64("Zm9*"));  // outside the alphabet
  EXPECT_FALSE(DepuisBase64("Z=9v"));  // padding in the middle
  EXPECT_FALSE(DepuisBase64("Zm=v"));
}

}  // namespace
}  // namespace quelvane
