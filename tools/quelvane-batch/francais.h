#pragma once
// The command line's own texts in French: help labels and usage errors (the parser's are
// English).

#include <CLI/CLI.hpp>
#include <string>

namespace quelvane::batch {

// Before any subcommand is added: they take the help flag and the formatter from `app`.
void AideEnFrancais(CLI::App& app);

// A parser's error as the user reads it, in French, with the way to the help.
std::string ErreurEnFrancais(const CLI::Error& erreur);

}  // namespace quelvane::batch
