#pragma once
// Every modal dialog of the program (file choice, warnings, questions, printer) goes through
// this seam, so that tests can script the answers and drive each command headless.

#include <QString>
#include <QStringList>
#include <optional>

#include "settings/session.h"

class QPrinter;
class QWidget;

namespace quelvane {

class IDialogues {
 public:
  virtual ~IDialogues() = default;
  virtual std::optional<QString> FichierAOuvrir(QWidget* parent, const QString& titre,
                                                const QString& filtre, const QString& dossier) = 0;
  // Several files at once (a series of frames); nothing when cancelled or none chosen.
  virtual std::optional<QStringList> FichiersAOuvrir(QWidget* parent, const QString& titre,
                                                     const QString& filtre,
                                                     const QString& dossier) = 0;
  virtual std::optional<QString> FichierAEnregistrer(QWidget* parent, const QString& titre,
                                                     const QString& filtre,
                                                     const QString& nomPropose) = 0;
  // ChoisirDossier: the system folder picker, restricted to folders of the file system; nothing
  // when cancelled or when no path comes back.
  virtual std::optional<QString> ChoisirDossier(QWidget* parent, const QString& titre,
                                                const QString& dossier) = 0;
  // A warning with the single button OK.
  virtual void Avertir(QWidget* parent, const QString& message) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool Demander(QWidget* parent, const QString& message) = 0;
  virtual bool ChoisirImprimante(QWidget* parent, QPrinter& imprimante) = 0;
};

// Where the real file dialogs start: the last folders the user went to (kept in the session).
TDossiersRecents& DossiersDialogues();

// The dialogs in use: the real ones unless a test installed its own.
IDialogues& Dialogues();
void DefinirDialogues(IDialogues* dialogues);  // nullptr restores the real ones

}  // namespace quelvane
