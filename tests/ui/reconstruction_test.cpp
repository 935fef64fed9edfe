// The whole road of a test through the real menus: open, parameters, reconstruct, the
// coefficient list, the three-colour road.

#include "analysis/reconstruction.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <deque>

#include "analysis/preparation.h"
#include "files/fits.h"
#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/coefficients.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/fenetres_resultats.h"
#include "ui/panneau_infos.h"

using namespace quelvane;
using namespace quelvane::essais;

class ReconstructionTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir dossier_;
  std::unique_ptr<TMainForm> f_;

  void OuvrirPaire(int fois = 1) {
    for (int i = 0; i < fois; ++i) {
      d_->Fichiers = {Echantillon("etoile-intra.fit"), Echantillon("etoile-extra.fit")};
      f_->Ouvrir();
      f_->OuvrirExtrafocale();
    }
  }
  void Parametres(int mode) { SaisirParametresEchantillon(*f_->Parametres(), mode); }
  TForm1* FenetreNommee(const QString& legende) const {
    return essais::FenetreNommee(*f_, legende);
  }

 private slots:
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_);
    f_ = FenetrePrincipale(dossier_.filePath("Prefs.txt"));
  }
  void cleanup() { Demonter(f_, installes_); }

  void refusSansParametres() {
    f_->Reconstruire();
    QVERIFY(d_->Messages.last().startsWith(
        QStringLiteral("Vous devez ouvrir les images et/ou saisir les paramètres")));
    f_->Roddier();  // no test: nothing
    f_->FrontResiduel();
    QVERIFY(f_->Fenetres().empty());
    // With the intra image only: the message says what is missing.
    d_->Fichiers = {Echantillon("etoile-intra.fit")};
    f_->Ouvrir();
    f_->Reconstruire();
    const QString m = d_->Messages.last();
    QVERIFY(m.contains(QStringLiteral("l'image extrafocale")));
    QVERIFY(!m.contains(QStringLiteral("l'image intrafocale")));
    QVERIFY(m.contains(QStringLiteral("les paramètres du test")));
  }

  void routeComplete() {
    OuvrirPaire();
    Parametres(0);
    QVERIFY(ParametresTest.ParametresValides);
    QVERIFY(std::abs(ParametresTest.Defocalisation / 1e6 - 3.64) < 0.15);
    f_->Signal();
    QVERIFY(FenetreNommee("Signal"));
    f_->Action("Reconstruire le front d'onde")->trigger();
    TForm1* w = FenetreNommee("Polychromatique Front d'onde");
    QVERIFY(w);
    TPupille& front = *w->Champ();
    QCOMPARE(front.Role, RoleFront);
    QCOMPARE(front.Couleur, 0);
    QVERIFY(std::abs(front.Coefficients[10] - 60) < 10);
    QVERIFY(front.Coefficients[6] < 0);

    // The same pair through the engine directly gives the same coefficients.
    TPupille a, b;
    QVERIFY(ChargerFITS(a, Echantillon("etoile-intra.fit").toStdString()).Reussi());
    QVERIFY(ChargerFITS(b, Echantillon("etoile-extra.fit").toStdString()).Reussi());
    PreparerImage(a, Preferences, false);
    PreparerImage(b, Preferences, true);
    TParametresTest p = ParametresTest;
    p.ImageIntra = &a;
    p.ImageExtra = &b;
    TSansProgression sans;
    const auto direct = ReconstruireSimple(p, Preferences, JeuZernike(), sans);
    for (int j = 0; j < 22; ++j)
      QCOMPARE(direct->FrontOnde->Coefficients[j], front.Coefficients[j]);

    TForm3& c = *f_->Coefficients();
    QCOMPARE(c.ListViewZern->topLevelItemCount(), 23);
    QCOMPARE(c.ListViewZern->topLevelItem(22)->text(0), QStringLiteral("Ordres sup."));
    QCOMPARE(c.ListViewZern->topLevelItem(10)->text(1), QStringLiteral("Z11 (4,0)"));
    for (int j : {0, 1, 2, 3, 6, 7, 15, 16})
      QCOMPARE(c.ListViewZern->topLevelItem(j)->checkState(0), Qt::Unchecked);
    QCOMPARE(c.ListViewZern->topLevelItem(10)->checkState(0), Qt::Checked);

    const TPupille mesure = front;
    c.ListViewZern->topLevelItem(10)->setCheckState(0, Qt::Unchecked);  // Z11 off
    QVERIFY(!front.Selection[10]);
    const int r = static_cast<int>(front.CentreY) - 1,
              col = static_cast<int>(front.CentreX) - 1 + 20;
    QVERIFY(std::abs(front.V(r, col) - mesure.V(r, col)) > 1e-3);
    c.ListViewZern->topLevelItem(10)->setCheckState(0, Qt::Checked);
    for (int i = 0; i < front.NY; ++i)
      for (int k = 0; k < front.NX; ++k) QVERIFY(std::abs(front.V(i, k) - mesure.V(i, k)) < 1e-9);

    const TPupille avant = front;
    c.ListViewZern->topLevelItem(22)->setCheckState(0, Qt::Unchecked);  // model only
    QVERIFY(!front.OrdresSup);
    QVERIFY(w->FrontSource());
    c.ListViewZern->topLevelItem(22)->setCheckState(0, Qt::Checked);
    QVERIFY(front.OrdresSup);
    QVERIFY(!w->FrontSource());
    for (int i = 0; i < front.NY; ++i)
      for (int k = 0; k < front.NX; ++k) QVERIFY(front.V(i, k) == avant.V(i, k));

    c.ListViewZern->setCurrentItem(c.ListViewZern->topLevelItem(10));
    c.SelectionnerCetteAberration();
    QCOMPARE(c.ListViewZern->topLevelItem(10)->checkState(0), Qt::Checked);
    QCOMPARE(c.ListViewZern->topLevelItem(22)->checkState(0), Qt::Unchecked);
    QCOMPARE(c.ListViewZern->topLevelItem(4)->checkState(0), Qt::Unchecked);

    d_->Fichiers = {dossier_.filePath("coefs")};
    c.EnregistrerCoefficients();
    QFile fichier(dossier_.filePath("coefs.txt"));
    QVERIFY(fichier.open(QIODevice::ReadOnly));
    const QStringList lignes =
        QString::fromUtf8(fichier.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lignes.size(), 22);
    QVERIFY(lignes[10].startsWith("11;Sphéricité;"));

    f_->FrontResiduel();
    QVERIFY(FenetreNommee("Front résiduel"));
    // A wavefront of the same light: its Strehl ratio is known, not 0 for want of a wavelength.
    TPupille& residu = *FenetreNommee("Front résiduel")->Champ();
    QCOMPARE(residu.Lambda, Preferences.LambdaRef);
    QVERIFY(f_->Infos()->LabelStrehl->text() != QStringLiteral("S = 0.00"));
    f_->ImagesApresCorrection();
    QVERIFY(FenetreNommee("Intra corrigée") && FenetreNommee("Extra corrigée"));
    // Closing the wavefront window leaves the test whole.
    d_->Messages.clear();
    w->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f_->TestCourant()->FrontOnde);
  }

  void commandesQuiDisentPourquoi() {
    // On a star image, the commands that need a wavefront say so instead of doing something
    // else (a "PSF" of the star's intensity) or nothing.
    OuvrirPaire();
    f_->PSF();
    QCOMPARE(d_->Messages.last(),
             QStringLiteral("Action impossible. Sélectionnez un front d'onde."));
    d_->Messages.clear();
    f_->Seidel();
    QCOMPARE(d_->Messages.last(),
             QStringLiteral("Action impossible. Sélectionnez un front d'onde."));
    f_->EditerRapport();
    QVERIFY(d_->Messages.last().contains(QStringLiteral("Reconstruisez d'abord")));
    f_->FrontDOnde();
    QVERIFY(d_->Messages.last().contains(QStringLiteral("Paramètres des simulations")));
    QVERIFY(!FenetreNommee("PSF réelle"));

    // The FFT of an image shows its power spectrum, not a black square.
    f_->CalculFFT();
    TForm1* fft = FenetreNommee("FFT");
    QVERIFY(fft);
    QVERIFY(fft->Champ()->Maxi > fft->Champ()->Mini);
    int clairs = 0;
    const QImage& image = fft->Image();
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) clairs += qGray(image.pixel(x, y)) > 40;
    QVERIFY(clairs > image.width() * image.height() / 20);

    // "Roddier" on the signal of a pair whose parameters were entered: the lengths are the test
    // parameters'.
    Parametres(0);
    f_->Signal();
    const int messages = d_->Messages.size();
    f_->Roddier();
    QCOMPARE(d_->Messages.size(), messages);
    QVERIFY(FenetreNommee("Front résiduel"));
  }

  void troisCouleurs() {
    // Asked for too early, the table says what a three-colour test needs.
    f_->Trichromie();
    QVERIFY(d_->Messages.last().contains(QStringLiteral("mode polychromatique")));
    // A colour without its wavelength (a file of an older version): refused, named.
    Preferences.LambdaB = 0;
    Preferences.NIter = 1;
    OuvrirPaire(3);
    Parametres(1);
    f_->Reconstruire();
    QVERIFY(d_->Messages.last().contains(QStringLiteral("bleu 0 nm")));
    QVERIFY(!FenetreNommee("Bleu Front d'onde"));
    d_->Reponses = {true};
    f_->NouveauTest();
    QVERIFY(f_->Fenetres().empty());
    Preferences.LambdaB = 470;
    Preferences.LambdaV = 540;
    Preferences.LambdaR = 640;
    Preferences.NIter = 1;
    OuvrirPaire(3);
    Parametres(1);
    QVERIFY(ParametresTest.ParametresValides);
    f_->Reconstruire();
    for (const char* n : {"Bleu Front d'onde", "Vert Front d'onde", "Rouge Front d'onde"})
      QVERIFY(FenetreNommee(n));
    QCOMPARE(FenetreNommee("Vert Front d'onde")->Champ()->Coefficients[3], 0.0);
    QCOMPARE(FenetreNommee("Rouge Front d'onde")->Champ()->Couleur, 3);
    QCOMPARE(FenetreNommee("Bleu Front d'onde")->Champ()->Lambda, 470.0);
    QCOMPARE(ParametresTest.ImageIntra, ParametresTest.IntraRouge);
    QVERIFY(Preferences.AjustAuto);
    QVERIFY(Preferences.SubTiltFocus);
    // The table of the three colours: the green focus is the origin, the weights 1, 1, 1 give
    // the mean Strehl.
    f_->Trichromie();
    TFormRVB& t = *f_->FormeRVB();
    QVERIFY(t.isVisible());
    QCOMPARE(t.ListViewRVB->topLevelItem(1)->text(0), QStringLiteral("Foyers (mm)"));
    QCOMPARE(t.ListViewRVB->topLevelItem(1)->text(2), QStringLiteral("0.000"));
    double moyenne = 0;
    for (int c = 1; c <= 3; ++c) moyenne += t.ListViewRVB->topLevelItem(5)->text(c).toDouble() / 3;
    QVERIFY(std::abs(t.Edit1->text().toDouble() - moyenne) < 0.002);
    QVERIFY(t.LabelChromatisme->text().contains("mm"));
  }

  void frontSimule() {
    f_->FrontDOnde();  // never confirmed: nothing
    QVERIFY(f_->Fenetres().empty());
    TFormSaisieZern s(f_.get(), false);
    s.EditZ[11]->setText("10");
    s.ComboBoxDim->setCurrentIndex(1);
    s.SpinEditRayon->setValue(50);
    s.ValiderSaisie();
    QCOMPARE(ParametresSimulation.Dimension, 128);
    QVERIFY(std::abs(ParametresSimulation.Coefficients[10] - 10 * std::sqrt(5.0)) <
            1e-9);  // entered nm RMS
    f_->FrontDOnde();
    TForm1* w = FenetreNommee("Front d'onde");
    QVERIFY(w);
    QCOMPARE(w->Champ()->Role, RoleFront);
    QVERIFY(std::abs(w->Champ()->V(63, 63 + 50) - 10 * std::sqrt(5.0)) < 1e-6);  // r = 1
    QCOMPARE(f_->Coefficients()->ListViewZern->topLevelItemCount(), 23);
  }

  void annulerLaSimulationNeChangeRien() {
    ParametresSimulation.Obstruction = 0.25;
    {
      TFormSaisieZern s(f_.get(), false);
      s.SpinEditObstruction->setValue(60);  // the thumbnails follow, the parameters do not
      s.reject();
    }
    QCOMPARE(ParametresSimulation.Obstruction, 0.25);
  }

  void alertesAnnuleesOuValidees() {
    Preferences.ValeursAlerte[10] = 7;
    {
      TFormSaisieZern s(f_.get(), true);
      QVERIFY(!s.GroupBoxImages->isVisibleTo(&s));
      QCOMPARE(s.windowTitle(), QStringLiteral("Saisir les valeurs d'alerte"));
    }
    QCOMPARE(Preferences.ValeursAlerte[10], 7.0);
    // Confirmed alert values come back from the form; the simulation's coefficients stay.
    Preferences.NormRMS = 0;
    ParametresSimulation.Coefficients[10] = 123;
    TFormSaisieZern s(f_.get(), true);
    s.EditZ[11]->setText(QStringLiteral("15"));
    s.ValiderSaisie();
    QCOMPARE(s.Saisis[10], 15.0);
    QCOMPARE(ParametresSimulation.Coefficients[10], 123.0);
  }
};

QTEST_MAIN(ReconstructionTest)
#include "reconstruction_test.moc"
