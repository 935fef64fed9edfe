#include "sortie.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "files/ecriture.h"
#include "files/erreur_systeme.h"

namespace quelvane::batch {

TBarreTexte::TBarreTexte() : actif_(::isatty(STDERR_FILENO) == 1) {}

void VerifierSorties(const std::vector<std::string>& chemins) {
  for (const std::string& c : chemins) {
    if (c.empty() || c == "-") continue;
    std::error_code ec;
    const auto absolu = std::filesystem::absolute(c, ec);
    if (std::filesystem::is_directory(absolu, ec))
      throw std::runtime_error("Impossible d'écrire " + c + " : c'est un dossier");
    if (!std::filesystem::is_directory(absolu.parent_path(), ec))
      throw std::runtime_error("Impossible d'écrire " + c + " : dossier introuvable");
  }
}

void EcrireSortieStandard(const std::string& texte) {
  const std::size_t n = std::fwrite(texte.data(), 1, texte.size(), stdout);
  if (n != texte.size() || std::fflush(stdout) != 0 || std::ferror(stdout))
    throw std::runtime_error(std::string("Impossible d'écrire sur la sortie standard : ") +
                             TexteErreurSysteme(errno));
}

std::string TexteJson(const nlohmann::ordered_json& j) {
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

void TSorties::Ajouter(const std::string& chemin, std::string texte) {
  if (chemin == "-")
    standard_ += texte;
  else
    fichiers_.emplace_back(chemin, std::move(texte));
}

void TSorties::Ecrire() const {
  EcrireFichiersAtomiques(fichiers_);
  if (!standard_.empty()) EcrireSortieStandard(standard_);
}

}  // namespace quelvane::batch
