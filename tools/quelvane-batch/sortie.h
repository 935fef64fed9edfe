#pragma once
// What a subcommand writes: files replaced together at the end of the run, standard output
// checked (a full disk or a closed pipe is an error, not a success).

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "analysis/progression.h"

namespace quelvane::batch {

// Throws std::runtime_error when standard output cannot take the text.
void EcrireSortieStandard(const std::string& texte);

// Indented JSON; text that is not UTF-8 was converted before, anything left is replaced.
std::string TexteJson(const nlohmann::ordered_json& j);

// A text progress bar on standard error, only when it is a terminal.
class TBarreTexte final : public IProgression {
 public:
  TBarreTexte();
  void Demarrer(const std::string& titre, int pas) override {
    titre_ = titre;
    pas_ = pas;
    position_ = 0;
    Dessiner();
  }
  void Avancer() override {
    position_ = std::min(100, position_ + pas_);
    Dessiner();
  }
  void Terminer() override {
    position_ = 100;
    Dessiner();
  }
  void Masquer() override {
    if (actif_) std::fputs("\n", stderr);
  }

 private:
  void Dessiner() const {
    if (!actif_) return;
    const int plein = position_ * 30 / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", titre_.c_str(), std::string(plein, '#').c_str(),
                 std::string(30 - plein, ' ').c_str(), position_);
    std::fflush(stderr);
  }
  bool actif_;
  std::string titre_;
  int pas_ = 1;
  int position_ = 0;
};

// Before any work: every output named (not "-") must lie in an existing folder and not be a
// folder itself; throws std::runtime_error naming it.
void VerifierSorties(const std::vector<std::string>& chemins);

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
