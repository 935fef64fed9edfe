#pragma once
// The system's reason for a failed file operation, in French: the C library's texts are
// English whatever the program's language.

#include <string>

namespace quelvane {

// The reason for error number `erreur` (errno), e.g. "fichier ou dossier introuvable".
std::string TexteErreurSysteme(int erreur);

}  // namespace quelvane
