#include "ui/fenetre_rapport.h"

#include <QFileInfo>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "files/ecriture.h"
#include "report/page_editee.h"
#include "ui/dialogues.h"

namespace quelvane {

TFormRapport::TFormRapport(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Rapport"));
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  auto* menus = new QMenuBar;
  QMenu* fichier = menus->addMenu(QStringLiteral("Fichier"));
  QAction* enregistrer = fichier->addAction(QStringLiteral("Enregistrer les modifications"), this,
                                            &TFormRapport::EnregistrerModifications);
  enregistrer->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  QMenu* affichage = menus->addMenu(QStringLiteral("Affichage"));
  Code = new QPlainTextEdit;
  Code->setFixedHeight(161);
  Code->hide();
  affichage->addAction(QStringLiteral("Afficher le code html"), this, [this] {
    Code->setPlainText(PageDuNavigateur());
    Code->show();
  });
  affichage->addAction(QStringLiteral("Masquer le code html"), Code, &QWidget::hide);
  v->setMenuBar(menus);
  v->addWidget(Code);
  Navigateur = new QTextBrowser;
  // Editable in place: the report is the user's to complete.
  Navigateur->setReadOnly(false);
  Navigateur->setOpenLinks(false);
  v->addWidget(Navigateur, 1);
  Etat = new QStatusBar;
  Etat->setSizeGripEnabled(false);
  v->addWidget(Etat);
}

QString TFormRapport::PageDuNavigateur() const {
  return QString::fromStdString(PageEditee(Navigateur->toHtml().toStdString()));
}

void TFormRapport::Charger(const QString& chemin) {
  Chemin = chemin;
  setWindowTitle(QStringLiteral("Rapport - %1").arg(QFileInfo(chemin).fileName()));
  Navigateur->setSource(QUrl::fromLocalFile(chemin));
  Navigateur->setReadOnly(false);
  Etat->clearMessage();
}

void TFormRapport::EnregistrerModifications() {
  if (Chemin.isEmpty()) return;
  // What the source view shows, if it was edited, else the page as edited in place.
  const QString html = Code->isVisible() ? Code->toPlainText() : PageDuNavigateur();
  try {
    EcrireFichierAtomique(Chemin.toStdString(), html.toStdString());
    Etat->showMessage(QStringLiteral("Rapport enregistré : %1").arg(Chemin));
  } catch (const std::exception& e) {
    Etat->clearMessage();
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

}  // namespace quelvane
