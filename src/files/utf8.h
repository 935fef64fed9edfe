#pragma once

#include <string>
#include <string_view>

namespace quelvane {

// The text as UTF-8: valid UTF-8 as it stands, anything else read as Latin-1 (what FITS
// headers and file names written by older software hold), byte by byte.
std::string EnUtf8(std::string_view texte);

}  // namespace quelvane
