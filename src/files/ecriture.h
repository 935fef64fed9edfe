#pragma once
// Files the program writes replace the old one in a single step: the contents go to a
// temporary file beside it, which is renamed over the target only once complete.
//
// What stands at the path is respected: a symbolic link is followed and its target replaced
// (the link stays); the target keeps its permissions; a file with several hard links, a
// device or a FIFO is written in place (renaming would break the links or replace the special
// file by a plain one).

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quelvane {

struct ErreurEcriture : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws ErreurEcriture (message in French, with the system's reason); the target is then
// untouched.
void EcrireFichierAtomique(const std::string& chemin, std::string_view contenu);

// Several files of one run: all are written to their temporary files first, and only when
// every one is complete are they renamed over their targets; on any failure no target is
// touched and no temporary file is left. (Files written in place go last.)
void EcrireFichiersAtomiques(const std::vector<std::pair<std::string, std::string>>& fichiers);

}  // namespace quelvane
