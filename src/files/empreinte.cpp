#include "files/empreinte.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <vector>

namespace quelvane {

namespace {

constexpr std::array<std::uint32_t, 64> K = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rot(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

class TSha256 {
 public:
  void Ajouter(std::string_view d) {
    for (const char c : d) {
      bloc_[rempli_++] = static_cast<unsigned char>(c);
      if (rempli_ == 64) Compresser(), rempli_ = 0;
    }
    longueur_ += d.size();
  }
  std::string Fin() {
    const std::uint64_t bits = longueur_ * 8;
    bloc_[rempli_++] = 0x80;
    if (rempli_ > 56) {
      while (rempli_ < 64) bloc_[rempli_++] = 0;
      Compresser(), rempli_ = 0;
    }
    while (rempli_ < 56) bloc_[rempli_++] = 0;
    for (int i = 7; i >= 0; --i) bloc_[rempli_++] = static_cast<unsigned char>(bits >> (8 * i));
    Compresser();
    std::string hex;
    char t[9];
    for (const std::uint32_t v : h_) std::snprintf(t, sizeof t, "%08x", v), hex += t;
    return hex;
  }

 private:
  void Compresser() {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (std::uint32_t{bloc_[4 * i]} << 24) | (std::uint32_t{bloc_[4 * i + 1]} << 16) |
             (std::uint32_t{bloc_[4 * i + 2]} << 8) | bloc_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = Rot(w[i - 15], 7) ^ Rot(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = Rot(w[i - 2], 17) ^ Rot(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6],
                  h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 =
          h + (Rot(e, 6) ^ Rot(e, 11) ^ Rot(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
      const std::uint32_t t2 =
          (Rot(a, 2) ^ Rot(a, 13) ^ Rot(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
  }
  std::array<std::uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<unsigned char, 64> bloc_{};
  int rempli_ = 0;
  std::uint64_t longueur_ = 0;
};

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Sha256(std::string_view octets) {
  TSha256 s;
  s.Ajouter(octets);
  return s.Fin();
}

std::optional<std::string> Sha256Fichier(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  if (!f) return std::nullopt;
  TSha256 s;
  std::vector<char> tampon(1 << 16);
  while (f) {
    f.read(tampon.data(), static_cast<std::streamsize>(tampon.size()));
    s.Ajouter(std::string_view(tampon.data(), static_cast<std::size_t>(f.gcount())));
  }
  if (f.bad()) return std::nullopt;
  return s.Fin();
}

std::string EnBase64(std::string_view octets) {
  std::string t;
  t.reserve((octets.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < octets.size(); i += 3) {
    const std::uint32_t v = (std::uint32_t{static_cast<unsigned char>(octets[i])} << 16) |
                            (std::uint32_t{static_cast<unsigned char>(octets[i + 1])} << 8) |
                            static_cast<unsigned char>(octets[i + 2]);
    for (int k = 3; k >= 0; --k) t += Alphabet[(v >> (6 * k)) & 63];
  }
  if (const std::size_t reste = octets.size() - i; reste > 0) {
    std::uint32_t v = std::uint32_t{static_cast<unsigned char>(octets[i])} << 16;
    if (reste == 2) v |= std::uint32_t{static_cast<unsigned char>(octets[i + 1])} << 8;
    t += Alphabet[(v >> 18) & 63];
    t += Alphabet[(v >> 12) & 63];
    t += reste == 2 ? Alphabet[(v >> 6) & 63] : '=';
    t += '=';
  }
  return t;
}

std::optional<std::string> DepuisBase64(std::string_view texte) {
  if (texte.size() % 4 != 0) return std::nullopt;
  auto valeur = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string o;
  o.reserve(texte.size() / 4 * 3);
  for (std::size_t i = 0; i < texte.size(); i += 4) {
    const bool fin = i + 4 == texte.size();
    const int bourrage = fin ? (texte[i + 3] == '=') + (texte[i + 2] == '=') : 0;
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const int x = k >= 4 - bourrage ? 0 : valeur(texte[i + k]);
      if (x < 0) return std::nullopt;
      v = (v << 6) | static_cast<std::uint32_t>(x);
    }
    o += static_cast<char>(v >> 16);
    if (bourrage < 2) o += static_cast<char>((v >> 8) & 255);
    if (bourrage < 1) o += static_cast<char>(v & 255);
  }
  return o;
}

}  // namespace quelvane
