// How the program sits on a desktop: Qt's texts in French, panels docked, windows that do not
// cover each other, the placement and the recent images kept between runs, files dropped.

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/aide.h"
#include "ui/application.h"
#include "ui/coefficients.h"
#include "ui/dialogue_parametres.h"
#include "ui/dialogue_preferences.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/panneau_infos.h"
#include "ui/placement.h"

using namespace quelvane;
using namespace quelvane::essais;

class DispositionTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  std::unique_ptr<QTemporaryDir> dossier_;
  std::unique_ptr<TMainForm> f_;

  void Nouvelle() {
    f_ = std::make_unique<TMainForm>(dossier_->filePath("Prefs.txt"));
    f_->resize(1280, 800);
    f_->show();
    QVERIFY(QTest::qWaitForWindowExposed(f_.get()));
  }
  void Ouvrir(const char* nom, bool extra) {
    d_->Fichiers = {Echantillon(nom)};
    extra ? f_->OuvrirExtrafocale() : f_->Ouvrir();
  }

 private slots:
  void initTestCase() { PreparerApplication(*qApp); }
  void init() {
    RemettreLesGlobales();
    dossier_ = std::make_unique<QTemporaryDir>();
    installes_ = InstallerDialogues(d_);
    Nouvelle();
  }
  void cleanup() { Demonter(f_, installes_); }

  void boutonsStandardEnFrancais() {
    QDialogButtonBox b(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                       QDialogButtonBox::No);
    QCOMPARE(b.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annuler"));
    QVERIFY(b.button(QDialogButtonBox::Yes)->text().contains(QStringLiteral("Oui")));
    QVERIFY(b.button(QDialogButtonBox::No)->text().contains(QStringLiteral("Non")));
    QVERIFY(!IconeQuelvane().availableSizes().isEmpty());
    QVERIFY(!QApplication::windowIcon().isNull());
  }

  void panneauEtListeAmarresADroite() {
    Ouvrir("etoile-intra.fit", false);
    TFormInfos* infos = f_->Infos();
    QVERIFY(infos->isVisible());
    QVERIFY(!infos->isFloating());
    QCOMPARE(f_->dockWidgetArea(infos), Qt::RightDockWidgetArea);
    ParametresSimulation.Dimension = 128;
    ParametresSimulation.Rayon = 50;
    SelectionComplete(ParametresSimulation.Selection);
    f_->FrontDOnde();
    TForm3* coefs = f_->Coefficients();
    QVERIFY(coefs->isVisible());
    // The panel says at which wavelength its figures are and what they leave out.
    QCOMPARE(infos->LabelLambda->text(), QStringLiteral("λ = 555 nm"));
    QCOMPARE(infos->LabelSoustraits->text(), QStringLiteral("Termes soustraits : aucun"));
    // Docked inside the main window, the list cannot stand over a modal dialog.
    QVERIFY(!coefs->isWindow());
    QCOMPARE(f_->dockWidgetArea(coefs), Qt::RightDockWidgetArea);
    // Windows of the program stay above the main window only (their parent), never above a
    // dialog: the progress window alone stays on top, while the work runs.
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != f_->Progression())
        QVERIFY2(!(w->windowFlags() & Qt::WindowStaysOnTopHint), qPrintable(w->windowTitle()));
    QVERIFY(coefs->geometry().top() >= infos->geometry().bottom());
    // Term names are not cut.
    const auto* l = coefs->ListViewZern;
    for (int i = 0; i < l->topLevelItemCount(); ++i)
      QVERIFY(l->columnWidth(1) >= l->fontMetrics().horizontalAdvance(l->topLevelItem(i)->text(1)));
  }

  void nouvellesFenetresVisiblesEtDisjointes() {
    for (int i = 0; i < 4; ++i) Ouvrir("etoile-intra.fit", false);
    const auto fenetres = f_->Zone()->subWindowList();
    QCOMPARE(fenetres.size(), 4);
    for (int i = 0; i < fenetres.size(); ++i) {
      QVERIFY(f_->Zone()->viewport()->rect().contains(fenetres[i]->pos()));
      for (int j = 0; j < i; ++j) QVERIFY(fenetres[i]->pos() != fenetres[j]->pos());
    }
    // A wavefront's caption is whole at the window's opening size.
    ParametresSimulation.Dimension = 64;
    ParametresSimulation.Rayon = 25;
    SelectionComplete(ParametresSimulation.Selection);
    f_->FrontDOnde();
    QMdiSubWindow* s = f_->Zone()->currentSubWindow();
    QVERIFY(s->width() > s->fontMetrics().horizontalAdvance(s->windowTitle()) + 60);
  }

  void progressionCentreeLegendeEntiere() {
    TFormProgress& p = *f_->Progression();
    const std::string titre = "Reconstruction du front d'onde Polychromatique (1/1)";
    p.Demarrer(titre, 4);
    QVERIFY(p.width() > p.fontMetrics().horizontalAdvance(QString::fromStdString(titre)));
    const QPoint centre = f_->mapToGlobal(f_->rect().center());
    QVERIFY((p.geometry().center() - centre).manhattanLength() < 40);
    p.Masquer();
  }

  // At first start the whole window is on the screen, its title bar included; a secondary
  // window opens over the work area, not over the menus and tool bars.
  void placementsSurLEcran() {
    f_.reset();
    f_ = std::make_unique<TMainForm>(dossier_->filePath("Prefs.txt"));  // no session yet
    const QRect zone = ZoneDisponible(f_.get());
    QVERIFY(f_->geometry().top() >= zone.top() + HauteurTitre(f_.get()));
    QVERIFY(zone.contains(f_->geometry()));
    QCOMPARE(DansLaZone(QRect(-50, -10, 5000, 300), zone, 30).width(), zone.width() - 8);
    QCOMPARE(DansLaZone(QRect(-50, -10, 200, 300), zone, 30).topLeft(),
             zone.topLeft() + QPoint(4, 30));
    QVERIFY(zone.contains(DansLaZone(QRect(zone.right(), zone.bottom(), 200, 100), zone, 30)));
    f_->show();
    QWidget seidel(f_.get(), Qt::Window);
    seidel.resize(200, 150);
    PlacerAuPremierAffichage(seidel, *f_->centralWidget());
    seidel.show();
    const int travail = f_->centralWidget()->mapToGlobal(QPoint(0, 0)).y();
    QVERIFY2(seidel.geometry().top() >= travail,
             qPrintable(QString("%1 < %2").arg(seidel.geometry().top()).arg(travail)));
    QVERIFY(zone.contains(seidel.geometry()));
  }

  void dispositionEtFichiersRecentsGardes() {
    Ouvrir("etoile-intra.fit", false);
    Ouvrir("etoile-extra.fit", true);
    QCOMPARE(f_->Session().Recents.size(), std::size_t{2});
    f_->resize(700, 480);
    QVERIFY(f_->close());
    f_.reset();
    QVERIFY(QFile::exists(dossier_->filePath("Session.txt")));
    // Nothing of it in the preferences file.
    QFile prefs(dossier_->filePath("Prefs.txt"));
    QVERIFY(!prefs.open(QIODevice::ReadOnly) || !prefs.readAll().contains("Recent="));

    f_ = std::make_unique<TMainForm>(dossier_->filePath("Prefs.txt"));
    f_->show();
    QCOMPARE(f_->size(), QSize(700, 480));
    const auto entrees = f_->MenuRecents()->actions();
    QCOMPARE(entrees.size(), 2);
    QVERIFY(entrees[0]->text().contains(QStringLiteral("etoile-extra.fit (extrafocale)")));
    entrees[0]->trigger();  // opened again as it was: extra-focal
    QCOMPARE(f_->ListeExtra().size(), std::size_t{1});
    QVERIFY(f_->ListeIntra().empty());
  }

  // The pictures of the user guide, made through the real windows when QUELVANE_CAPTURES names
  // a folder.
  void capturesDuGuide() {
    const QString dossier = qEnvironmentVariable("QUELVANE_CAPTURES");
    if (dossier.isEmpty()) QSKIP("QUELVANE_CAPTURES not set");
    f_->resize(1280, 800);
    Ouvrir("etoile-intra.fit", false);
    Ouvrir("etoile-extra.fit", true);
    f_->Zone()->tileSubWindows();
    QCoreApplication::processEvents();
    f_->grab().save(dossier + "/paire.png");
    TFormParam& p = *f_->Parametres();
    p.PreparerAffichage();
    p.ComboBoxMode->setCurrentIndex(0);
    p.SpinEditDiametre->setValue(200);
    p.SpinEditFocale->setValue(1000);
    p.EditPixel->setText("5.2");
    p.AfficherRayons();
    p.CalculerDefocalisation();
    p.show();
    p.Pages->setCurrentIndex(1);
    QCoreApplication::processEvents();
    p.grab().save(dossier + "/parametres.png");
    p.Valider();
    f_->Reconstruire();
    QCoreApplication::processEvents();
    f_->grab().save(dossier + "/reconstruction.png");
    f_->Infos()->SpinEditAngle->setValue(30);
    f_->Interferogramme();
    for (TForm1* w : f_->Fenetres())
      if (w->windowTitle().contains(QStringLiteral("Front d'onde")))
        f_->Zone()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
    f_->Foucaultgramme();
    for (TForm1* w : f_->Fenetres())
      if (w->windowTitle().contains(QStringLiteral("Front d'onde")))
        f_->Zone()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
    f_->PSF();
    f_->Zone()->tileSubWindows();
    QCoreApplication::processEvents();
    f_->grab().save(dossier + "/simulations.png");
    TPrefs& prefs = *f_->FormePreferences();
    prefs.show();
    QCoreApplication::processEvents();
    prefs.grab().save(dossier + "/preferences.png");
    prefs.hide();
  }

  void deposerDeuxFichiers() {
    auto* donnees = new QMimeData;
    donnees->setUrls({QUrl::fromLocalFile(Echantillon("etoile-intra.fit")),
                      QUrl::fromLocalFile(Echantillon("etoile-extra.fit"))});
    QDragEnterEvent entree(QPoint(10, 10), Qt::CopyAction, donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f_.get(), &entree);
    QVERIFY(entree.isAccepted());
    QDropEvent depot(QPointF(10, 10), Qt::CopyAction, donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f_.get(), &depot);
    QCOMPARE(f_->ListeIntra().size(), std::size_t{1});
    QCOMPARE(f_->ListeExtra().size(), std::size_t{1});
    // A file that is not an image: the usual message, nothing opened.
    donnees->setUrls({QUrl::fromLocalFile(dossier_->filePath("absent.fit"))});
    QDragEnterEvent entree2(QPoint(10, 10), Qt::CopyAction, donnees, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(f_.get(), &entree2);
    QDropEvent autre(QPointF(10, 10), Qt::CopyAction, donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f_.get(), &autre);
    QVERIFY(!d_->Messages.isEmpty());
    QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Format d'image incompatible")));
    QCOMPARE(f_->Fenetres().size(), std::size_t{2});
    delete donnees;
  }
};

QTEST_MAIN(DispositionTest)
#include "disposition_test.moc"
