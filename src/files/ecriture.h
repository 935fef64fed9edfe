#pragma once
// Files the program writes replace the old one in a single step: the contents go to a
// temporary file beside it, which is renamed over the target only once complete.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quelvane {

struct ErreurEcriture : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws ErreurEcriture (message in French, with the system's reason); the target is then
// untouched.
void EcrireFichierAtomique(const std::string& chemin, std::string_view contenu);

}  // namespace quelvane
