#include "files/utf8.h"

namespace quelvane {

namespace {

bool Utf8Valide(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size()) {
    const auto c = static_cast<unsigned char>(t[i]);
    int suite = 0;
    unsigned min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      suite = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      suite = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      suite = 3, min = 0x10000;
    } else {
      return false;
    }
    unsigned v = c & (0x3F >> suite);
    for (int k = 1; k <= suite; ++k) {
      if (i + k >= t.size()) return false;
      const auto d = static_cast<unsigned char>(t[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      v = (v << 6) | (d & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
    i += suite + 1;
  }
  return true;
}

}  // namespace

std::string EnUtf8(std::string_view t) {
  if (Utf8Valide(t)) return std::string(t);
  std::string s;
  s.reserve(t.size() * 2);
  for (char ch : t) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      s += ch;
    } else {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return s;
}

}  // namespace quelvane
