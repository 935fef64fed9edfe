// Tests kept in files through the windows: saved and opened again to the same figures, a
// damaged file refused with every window kept, averaged at two angles, subtracted, followed
// as a trend, and made by watching a folder.

#include <QAction>
#include <QChartView>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/fenetres_tests.h"

using namespace quelvane;
using namespace quelvane::essais;

class TestsEnregistresTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir dossier_;
  std::unique_ptr<TMainForm> f_;

  // The sample pair reconstructed with the optic at `rotation`, saved as `nom`.
  TForm1* TestEnregistre(const QString& nom, const QString& rotation) {
    d_->Fichiers = {Echantillon("etoile-intra.fit"), Echantillon("etoile-extra.fit")};
    f_->Ouvrir();
    f_->OuvrirExtrafocale();
    f_->Parametres()->EditRotation->setText(rotation);
    SaisirParametresEchantillon(*f_->Parametres(), 0);
    f_->Reconstruire();
    // The newest window of that name: an earlier test's may still be open.
    TForm1* w = nullptr;
    for (TForm1* f : f_->Fenetres())
      if (f->windowTitle() == QStringLiteral("Polychromatique Front d'onde")) w = f;
    if (!w) return nullptr;
    f_->Zone()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
    d_->Fichiers = {dossier_.filePath(nom)};
    f_->Action(QStringLiteral("Enregistrer le test"))->trigger();
    return w;
  }

 private slots:
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_);
    f_ = FenetrePrincipale(dossier_.filePath("Prefs.txt"));
  }
  void cleanup() { Demonter(f_, installes_); }

  void enregistreEtRouvert() {
    TForm1* w = TestEnregistre(QStringLiteral("a.qvt"), QStringLiteral("0"));
    QVERIFY(w);
    QVERIFY(QFile::exists(dossier_.filePath("a.qvt")));
    const TPupille avant = *w->Champ();
    d_->Fichiers = {dossier_.filePath("a.qvt")};
    f_->Action(QStringLiteral("Ouvrir un test"))->trigger();
    TForm1* r = FenetreNommee(*f_, QStringLiteral("Test a.qvt"));
    QVERIFY(r);
    const TPupille& apres = *r->Champ();
    for (int j = 0; j < NMaxZern; ++j) QCOMPARE(apres.Coefficients[j], avant.Coefficients[j]);
    QCOMPARE(apres.Selection, avant.Selection);
    QVERIFY(apres.Variantes);
    // The simulations know its instrument: a PSF from the reopened test.
    f_->PSF();
    QVERIFY(!f_->Fenetres().empty());

    // A damaged file: said, and every window stays as it was.
    QFile coupe(dossier_.filePath("coupe.qvt"));
    QVERIFY(coupe.open(QIODevice::WriteOnly));
    coupe.write("{\"format\": \"quelvane-test\", \"version\": 1, \"nat");
    coupe.close();
    const auto n = f_->Fenetres().size();
    d_->Fichiers = {dossier_.filePath("coupe.qvt")};
    f_->OuvrirUnTest();
    QVERIFY(d_->Messages.last().contains(QStringLiteral("illisible")));
    QCOMPARE(f_->Fenetres().size(), n);
    // Nothing to save from an image.
    TForm1* image = FenetreNommee(*f_, QStringLiteral("etoile-intra.fit"));
    if (image) {
      f_->Zone()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(image->parentWidget()));
      f_->EnregistrerLeTest();
      QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Action impossible")));
    }
  }

  void moyenneDifferenceTendance() {
    QVERIFY(TestEnregistre(QStringLiteral("a0.qvt"), QStringLiteral("0")));
    QVERIFY(TestEnregistre(QStringLiteral("a90.qvt"), QStringLiteral("90")));
    d_->Series = {QStringList{dossier_.filePath("a0.qvt"), dossier_.filePath("a90.qvt")}};
    d_->Reponses = {true};  // separate the stand's terms
    f_->Action(QStringLiteral("Moyenne de tests"))->trigger();
    QVERIFY(FenetreNommee(*f_, QStringLiteral("Moyenne de 2 tests")));
    QVERIFY(f_->FormeBanc() && f_->FormeBanc()->isVisible());
    QVERIFY(f_->FormeBanc()->Table->rowCount() > 0);

    d_->Fichiers = {dossier_.filePath("a0.qvt"), dossier_.filePath("a0.qvt")};
    f_->Action(QStringLiteral("Différence de deux tests"))->trigger();
    TForm1* d = FenetreNommee(*f_, QStringLiteral("Différence a0.qvt - a0.qvt"));
    QVERIFY(d);
    QVERIFY(std::abs(d->Champ()->Coefficients[10]) < 1e-9);

    d_->Series = {QStringList{dossier_.filePath("a0.qvt"), dossier_.filePath("a90.qvt")}};
    f_->Action(QStringLiteral("Tendance"))->trigger();
    QVERIFY(f_->FormeTendance() && f_->FormeTendance()->isVisible());
    QCOMPARE(f_->FormeTendance()->Points().size(), std::size_t{2});
    d_->Fichiers = {dossier_.filePath("nuit.csv")};
    f_->FormeTendance()->ExporterCSV();
    QVERIFY(QFile::exists(dossier_.filePath("nuit.csv")));

    // A single test is no average.
    d_->Series = {QStringList{dossier_.filePath("a0.qvt")}};
    f_->MoyenneDeTests();
    QVERIFY(d_->Messages.last().contains(QStringLiteral("au moins deux")));
  }

  void dossierSurveille() {
    f_->SurveillerUnDossier();  // no parameters yet
    QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Saisissez d'abord")));
    QVERIFY(!f_->SurveillanceActive());
    d_->Fichiers = {Echantillon("etoile-intra.fit"), Echantillon("etoile-extra.fit")};
    f_->Ouvrir();
    f_->OuvrirExtrafocale();
    SaisirParametresEchantillon(*f_->Parametres(), 0);
    const QString capture = dossier_.filePath("capture");
    std::filesystem::create_directory(capture.toStdString());
    d_->Dossiers = {capture};
    f_->StabiliteSurveillance = 0;
    f_->SurveillerUnDossier();
    QVERIFY(f_->SurveillanceActive());
    QVERIFY(f_->Action(QStringLiteral("Arrêter la surveillance")));
    QFile::copy(Echantillon("etoile-intra.fit"), capture + "/nuit_intra_1.fit");
    QFile::copy(Echantillon("etoile-extra.fit"), capture + "/nuit_extra_1.fit");
    f_->ExaminerDossierSurveille();  // seen
    f_->ExaminerDossierSurveille();  // unchanged: complete, reconstructed
    QVERIFY(QFile::exists(capture + "/nuit_1.qvt"));
    QVERIFY(FenetreNommee(*f_, QStringLiteral("Surveillance nuit_1.qvt")));
    QCOMPARE(f_->FormeTendance()->Points().size(), std::size_t{1});
    // The folder goes away: the watch stops and says why.
    std::filesystem::remove_all(capture.toStdString());
    f_->ExaminerDossierSurveille();
    QVERIFY(!f_->SurveillanceActive());
    QVERIFY(d_->Messages.last().contains(QStringLiteral("n'existe plus")));
  }
};

QTEST_MAIN(TestsEnregistresTest)
#include "tests_enregistres_test.moc"
