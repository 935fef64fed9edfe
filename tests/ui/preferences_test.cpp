// The preferences dialog through its own controls: every value to the file and back, Cancel
// leaving memory and file untouched, either decimal separator, refusals, previews, folders, and
// the windows following on close.

#include "settings/preferences.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/regional.h"
#include "settings/parametres.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/coefficients.h"
#include "ui/dialogue_preferences.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"

using namespace quelvane;
using namespace quelvane::essais;

namespace {

QByteArray Octets(const QString& chemin) {
  QFile f(chemin);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TCouleur24 PixelDe(const QLabel* l, int x, int y) {
  const QImage i = l->pixmap().toImage();
  const QRgb c = i.pixel(x, y);
  return {static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
          static_cast<std::uint8_t>(qBlue(c))};
}

}  // namespace

class PreferencesTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir dossier_;
  std::unique_ptr<TMainForm> f_;
  TPrefs* p_ = nullptr;
  QString Chemin() const { return dossier_.filePath("Prefs.txt"); }

 private slots:
  void init() {
    RemettreLesGlobales();
    QFile::remove(Chemin());
    installes_ = InstallerDialogues(d_, false);
    f_ = std::make_unique<TMainForm>(Chemin());
    f_->show();
    p_ = f_->FormePreferences();
    p_->show();
  }
  void cleanup() {
    p_->hide();
    Demonter(f_, installes_);
  }

  void chaqueValeurVaAuFichierEtRevient() {
    QCOMPARE(p_->windowTitle(), QStringLiteral("Préférences"));
    QCOMPARE(p_->Pages->count(), 6);
    for (int i = 0; i < 4; ++i) p_->ComboBoxPalette[i]->setCurrentIndex(5 - i);
    p_->CheckBoxMasqueActif->setChecked(false);
    p_->ComboBoxFactMultDiff->setCurrentIndex(3);
    p_->ComboBoxExtractDim->setCurrentText(QStringLiteral("64"));
    p_->SpinEditExtractSeuil->setValue(35);
    p_->CheckBoxExtractAuto->setChecked(false);
    p_->CheckBoxCorrectionFond->setChecked(false);
    p_->SpinEditNIter->setValue(7);
    p_->CheckBoxBreakCondition->setChecked(true);
    p_->EditRMSFront->setText(QStringLiteral("0.5"));
    p_->EditLambdaRef->setText(QStringLiteral("632.8"));
    p_->EditLambdaInterfero->setText(QStringLiteral("633"));
    p_->ComboBoxOriginFoc->setCurrentIndex(2);
    for (int k = 0; k < 3; ++k) {
      p_->EditLambda[k]->setText(QString::number(470 + 80 * k));
      p_->EditPoids[k]->setText(QString::number(k + 2));
    }
    for (int i = 0; i < 8; ++i) p_->SpinEditNDec[i]->setValue(i % 5);
    p_->ComboBoxModePoly->setCurrentIndex(1);
    p_->SpinEditNPolyZern->setValue(36);
    p_->ComboBoxNormRMS->setCurrentIndex(0);
    p_->CheckBoxAjustAuto->setChecked(true);
    p_->CheckBoxSubTiltFocus->setChecked(false);
    p_->CheckBoxSubComa->setChecked(false);
    p_->ComboboxDirImages->setEditText(QStringLiteral("/nuit/images"));
    p_->ComboBoxAide->setEditText(QStringLiteral("/doc/index.html"));
    p_->ComboBoxRapports->setEditText(QStringLiteral("/nuit/rapports"));
    p_->SpinEditDiametre->setValue(250);
    p_->SpinEditFocale->setValue(1200);
    p_->EditPixelCCD->setText(QStringLiteral("3.75"));
    p_->SpinEditBinAcquisition->setValue(2);
    p_->SpinEditBinLogiciel->setValue(3);
    QVERIFY(p_->Valider());

    TPreferences lu;
    QVERIFY(LirePreferences(lu, Chemin().toStdString()).ValeursRefusees.empty());
    QCOMPARE(TextePreferences(lu), TextePreferences(Preferences));
    QCOMPARE(lu.PltSignal, 5);
    QCOMPARE(lu.PltInterfero, 2);
    QVERIFY(!lu.MasqueActif);
    QCOMPARE(lu.FactMultDiff, 3);
    QCOMPARE(lu.ExtractDim, 64);
    QCOMPARE(lu.ExtractSeuil, 35);
    QVERIFY(!lu.ExtractAuto && !lu.CorrectionFond);
    QCOMPARE(lu.NIter, 7);
    QVERIFY(lu.BreakCondition);
    QCOMPARE(lu.RMSFront, 0.5);
    QCOMPARE(lu.LambdaRef, 632.8);
    QCOMPARE(lu.LambdaInterfero, 633.0);
    QCOMPARE(lu.OriginFoc, 2);
    QCOMPARE(lu.LambdaB, 470.0);
    QCOMPARE(lu.LambdaR, 630.0);
    QCOMPARE(lu.PoidsV, 3.0);
    QCOMPARE(lu.NDecMilli, 0);
    QCOMPARE(lu.NDecNano, 1);
    QCOMPARE(lu.NDecRed, 2);
    QCOMPARE(lu.ModePoly, 1);
    QCOMPARE(lu.NPolyZern, 36);
    QCOMPARE(lu.NormRMS, 0);
    QVERIFY(!lu.SubTiltFocus && !lu.SubComa);
    QCOMPARE(lu.DossierImages, std::string("/nuit/images"));
    QCOMPARE(lu.DossiersImagesRecents.front(), std::string("/nuit/images"));
    QCOMPARE(lu.FichierAide, std::string("/doc/index.html"));
    QCOMPARE(lu.DossierRapports, std::string("/nuit/rapports"));
    QCOMPARE(lu.Diametre, 250u);
    QCOMPARE(lu.Focale, 1200u);
    QCOMPARE(lu.PixelCCD, 3750);
    QCOMPARE(lu.BinAcquisition, 2);
    QCOMPARE(lu.BinLogiciel, 3);
    // The term set follows at once.
    QCOMPARE(JeuZernike().NbTermes, 36);
    QCOMPARE(JeuZernike().Type, PolyZernike);
  }

  void annulerNeChangeRien() {
    QVERIFY(p_->Valider());  // a file to compare with
    const QByteArray avant = Octets(Chemin());
    const std::string memoire = TextePreferences(Preferences);
    p_->show();
    p_->ComboBoxPalette[1]->setCurrentIndex(4);
    p_->EditLambdaRef->setText(QStringLiteral("700"));
    p_->EditLambdaInterfero->setText(QStringLiteral("450"));
    p_->SpinEditNPolyZern->setValue(5);
    d_->Dossiers = {QStringLiteral("/ailleurs")};
    p_->ChoisirDossierImages();
    p_->Defaut();
    p_->reject();
    QCOMPARE(Octets(Chemin()), avant);
    QCOMPARE(TextePreferences(Preferences), memoire);
    QCOMPARE(JeuZernike().NbTermes, 22);
  }

  void lesDeuxSeparateursDecimaux() {
    DefinirSeparateurDecimal(',');
    p_->hide();
    p_->show();  // controls shown again with the comma
    QCOMPARE(p_->EditLambdaRef->text(), QStringLiteral("555,00"));
    p_->EditLambdaRef->setText(QStringLiteral("632,8"));
    p_->EditRMSFront->setText(QStringLiteral("0.25"));
    QVERIFY(p_->Valider());
    QCOMPARE(Preferences.LambdaRef, 632.8);
    QCOMPARE(Preferences.RMSFront, 0.25);
    QVERIFY(Octets(Chemin()).contains("LambdaRef=632,8\r\n"));
    QVERIFY(Octets(Chemin()).contains("RMSFront=0,25\r\n"));
  }

  void valeursHorsBornesRefuseesParLeurNom() {
    p_->EditLambdaRef->setText(QStringLiteral("0"));
    QVERIFY(!p_->Valider());
    QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Longueur d'onde de référence : ")));
    QVERIFY(d_->Messages.last().contains(QStringLiteral("de 1 à 1000000")));
    QCOMPARE(p_->Pages->currentIndex(), 2);
    QVERIFY(p_->isVisible());
    QCOMPARE(Preferences.LambdaRef, 555.0);
    QVERIFY(!QFile::exists(Chemin()));

    p_->EditLambdaRef->setText(QStringLiteral("555"));
    p_->EditPoids[2]->setText(QStringLiteral("lourd"));
    QVERIFY(!p_->Valider());
    QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Poids relatif du rouge")));
    p_->EditPoids[2]->setText(QStringLiteral("1"));
    p_->EditPixelCCD->setText(QStringLiteral("-2"));
    QVERIFY(!p_->Valider());
    QCOMPARE(p_->Pages->currentIndex(), 5);
    p_->EditPixelCCD->setText(QStringLiteral("5,2"));
    QVERIFY(p_->Valider());
    QCOMPARE(Preferences.PixelCCD, 5200);
  }

  void apercusDesPalettes() {
    p_->ComboBoxPalette[3]->setCurrentIndex(Monochrome);
    p_->EditLambdaInterfero->setText(QStringLiteral("633"));
    p_->AfficherPalettes();
    QCOMPARE(PixelDe(p_->ImagePalette[3], 8, 0), (TCouleur24{255, 66, 0}));
    QCOMPARE(PixelDe(p_->ImagePalette[3], 8, 112), (TCouleur24{0, 0, 0}));
    // Typing another wavelength turns the strip at once.
    p_->EditLambdaInterfero->clear();
    QTest::keyClicks(p_->EditLambdaInterfero, QStringLiteral("450"));
    QCOMPARE(PixelDe(p_->ImagePalette[3], 8, 0), (TCouleur24{0, 70, 255}));
    // A strip follows its own list.
    p_->ComboBoxPalette[0]->setCurrentIndex(NiveauxDeGris);
    QCOMPARE(PixelDe(p_->ImagePalette[0], 8, 0), (TCouleur24{255, 255, 255}));
  }

  void dossiersEtDefaut() {
    Preferences.DossiersImagesRecents = {"/a", "/b"};
    Preferences.DossierImages = "/a";
    p_->hide();
    p_->show();
    QCOMPARE(p_->ComboboxDirImages->count(), 2);
    d_->Dossiers = {QStringLiteral("/b"), std::nullopt, QStringLiteral("/rapports")};
    p_->ChoisirDossierImages();
    QCOMPARE(p_->ComboboxDirImages->itemText(0), QStringLiteral("/b"));
    QCOMPARE(p_->ComboboxDirImages->count(), 2);
    QCOMPARE(p_->ComboboxDirImages->currentText(), QStringLiteral("/b"));
    p_->ChoisirDossierImages();  // cancelled: nothing changes
    QCOMPARE(p_->ComboboxDirImages->currentText(), QStringLiteral("/b"));
    p_->ChoisirDossierRapports();
    QCOMPARE(p_->ComboBoxRapports->currentText(), QStringLiteral("/rapports"));
    QVERIFY(d_->Messages.contains(QStringLiteral("Choisir un dossier pour les images :")));
    d_->Fichiers = {QStringLiteral("/doc/accueil.html")};
    p_->ChoisirFichierAide();
    QCOMPARE(d_->Messages.last(),
             QStringLiteral("Choisir le fichier d'accueil de l'aide en ligne"));
    QCOMPARE(d_->Filtres.last(), QStringLiteral("Fichiers html (*.htm *.html)"));
    QCOMPARE(p_->ComboBoxAide->currentText(), QStringLiteral("/doc/accueil.html"));
    QVERIFY(p_->Valider());
    QCOMPARE(Preferences.DossiersImagesRecents, (std::vector<std::string>{"/b", "/a"}));
    QCOMPARE(Preferences.DossierRapports, std::string("/rapports"));

    p_->show();
    p_->Defaut();
    QVERIFY(p_->ComboboxDirImages->currentText().isEmpty());
    QVERIFY(p_->ComboBoxAide->currentText().isEmpty());
    QVERIFY(p_->ComboBoxRapports->currentText().isEmpty());
    QCOMPARE(p_->SpinEditNPolyZern->value(), 22);
    QVERIFY(p_->Valider());
    QVERIFY(Preferences.DossiersImagesRecents.empty());
    QVERIFY(Preferences.DossierImages.empty());
  }

  void soustractionsSuiventLAjustement() {
    p_->CheckBoxAjustAuto->setChecked(false);
    QVERIFY(!p_->CheckBoxSubTiltFocus->isEnabled());
    QVERIFY(!p_->CheckBoxSubComa->isEnabled());
    p_->CheckBoxAjustAuto->setChecked(true);
    QVERIFY(p_->CheckBoxSubComa->isEnabled());
  }

  void alertesGardeesSeulementSurOk() {
    Preferences.NormRMS = 0;
    auto saisir = [] {
      auto* s = qobject_cast<TFormSaisieZern*>(QApplication::activeModalWidget());
      QVERIFY(s);
      s->EditZ[5]->setText(QStringLiteral("12"));
      s->ValiderSaisie();
    };
    QTimer::singleShot(0, saisir);
    p_->EditerAlertes();
    p_->reject();
    QCOMPARE(Preferences.ValeursAlerte[4], 0.0);
    p_->show();
    QTimer::singleShot(0, saisir);
    p_->EditerAlertes();
    QVERIFY(p_->Valider());
    QCOMPARE(Preferences.ValeursAlerte[4], 12.0);
  }

  void lesFenetresSuiventALaFermeture() {
    p_->hide();
    ParametresSimulation.Dimension = 64;
    ParametresSimulation.Rayon = 25;
    ParametresSimulation.Coefficients[3] = 100;
    SelectionComplete(ParametresSimulation.Selection);
    f_->FrontDOnde();
    TForm1* front = f_->FenetreActive();
    QVERIFY(front);
    QCOMPARE(front->Champ()->Palette, Preferences.PltFront);
    QTimer::singleShot(0, this, [this] {
      p_->ComboBoxPalette[1]->setCurrentIndex(CorpsNoir);
      p_->SpinEditNPolyZern->setValue(11);
      p_->Valider();
    });
    f_->EditerPreferences();
    QCOMPARE(front->Champ()->Palette, CorpsNoir);
    QCOMPARE(Preferences.PltFront, CorpsNoir);
    QCOMPARE(JeuZernike().NbTermes, 11);
    QVERIFY(QFile::exists(Chemin()));
  }
};

QTEST_MAIN(PreferencesTest)
#include "preferences_test.moc"
