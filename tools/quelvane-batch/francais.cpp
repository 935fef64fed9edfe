#include "francais.h"

#include <regex>
#include <utility>

namespace quelvane::batch {

void AideEnFrancais(CLI::App& app) {
  app.set_help_flag("-h,--help", "Affiche cette aide");
  auto f = std::make_shared<CLI::Formatter>();
  f->label("Usage", "Utilisation");
  f->label("OPTIONS", "OPTIONS");
  f->label("SUBCOMMAND", "COMMANDE");
  f->label("SUBCOMMANDS", "COMMANDES");
  f->label("Positionals", "Arguments");
  f->label("REQUIRED", "OBLIGATOIRE");
  f->label("Needs", "Demande");
  f->label("Excludes", "Exclut");
  f->label("Env", "Variable");
  app.formatter(f);
  app.failure_message([](const CLI::App*, const CLI::Error& e) { return ErreurEnFrancais(e); });
}

std::string ErreurEnFrancais(const CLI::Error& erreur) {
  const std::string texte = erreur.what();
  // The parser's sentences, most specific first; what is not known keeps its words, framed.
  static const std::pair<std::regex, const char*> traductions[] = {
      {std::regex("^A subcommand is required$"),
       "Une commande est nécessaire : reconstruct, info, report…"},
      {std::regex("^(.+) is required$"), "Option obligatoire absente : $1"},
      {std::regex("^Could not convert: (.+) = (.*)$"), "$1 : « $2 » n'est pas un nombre"},
      {std::regex("^(.+) excludes (.+)$"), "$1 et $2 ne vont pas ensemble"},
      {std::regex("^(.+) requires (.+)$"), "$1 demande aussi $2"},
      {std::regex("^The following arguments? (?:was|were) not expected: (.+)$"),
       "Argument inattendu : $1"},
      {std::regex("^(.+): Too many positional arguments with unlimited expected args$"),
       "$1 : trop d'arguments"},
      {std::regex("^Argument (.+) received (?:more|fewer) than expected.*$"),
       "$1 : nombre de valeurs incorrect"},
      {std::regex("^(.+): (\\d+) required (.+) missing$"), "$1 : valeur absente"},
      {std::regex("^(.+) requires at least (\\d+) arguments?.*$"),
       "$1 : il faut au moins $2 valeur(s)"},
      {std::regex("^Requires at least (\\d+) subcommands?$"), "Une commande est nécessaire"},
  };
  std::string message;
  for (const auto& [motif, francais] : traductions)
    if (std::regex_match(texte, motif)) {
      message = std::regex_replace(texte, motif, francais);
      break;
    }
  if (message.empty()) message = "Ligne de commande incorrecte : " + texte;
  return message + "\nAide : --help (par exemple : quelvane-batch reconstruct --help)\n";
}

}  // namespace quelvane::batch
