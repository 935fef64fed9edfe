#include "ui/dialogues.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace quelvane {

namespace {

TDossiersRecents dossiers;

QString Depart(const QString& propose, bool enregistrement) {
  return QString::fromStdString(CheminDeDepart(dossiers, propose.toStdString(), enregistrement,
                                               QDir::homePath().toStdString()));
}

template <class T>
T Retenu(T choisi, bool enregistrement) {
  if (choisi) {
    if constexpr (std::is_same_v<T, std::optional<QStringList>>)
      RetenirDossier(dossiers, choisi->front().toStdString(), enregistrement);
    else
      RetenirDossier(dossiers, choisi->toStdString(), enregistrement);
  }
  return choisi;
}

class TDialoguesQt final : public IDialogues {
 public:
  std::optional<QString> FichierAOuvrir(QWidget* parent, const QString& titre,
                                        const QString& filtre, const QString& dossier) override {
    const QString f = QFileDialog::getOpenFileName(parent, titre, Depart(dossier, false), filtre);
    if (f.isEmpty()) return std::nullopt;
    return Retenu(std::optional(f), false);
  }
  std::optional<QStringList> FichiersAOuvrir(QWidget* parent, const QString& titre,
                                             const QString& filtre,
                                             const QString& dossier) override {
    const QStringList f =
        QFileDialog::getOpenFileNames(parent, titre, Depart(dossier, false), filtre);
    if (f.isEmpty()) return std::nullopt;
    return Retenu(std::optional(f), false);
  }
  std::optional<QString> FichierAEnregistrer(QWidget* parent, const QString& titre,
                                             const QString& filtre, const QString& nom) override {
    const QString f = QFileDialog::getSaveFileName(parent, titre, Depart(nom, true), filtre);
    if (f.isEmpty()) return std::nullopt;
    return Retenu(std::optional(f), true);
  }
  std::optional<QString> ChoisirDossier(QWidget* parent, const QString& titre,
                                        const QString& dossier) override {
    const QString d = QFileDialog::getExistingDirectory(parent, titre, dossier);
    if (d.isEmpty()) return std::nullopt;
    return d;
  }
  // Plain text always: messages quote file names and header values, never markup.
  void Avertir(QWidget* parent, const QString& message) override {
    QMessageBox b(QMessageBox::Warning, QStringLiteral("Quelvane"), message, QMessageBox::Ok,
                  parent);
    b.setTextFormat(Qt::PlainText);
    b.exec();
  }
  bool Demander(QWidget* parent, const QString& message) override {
    QMessageBox b(QMessageBox::Question, QStringLiteral("Quelvane"), message,
                  QMessageBox::Yes | QMessageBox::No, parent);
    b.setTextFormat(Qt::PlainText);
    return b.exec() == QMessageBox::Yes;
  }
  bool ChoisirImprimante(QWidget* parent, QPrinter& imprimante) override {
    QPrintDialog d(&imprimante, parent);
    return d.exec() == QDialog::Accepted;
  }
};

TDialoguesQt dialoguesQt;
IDialogues* courants = nullptr;

}  // namespace

TDossiersRecents& DossiersDialogues() { return dossiers; }

IDialogues& Dialogues() { return courants ? *courants : dialoguesQt; }
void DefinirDialogues(IDialogues* d) { courants = d; }

}  // namespace quelvane
