#pragma once
// Subcommands of quelvane-batch. Each returns the process exit status.

#include <string>

namespace quelvane::batch {

constexpr int SortieErreur = 2;

struct TOptionsInfo {
  std::string Fichier;
  bool Json = false;
};

int CommandeInfo(const TOptionsInfo& options);

}  // namespace quelvane::batch
