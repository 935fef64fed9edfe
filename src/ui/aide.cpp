#include "ui/aide.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/preferences.h"

namespace quelvane {

TFormAide::TFormAide(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Aide de Quelvane"));
  resize(822, 688);
  auto* v = new QVBoxLayout(this);
  auto* boutons = new QHBoxLayout;
  precedent_ = new QPushButton(QStringLiteral("<<"));
  suivant_ = new QPushButton(QStringLiteral(">>"));
  auto* sommaire = new QPushButton(QStringLiteral("Sommaire"));
  boutons->addWidget(precedent_);
  boutons->addWidget(suivant_);
  boutons->addWidget(sommaire);
  boutons->addStretch();
  v->addLayout(boutons);
  navigateur_ = new QTextBrowser;
  navigateur_->setMinimumSize(800, 600);
  navigateur_->setOpenExternalLinks(false);
  v->addWidget(navigateur_);
  precedent_->setEnabled(false);
  suivant_->setEnabled(false);
  // The buttons follow what the viewer reports.
  connect(navigateur_, &QTextBrowser::backwardAvailable, precedent_, &QPushButton::setEnabled);
  connect(navigateur_, &QTextBrowser::forwardAvailable, suivant_, &QPushButton::setEnabled);
  connect(precedent_, &QPushButton::clicked, navigateur_, &QTextBrowser::backward);
  connect(suivant_, &QPushButton::clicked, navigateur_, &QTextBrowser::forward);
  connect(sommaire, &QPushButton::clicked, this, &TFormAide::Sommaire);
}

void TFormAide::Montrer(QWidget* proprietaire) {
  if (proprietaire && parentWidget() != proprietaire) {
    const QRect place = geometry();
    setParent(proprietaire, windowFlags());
    setGeometry(place);
  }
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TFormAide::ButtonValidationClick() {
  // A page that cannot be shown leaves the viewer as it was.
  if (AdresseCourante.isEmpty() || !QFileInfo(AdresseCourante).isFile()) return;
  navigateur_->setSource(QUrl::fromLocalFile(AdresseCourante));
}

QString AccueilAideParDefaut() {
  // Beside the program in a build, under share/ once installed, else the source tree's guide.
  const QString programme = QCoreApplication::applicationDirPath();
  for (const QString& dossier :
       {programme + QStringLiteral("/aide"), programme + QStringLiteral("/../share/quelvane/aide"),
        QStringLiteral(QUELVANE_AIDE_SOURCE)}) {
    const QFileInfo accueil(dossier + QStringLiteral("/index.html"));
    if (accueil.isFile()) return accueil.canonicalFilePath();
  }
  return {};
}

QString TFormAide::Accueil() const {
  return Preferences.FichierAide.empty() ? AccueilAideParDefaut()
                                         : QString::fromStdString(Preferences.FichierAide);
}

void TFormAide::Sommaire() {
  AdresseCourante = Accueil();
  ButtonValidationClick();
}

QString TFormAide::DossierAide() const {
  return QFileInfo(Accueil()).absolutePath() + QStringLiteral("/");
}

void TFormAide::AfficherRubrique(int ligne) {
  AdresseCourante = ligne == 4 ? DossierAide() + QStringLiteral("astigmatisme.html") : QString();
  ButtonValidationClick();
}

void TFormAide::AfficherAidePreferences() {
  AdresseCourante = DossierAide() + QStringLiteral("preferences.htm");
  ButtonValidationClick();
}

TFormProgress::TFormProgress(QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  auto* v = new QHBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  barre_ = new QProgressBar;
  barre_->setRange(0, 100);
  barre_->setTextVisible(false);
  v->addWidget(barre_, 1);
  annuler_ = new QPushButton(QStringLiteral("Annuler"));
  annuler_->hide();
  connect(annuler_, &QPushButton::clicked, this, &TFormProgress::DemanderArret);
  v->addWidget(annuler_);
  setFixedSize(333, 33);
}

void TFormProgress::Peindre() {
  barre_->repaint();
  // Work on the interface thread: let the bar repaint, but take no user input. Work on another
  // thread: the event loop that waits for it repaints.
  if (!arrierePlan_) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFormProgress::Dimensionner(const QString& legende) {
  // Wide enough for the whole caption beside the title bar's buttons (and the button), centred
  // on the window that started the work.
  const int bouton = arrierePlan_ ? annuler_->sizeHint().width() + 8 : 0;
  const int largeur = std::max(333, fontMetrics().horizontalAdvance(legende) + 120) + bouton;
  const int hauteur = arrierePlan_ ? std::max(33, annuler_->sizeHint().height() + 4) : 33;
  setFixedSize(largeur, hauteur);
  if (QWidget* p = parentWidget()) {
    const QPoint centre = p->mapToGlobal(p->rect().center());
    move(centre.x() - largeur / 2, centre.y() - height() / 2);
  }
}

void TFormProgress::Demarrer(const std::string& titre, int pas) {
  pas_ = pas;
  barre_->setValue(0);
  const QString legende = QString::fromStdString(titre);
  setWindowTitle(legende);
  Dimensionner(legende);
  show();
  Peindre();
}

void TFormProgress::Avancer() {
  barre_->setValue(std::min(100, barre_->value() + pas_));
  Peindre();
}

void TFormProgress::Terminer() {
  barre_->setValue(100);
  Peindre();
}

void TFormProgress::Masquer() { hide(); }

bool TFormProgress::Annulee() const { return arret_.load(); }

void TFormProgress::DebutArrierePlan() {
  arrierePlan_ = true;
  arret_ = false;
  annuler_->setEnabled(true);
  annuler_->show();
  // Nothing else takes a command while the work runs; every window still repaints. (Modality
  // takes effect at the next show.)
  hide();
  setWindowModality(Qt::ApplicationModal);
}

void TFormProgress::FinArrierePlan() {
  arrierePlan_ = false;
  annuler_->hide();
  // Hidden while still modal, so that the application forgets it as a modal window.
  hide();
  setWindowModality(Qt::NonModal);
}

void TFormProgress::DemanderArret() {
  arret_ = true;
  annuler_->setEnabled(false);
  setWindowTitle(QStringLiteral("Arrêt en cours…"));
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("A propos"));
  auto* v = new QVBoxLayout(this);
  ProductName = new QLabel;
  NumVersion = new QLabel;
  QFont gras = ProductName->font();
  gras.setPointSize(gras.pointSize() + 6);
  gras.setBold(true);
  ProductName->setFont(gras);
  v->addWidget(ProductName, 0, Qt::AlignHCenter);
  v->addWidget(NumVersion, 0, Qt::AlignHCenter);
  v->addWidget(new QLabel(QStringLiteral("Test de Roddier : front d'onde à partir de deux images "
                                         "défocalisées d'une étoile")),
               0, Qt::AlignHCenter);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
  ok->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
  v->addWidget(ok);
}

void TAboutBox::Preparer() {
  ProductName->setText(QString::fromUtf8(NomProduit));
  NumVersion->setText(QString::fromUtf8(Version));
}

}  // namespace quelvane
