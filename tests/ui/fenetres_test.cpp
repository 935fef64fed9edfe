// The real windows driven headless (offscreen platform), the dialogs answered by script.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <deque>
#include <map>

#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/aide.h"
#include "ui/dialogue_preferences.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"

using namespace quelvane;
using namespace quelvane::essais;

namespace {

void Purger() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class FenetresTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir prefs_;
  std::unique_ptr<TMainForm> f_;

 private slots:
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_, false);
    f_ = FenetrePrincipale(prefs_.filePath("Prefs.txt"));
  }
  void cleanup() {
    f_.reset();
    Purger();
    installes_.reset();
  }

  void titreEtMenus() {
    QCOMPARE(f_->windowTitle(), QStringLiteral("Quelvane 3.0"));
    QStringList menus;
    for (QAction* a : f_->menuBar()->actions()) menus << a->text();
    QCOMPARE(menus, (QStringList{"&Fichier", "&Edition", "Fe&nêtre", "Image", "Saisie", "Calcul",
                                 "Résultats", "Préférences", "&Aide"}));
    QCOMPARE(f_->Action("&Ouvrir")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(f_->Action("Ouvrir comme extrafocale")->shortcut(), QKeySequence("Ctrl+Alt+O"));
    QVERIFY(!f_->Action("&Ouvrir")->statusTip().isEmpty());
    QCOMPARE(f_->BoiteZoom()->currentText(), QStringLiteral("100%"));
  }

  void ouvrirIntraEtExtra() {
    d_->Fichiers = {Echantillon("etoile-intra.fit"), Echantillon("etoile-extra.fit")};
    f_->Ouvrir();
    f_->OuvrirExtrafocale();
    QCOMPARE(d_->Messages, (QStringList{"Ouvrir une image", "Ouvrir une image extrafocale"}));
    QVERIFY(d_->Filtres.first().contains("*.fit"));
    const auto fenetres = f_->Fenetres();
    QCOMPARE(fenetres.size(), std::size_t{2});
    QCOMPARE(fenetres[0]->windowTitle(), QStringLiteral("etoile-intra.fit"));
    QCOMPARE(fenetres[0]->Champ()->Role, RoleIntra);
    QCOMPARE(fenetres[1]->Champ()->Role, RoleExtra);
    QCOMPARE(f_->ListeIntra().size(), std::size_t{1});
    QCOMPARE(f_->ListeExtra().front().Legende, QStringLiteral("etoile-extra.fit"));
    QCOMPARE(f_->FenetreActive(), fenetres[1]);
    QVERIFY(fenetres[0]->Champ()->RayonPupille > 60);
    QCOMPARE(fenetres[0]->Image().size(), QSize(256, 256));
    if (qEnvironmentVariableIsSet("QUELVANE_CAPTURES")) {
      f_->resize(900, 700);
      f_->grab().save(qEnvironmentVariable("QUELVANE_CAPTURES") + "/principale.png");
    }
  }

  void formatIncompatible() {
    QTemporaryDir dossier;
    const QString faux = dossier.filePath("faux.fit");
    QFile f(faux);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("SIMPLE  =                    F");
    f.close();
    d_->Fichiers = {faux, std::nullopt};
    f_->Ouvrir();
    // The file and why, not only that the format is not read.
    QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Format d'image incompatible")));
    QVERIFY(d_->Messages.last().contains(QStringLiteral("faux.fit")));
    QVERIFY(f_->Fenetres().empty());
    f_->Ouvrir();  // cancelled: nothing
    QVERIFY(f_->Fenetres().empty());
    QVERIFY(f_->ListeIntra().empty());
  }

  void pixelsDePalette() {
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    TForm1* w = f_->FenetreActive();
    w->Champ()->MasqueVisible = 1;
    w->Visualiser();
    QCOMPARE(w->Image().pixelColor(0, 0), QColor(0, 0, 255));  // grey palette background
    w->Champ()->Palette = 5;
    TForm1::Palettes().LongueurOnde = 633;
    w->Champ()->MasqueVisible = 0;
    w->Champ()->SeuilBas = w->Champ()->Mini;
    w->Champ()->SeuilHaut = w->Champ()->Mini + 1;  // everything above saturates
    w->Visualiser();
    const QPoint centre(static_cast<int>(w->Champ()->CentreX) + 50,
                        static_cast<int>(w->Champ()->CentreY));
    QCOMPARE(w->Image().pixelColor(centre), QColor(255, 66, 0));
    TForm1::Palettes().LongueurOnde = 0;
  }

  void zoomEtLecture() {
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    TForm1* w = f_->FenetreActive();
    f_->ChangerZoom(1);  // 50%
    QCOMPARE(w->IndiceZoom, 1);
    QVERIFY(w->ImageMouseMove(63, 63));
    QCOMPARE(w->ValeurCurseur, w->Champ()->V(127, 127));  // sample (128, 128)
    QVERIFY(!w->ImageMouseMove(200, 5));
    f_->ChangerZoom(6);
    f_->ZoomPlus();
    QCOMPARE(f_->BoiteZoom()->currentText(), QStringLiteral("300%"));
    f_->ChangerZoom(0);
    f_->ZoomMoins();
    QCOMPARE(f_->BoiteZoom()->currentText(), QStringLiteral("25%"));
  }

  void symetrieEtSeuil() {
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    TForm1* w = f_->FenetreActive();
    const double avant = w->Champ()->V(10, 20);
    f_->Symetrie();
    QCOMPARE(w->Champ()->Role, RoleExtra);
    f_->Symetrie();
    QCOMPARE(w->Champ()->Role, RoleIntra);
    QCOMPARE(w->Champ()->V(10, 20), avant);
    w->ImageMouseMove(static_cast<int>(w->Champ()->CentreX), 5);
    w->SeuilACetteValeur();
    QCOMPARE(w->Champ()->Seuil, w->ValeurCurseur);
    QCOMPARE(w->Champ()->M(100, 100) == 1, w->Champ()->V(100, 100) >= w->ValeurCurseur);
  }

  void fermetures() {
    d_->Fichiers = {Echantillon("etoile-intra.fit"), Echantillon("etoile-extra.fit")};
    f_->Ouvrir();
    f_->OuvrirExtrafocale();
    d_->Reponses = {false};
    f_->Fermer();
    QCOMPARE(d_->Messages.last(), QStringLiteral("Fermer l'image etoile-extra.fit ?"));
    QCOMPARE(f_->Fenetres().size(), std::size_t{2});
    d_->Reponses = {true};
    f_->Fermer();
    Purger();
    QCOMPARE(f_->Fenetres().size(), std::size_t{1});
    QVERIFY(f_->ListeExtra().empty());
    QCOMPARE(f_->ListeIntra().size(), std::size_t{1});

    d_->Reponses = {true};
    f_->FermerFamille(1);  // wavefronts: none
    QCOMPARE(d_->Messages.last(), QStringLiteral("Fermer les images de la famille Front d'onde ?"));
    Purger();
    QCOMPARE(f_->Fenetres().size(), std::size_t{1});
    d_->Reponses = {true};
    f_->FermerFamille(0);
    Purger();
    QVERIFY(f_->Fenetres().empty());
    QVERIFY(f_->ListeIntra().empty());
  }

  void nouveauTestEtSortie() {
    f_->NouveauTest();  // nothing open: no question
    QVERIFY(d_->Messages.empty());
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    ParametresTest.DistanceFocale = 5;
    d_->Reponses = {true};
    f_->NouveauTest();
    Purger();
    QCOMPARE(d_->Messages.last(), QStringLiteral("Fermer toutes les images ?"));
    QVERIFY(f_->Fenetres().empty());
    QCOMPARE(ParametresTest.DistanceFocale, 0.0);

    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    d_->Reponses = {false};
    QVERIFY(!f_->close());
    QCOMPARE(
        d_->Messages.last(),
        QStringLiteral("Souhaitez-vous quitter Quelvane 3.0 ? Toutes les données seront perdues."));
    d_->Reponses = {true};
    QVERIFY(f_->close());
  }

  void sortieSansImage() {
    QVERIFY(f_->close());
    QVERIFY(d_->Messages.empty());
  }

  void impressionEnPdf() {
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    QTemporaryDir dossier;
    d_->Pdf = dossier.filePath("image.pdf");
    f_->FenetreActive()->Imprimer();
    QVERIFY(QFileInfo(d_->Pdf).size() > 1000);
    QCOMPARE(TailleImpression(100, 50, 1000, 2000), QSize(1000, 500));
    QCOMPARE(TailleImpression(50, 100, 1000, 1000), QSize(500, 1000));
    QCOMPARE(TailleImpression(4000, 1000, 1000, 1000), QSize(1000, 250));
  }

  void progressionEtAide() {
    TFormProgress& p = *f_->Progression();
    p.Demarrer("Reconstruction du front d'onde Polychromatique (1/1)", 1);
    for (int i = 0; i < 80; ++i) p.Avancer();
    QCOMPARE(p.Barre()->value(), 80);
    p.Terminer();
    QCOMPARE(p.Barre()->value(), 100);
    p.Masquer();

    QTemporaryDir dossier;
    for (const char* nom : {"index.html", "astigmatisme.html"}) {
      QFile f(dossier.filePath(nom));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray("<html><body><a href=\"astigmatisme.html\">lien</a> ") + nom +
              "</body></html>");
    }
    Preferences.FichierAide = dossier.filePath("index.html").toStdString();
    TFormAide& a = *f_->Aide();
    a.Navigateur()->clearHistory();
    f_->Documentation();
    QVERIFY(!a.Precedent()->isEnabled());
    a.AfficherRubrique(4);
    QVERIFY(a.Navigateur()->toPlainText().contains("astigmatisme.html"));
    QVERIFY(a.Precedent()->isEnabled());
    a.Precedent()->click();
    QVERIFY(a.Suivant()->isEnabled());
    a.AfficherRubrique(6);  // no page: nothing changes
    QVERIFY(a.Navigateur()->toPlainText().contains("index.html"));
  }

  // One action per key in the whole window: an ambiguous F1 or Ctrl+S made Qt run neither.
  // F1 on the coefficient list gives its term's page, elsewhere the guide; asked from the
  // preferences dialog, the help comes in front of it, usable.
  void raccourcisUniquesEtAideDevant() {
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    std::map<QString, QStringList> parTouche;
    for (QAction* a : f_->findChildren<QAction*>()) {
      // The window the action lives in (a menu is a popup of its window).
      const QWidget* w = qobject_cast<QWidget*>(a->parent());
      while (w && w->parentWidget() && (w->windowType() == Qt::Popup || !w->isWindow()))
        w = w->parentWidget();
      if (w != f_.get()) continue;  // another window's own keys
      for (const QKeySequence& k : a->shortcuts()) parTouche[k.toString()] << a->text();
    }
    for (const auto& [touche, actions] : parTouche)
      QVERIFY2(actions.size() == 1, qPrintable(touche + " : " + actions.join(", ")));
    QVERIFY(parTouche.count(QStringLiteral("F1")));

    Preferences.FichierAide.clear();
    TFormAide& a = *f_->Aide();
    f_->Documentation();
    QVERIFY(a.isVisible());
    QCOMPARE(a.parentWidget(), f_.get());
    a.hide();
    f_->FormePreferences()->ButtonAide->click();
    QVERIFY(a.isVisible());
    QCOMPARE(a.parentWidget(), static_cast<QWidget*>(f_->FormePreferences()));
    QVERIFY(a.Navigateur()->source().toLocalFile().endsWith(QStringLiteral("preferences.htm")));
    f_->Documentation();  // back with the main window
    QCOMPARE(a.parentWidget(), f_.get());
  }

  // Minimised while a question waits, the program would run with nothing on screen: the main
  // window comes back with the question in front.
  void jamaisToutMinimiseSousUneQuestion() {
    f_->show();
    QMessageBox question(QMessageBox::Question, QStringLiteral("Quelvane"), QStringLiteral("?"),
                         QMessageBox::Yes | QMessageBox::No, f_.get());
    question.setWindowModality(Qt::ApplicationModal);
    question.show();
    QCOMPARE(QApplication::activeModalWidget(), &question);
    f_->showMinimized();
    QTRY_VERIFY(!f_->isMinimized());
    QVERIFY(question.isVisible());
  }

  // A newcomer's first start: the sample pair opened with its instrument, ready to reconstruct;
  // again from "Aide" later, after a question when images are open.
  void testDeDemonstration() {
    {
      QTemporaryDir neuf;
      QVERIFY(FenetrePrincipale(neuf.filePath("Prefs.txt"))->PremierDemarrage());
    }
    f_->Action("Test de démonstration")->trigger();
    QCOMPARE(f_->Fenetres().size(), 2u);
    QVERIFY(ParametresTest.ParametresValides);
    QVERIFY(std::abs(ParametresTest.Defocalisation / 1e6 - 3.64) < 0.15);
    QCOMPARE(ParametresTest.ImageExtra->Role, RoleExtra);
    d_->Reponses = {false};
    f_->Action("Test de démonstration")->trigger();
    QCOMPARE(f_->Fenetres().size(), 2u);  // declined: nothing closed, nothing added
    d_->Reponses = {true};
    f_->Action("Test de démonstration")->trigger();
    QCOMPARE(f_->Fenetres().size(), 2u);
    QVERIFY(ParametresTest.ParametresValides);
  }

  void guideLivreAvecLeProgramme() {
    // No home page in the preferences: F1 opens the guide that comes with the program.
    Preferences.FichierAide.clear();
    const QString accueil = AccueilAideParDefaut();
    QVERIFY(!accueil.isEmpty());
    TFormAide& a = *f_->Aide();
    f_->Documentation();
    QVERIFY(a.Navigateur()->toPlainText().contains(QStringLiteral("guide de l'utilisateur")));
    a.AfficherAidePreferences();
    QVERIFY(a.Navigateur()->source().toLocalFile().endsWith(QStringLiteral("preferences.htm")));
    a.AfficherRubrique(4);
    QVERIFY(a.Navigateur()->source().toLocalFile().endsWith(QStringLiteral("astigmatisme.html")));
    // Every link and picture of the guide leads to a file of the guide.
    const QDir dossier = QFileInfo(accueil).dir();
    const QRegularExpression cible(QStringLiteral("(?:href|src)=\"([^\"#:]+)\""));
    for (const QString& page : dossier.entryList({"*.html", "*.htm"})) {
      QFile f(dossier.filePath(page));
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QString texte = QString::fromUtf8(f.readAll());
      for (auto m = cible.globalMatch(texte); m.hasNext();) {
        const QString lien = m.next().captured(1);
        QVERIFY2(QFileInfo::exists(dossier.filePath(lien)), qPrintable(page + " → " + lien));
      }
    }
  }
};

QTEST_MAIN(FenetresTest)
#include "fenetres_test.moc"
