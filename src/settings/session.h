#pragma once
// What the program remembers between runs besides the preferences: where its windows were and
// the last images opened. Kept beside Prefs.txt in "Session.txt", never inside it, so that
// preference files stay interchangeable.

#include <string>
#include <vector>

namespace quelvane {

struct TFichierRecent {
  std::string Chemin;
  bool Extra = false;  // opened as the extra-focal image
  bool operator==(const TFichierRecent&) const = default;
};

constexpr std::size_t FichiersRecentsMax = 8;

// The folders the file dialogs last went to: opening images, saving anything.
struct TDossiersRecents {
  std::string Ouvertures, Enregistrements;
};

struct TSession {
  std::string Geometrie;  // the main window's geometry and docks, as the interface encodes them
  std::string Etat;
  std::vector<TFichierRecent> Recents;  // most recent first
  TDossiersRecents Dossiers;
};

// "Session.txt" in the folder of the preferences file.
std::string CheminSession(const std::string& cheminPreferences);

// A missing, unreadable or foreign file gives an empty session: nothing in it is worth a message.
TSession LireSession(const std::string& chemin);
std::string TexteSession(const TSession& session);
// Written atomically; throws ErreurEcriture.
void EcrireSession(const TSession& session, const std::string& chemin);

// `chemin` at the head of the recent files (once, whatever role it had), at most
// FichiersRecentsMax kept.
void AjouterRecent(TSession& session, const std::string& chemin, bool extra);

// Where a file dialog opens: the last folder used for that kind of dialog if it still exists,
// else the proposed one, else (saving) the last folder images came from, else `accueil`. A
// relative proposed name is a file name to offer in that folder.
std::string CheminDeDepart(const TDossiersRecents& dossiers, const std::string& propose,
                           bool enregistrement, const std::string& accueil);
// The folder of a path the user chose becomes the next start of that kind of dialog.
void RetenirDossier(TDossiersRecents& dossiers, const std::string& choisi, bool enregistrement);

}  // namespace quelvane
