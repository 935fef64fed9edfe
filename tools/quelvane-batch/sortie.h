#pragma once
// What a subcommand writes: files replaced together at the end of the run, standard output
// checked (a full disk or a closed pipe is an error, not a success).

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace quelvane::batch {

// Throws std::runtime_error when standard output cannot take the text.
void EcrireSortieStandard(const std::string& texte);

// Indented JSON; text that is not UTF-8 was converted before, anything left is replaced.
std::string TexteJson(const nlohmann::ordered_json& j);

class TSorties {
 public:
  // "-" stands for standard output.
  void Ajouter(const std::string& chemin, std::string texte);
  // Files first, all or none (ErreurEcriture), then standard output.
  void Ecrire() const;

 private:
  std::vector<std::pair<std::string, std::string>> fichiers_;
  std::string standard_;
};

}  // namespace quelvane::batch
