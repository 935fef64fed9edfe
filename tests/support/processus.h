#pragma once
// Runs quelvane-batch as a script would.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/dossier_temporaire.h"

namespace quelvane::essais {

struct TSortie {
  int Statut = -1;
  std::string Texte;  // standard output, then standard error
};

inline TSortie LancerBatch(const std::string& arguments) {
  const std::string commande = std::string(QUELVANE_BATCH) + " " + arguments + " 2>&1";
  TSortie s;
  std::FILE* p = popen(commande.c_str(), "r");
  if (!p) return s;
  std::array<char, 4096> tampon;
  while (std::fgets(tampon.data(), tampon.size(), p)) s.Texte += tampon.data();
  const int statut = pclose(p);
  s.Statut = WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
  return s;
}

}  // namespace quelvane::essais
