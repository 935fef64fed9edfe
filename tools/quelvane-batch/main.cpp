// quelvane-batch: the program's computations from the command line, for scripts.

#include <CLI/CLI.hpp>
#include <iostream>

#include "commandes.h"

int main(int argc, char** argv) {
  using namespace quelvane::batch;
  CLI::App app{"Quelvane en ligne de commande"};
  app.require_subcommand(1);

  TOptionsInfo info;
  auto* cmdInfo = app.add_subcommand("info", "En-tête, statistiques et pupille d'une image FITS");
  cmdInfo->add_option("fichier", info.Fichier, "Image FITS")->required();
  cmdInfo->add_flag("--json", info.Json, "Un objet JSON sur la sortie standard");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : SortieErreur;
  }
  try {
    if (*cmdInfo) return CommandeInfo(info);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return SortieErreur;
  }
  return SortieErreur;
}
