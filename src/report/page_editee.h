#pragma once
// A report page as the rich-text editor writes it back, made to lay out in a browser as the
// page it came from.

#include <string>

namespace quelvane {

// The editor's inline styles restate every default and give centred tables zero side margins,
// which browsers obey over align="center": tables and their pictures slid to the left and the
// page more than doubled. Declarations that only restate a browser's default go, the side
// margins of a centred table go, the rest (the user's fonts, colours, spacing) stays.
std::string PageEditee(const std::string& html);

}  // namespace quelvane
