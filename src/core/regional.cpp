#include "core/regional.h"

#include <atomic>

namespace quelvane {

namespace {
std::atomic<char> separateur{'.'};
}

char SeparateurDecimal() { return separateur.load(std::memory_order_relaxed); }

void DefinirSeparateurDecimal(char s) {
  separateur.store(s == ',' ? ',' : '.', std::memory_order_relaxed);
}

}  // namespace quelvane
