#pragma once
// The decimal separator of the user's regional settings. Everything that reads or writes
// numbers for people asks here, never the C locale, so tests can choose either separator.

namespace quelvane {

char SeparateurDecimal();
void DefinirSeparateurDecimal(char separateur);

}  // namespace quelvane
