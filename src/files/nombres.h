#pragma once
// Number conversions for forms and file headers, independent of the C locale.

#include <optional>
#include <string>
#include <string_view>

namespace quelvane {

// A decimal number written with '.' (after trimming blanks); nothing when the text is not
// entirely a number.
std::optional<double> ConvertirReel(std::string_view texte);
// A decimal integer (optional sign, blanks trimmed) in the 32-bit range.
std::optional<int> ConvertirEntier(std::string_view texte);

// Either separator is accepted (headers come from everywhere); nothing when not a number.
std::optional<double> LireReelFITS(std::string_view texte);
// A number typed by a user: '.' or ',' as the decimal separator whatever the regional one (a
// single separator: "1,234.5" is not a number); nothing when the text is not a number.
std::optional<double> LireSaisie(std::string_view texte);
// LireSaisie, 0 when the text is not a number (forms).
double LireReel(std::string_view texte);

// General notation with up to `chiffres` significant digits ("555", "0,5"), with the given
// decimal separator (the regional one by default). Never depends on the C locale.
std::string FormaterGeneral(double v, int chiffres = 15, char separateur = 0);
// "%.*f" with the given separator (the regional one by default).
std::string FormaterFixe(double v, int decimales, char separateur = 0);

// ISO date-time split at the first "T": what comes before (empty without "T") and after.
std::string DateDe(std::string_view texte);
std::string HeureDe(std::string_view texte);

}  // namespace quelvane
