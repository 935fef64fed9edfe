#include "ui/dialogues.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace quelvane {

namespace {

class TDialoguesQt final : public IDialogues {
 public:
  std::optional<QString> FichierAOuvrir(QWidget* parent, const QString& titre,
                                        const QString& filtre, const QString& dossier) override {
    const QString f = QFileDialog::getOpenFileName(parent, titre, dossier, filtre);
    if (f.isEmpty()) return std::nullopt;
    return f;
  }
  std::optional<QStringList> FichiersAOuvrir(QWidget* parent, const QString& titre,
                                             const QString& filtre,
                                             const QString& dossier) override {
    const QStringList f = QFileDialog::getOpenFileNames(parent, titre, dossier, filtre);
    if (f.isEmpty()) return std::nullopt;
    return f;
  }
  std::optional<QString> FichierAEnregistrer(QWidget* parent, const QString& titre,
                                             const QString& filtre, const QString& nom) override {
    const QString f = QFileDialog::getSaveFileName(parent, titre, nom, filtre);
    if (f.isEmpty()) return std::nullopt;
    return f;
  }
  std::optional<QString> ChoisirDossier(QWidget* parent, const QString& titre,
                                        const QString& dossier) override {
    const QString d = QFileDialog::getExistingDirectory(parent, titre, dossier);
    if (d.isEmpty()) return std::nullopt;
    return d;
  }
  void Avertir(QWidget* parent, const QString& message) override {
    QMessageBox::warning(parent, QStringLiteral("Quelvane"), message, QMessageBox::Ok);
  }
  bool Demander(QWidget* parent, const QString& message) override {
    return QMessageBox::question(parent, QStringLiteral("Quelvane"), message,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  bool ChoisirImprimante(QWidget* parent, QPrinter& imprimante) override {
    QPrintDialog d(&imprimante, parent);
    return d.exec() == QDialog::Accepted;
  }
};

TDialoguesQt dialoguesQt;
IDialogues* courants = nullptr;

}  // namespace

IDialogues& Dialogues() { return courants ? *courants : dialoguesQt; }
void DefinirDialogues(IDialogues* d) { courants = d; }

}  // namespace quelvane
