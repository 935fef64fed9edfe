#pragma once
// Dialog answers given in advance, for the window tests; every message shown is recorded.

#include <QPrinter>
#include <deque>

#include "ui/dialogues.h"

namespace quelvane::essais {

class TDialoguesScriptes final : public IDialogues {
 public:
  std::deque<std::optional<QString>> Fichiers;  // open and save dialogs, in order
  std::deque<std::optional<QString>> Dossiers;  // folder pickers, in order
  std::deque<bool> Reponses;                    // questions; an empty list answers No
  bool ReponseParDefaut = false;
  QStringList Messages, Filtres, NomsProposes;
  QString Pdf;  // printing goes to this PDF file; empty: the printer dialog is cancelled

  std::optional<QString> FichierAOuvrir(QWidget*, const QString& titre, const QString& filtre,
                                        const QString&) override {
    Messages << titre;
    Filtres << filtre;
    return Suivant();
  }
  std::deque<std::optional<QStringList>> Series;  // multiple-file dialogs, in order
  std::optional<QStringList> FichiersAOuvrir(QWidget*, const QString& titre, const QString& filtre,
                                             const QString&) override {
    Messages << titre;
    Filtres << filtre;
    if (Series.empty()) return std::nullopt;
    auto s = Series.front();
    Series.pop_front();
    return s;
  }
  std::optional<QString> FichierAEnregistrer(QWidget*, const QString& titre, const QString&,
                                             const QString& nom) override {
    Messages << titre;
    NomsProposes << nom;
    return Suivant();
  }
  std::optional<QString> ChoisirDossier(QWidget*, const QString& titre, const QString&) override {
    Messages << titre;
    if (Dossiers.empty()) return std::nullopt;
    auto d = Dossiers.front();
    Dossiers.pop_front();
    return d;
  }
  void Avertir(QWidget*, const QString& message) override { Messages << message; }
  bool Demander(QWidget*, const QString& message) override {
    Messages << message;
    if (Reponses.empty()) return ReponseParDefaut;
    const bool r = Reponses.front();
    Reponses.pop_front();
    return r;
  }
  bool ChoisirImprimante(QWidget*, QPrinter& p) override {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(Pdf);
    return !Pdf.isEmpty();
  }

 private:
  std::optional<QString> Suivant() {
    if (Fichiers.empty()) return std::nullopt;
    auto f = Fichiers.front();
    Fichiers.pop_front();
    return f;
  }
};

// The installed scripted dialogs, removed again when the test ends.
struct TDialoguesInstalles {
  TDialoguesScriptes Dialogues;
  TDialoguesInstalles() { DefinirDialogues(&Dialogues); }
  ~TDialoguesInstalles() { DefinirDialogues(nullptr); }
};

inline QString Echantillon(const char* nom) { return QStringLiteral(QUELVANE_SAMPLES "/") + nom; }

}  // namespace quelvane::essais
