// The information panel and the test parameters dialog, through their real controls.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <deque>

#include "core/regional.h"
#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/coefficients.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/panneau_infos.h"

using namespace quelvane;
using namespace quelvane::essais;

class PanneauParametresTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir prefs_;
  std::unique_ptr<TMainForm> f_;

  TForm1* Ouvrir(bool extra = false) {
    d_->Fichiers = {Echantillon(extra ? "etoile-extra.fit" : "etoile-intra.fit")};
    extra ? f_->OuvrirExtrafocale() : f_->Ouvrir();
    return f_->FenetreActive();
  }

 private slots:
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_);
    f_ = FenetrePrincipale(prefs_.filePath("Prefs.txt"));
  }
  void cleanup() { Demonter(f_, installes_); }

  void conventionDesCurseurs() {
    QCOMPARE(PositionCurseur(10, 10, 20), 100);
    QCOMPARE(PositionCurseur(20, 10, 20), 0);
    QCOMPARE(PositionCurseur(12.5, 10, 20), 75);
    QCOMPARE(NiveauCurseur(0, 10, 20), 20.0);
    QCOMPARE(NiveauCurseur(100, 10, 20), 10.0);
  }

  void seuilEtNiveaux() {
    TForm1* w = Ouvrir();
    TFormInfos& p = *f_->Infos();
    QVERIFY(p.TrackBarSeuil->isEnabled());
    p.TrackBarSeuil->setValue(0);
    QCOMPARE(w->Champ()->Seuil, w->Champ()->Maxi);
    p.TrackBarSeuil->setValue(100);
    QCOMPARE(w->Champ()->Seuil, w->Champ()->Mini);
    QCOMPARE(w->Champ()->M(0, 0), 1);  // everything is at or above the minimum
    p.TrackBarBas->setValue(50);
    QCOMPARE(w->Champ()->SeuilBas, (w->Champ()->Mini + w->Champ()->Maxi) / 2);
    p.ComboBoxCoordonnees->setCurrentIndex(1);
    QCOMPARE(p.EditRayon->text(), QStringLiteral("1"));
    QCOMPARE(p.EditDimension->text(), QStringLiteral("[256x256]"));
  }

  void contraste() {
    TForm1* w = Ouvrir();
    TFormInfos& p = *f_->Infos();
    p.TrackBarContraste->setValue(-100);
    QCOMPARE(w->Champ()->Contraste, 10.0);
    QCOMPARE(p.EditContraste->text(), QStringLiteral("-10"));
    p.TrackBarContraste->setValue(50);
    QVERIFY(std::abs(w->Champ()->Contraste - 0.316228) < 1e-6);
    QCOMPARE(p.EditContraste->text(), QStringLiteral("5"));
    DefinirSeparateurDecimal(',');
    p.EditContraste->setText(QStringLiteral("2,5"));
    emit p.EditContraste->editingFinished();
    QCOMPARE(p.TrackBarContraste->value(), 25);
  }

  void imageUniforme() {
    auto champ = std::make_shared<TPupille>();
    champ->Allouer(16, 16);
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 16; ++c) champ->V(r, c) = 7;
    champ->Seuil = 99;
    champ->SeuilHaut = 50;
    f_->NouvelleFenetre(champ, "uniforme");
    TFormInfos& p = *f_->Infos();
    QCOMPARE(champ->Seuil, 7.0);
    QCOMPARE(champ->SeuilBas, 7.0);
    QCOMPARE(champ->SeuilHaut, 7.0);
    QCOMPARE(p.TrackBarSeuil->value(), 100);
    QCOMPARE(p.TrackBarHaut->value(), 0);
  }

  void resultatsDUnFront() {
    auto front = std::make_shared<TPupille>();
    front->Allouer(3, 1);
    front->Role = RoleFront;
    front->V(0, 0) = 0;
    front->V(0, 2) = 138.75;
    front->M(0, 0) = front->M(0, 2) = 1;
    front->Lambda = 555;
    f_->NouvelleFenetre(front, "Polychromatique Front d'onde");
    TFormInfos& p = *f_->Infos();
    QVERIFY(p.Pages->isTabVisible(1));
    QCOMPARE(p.LabelPTV->text(), QStringLiteral("138.75 nm"));
    QCOMPARE(p.LabelPTVLambda->text(), QStringLiteral("Lambda/4"));
    QCOMPARE(p.LabelStrehlMax->text(), QStringLiteral("Smax = 1.00"));
    QCOMPARE(p.LabelValeur->text(), QStringLiteral("W="));
    QVERIFY(p.LabelMaxi->text().endsWith(" nm"));
  }

  void laLectureEtLesResultatsSuiventLaFenetreActive() {
    TForm1* image = Ouvrir();
    auto front = std::make_shared<TPupille>();
    front->Allouer(3, 1);
    front->Role = RoleFront;
    front->V(0, 2) = 100;
    front->M(0, 0) = front->M(0, 2) = 1;
    front->Coefficients[4] = 12;
    TForm1* w = f_->NouvelleFenetre(front, "Polychromatique Front d'onde");
    TFormInfos& p = *f_->Infos();
    p.ComboBoxUnite->setCurrentIndex(1);  // wavefront values in waves
    f_->Coefficients()->RemplirListe(w);
    QVERIFY(f_->Coefficients()->ListViewZern->topLevelItemCount() > 0);
    f_->ImageActivee(image);
    // An image reads in ADU whatever the wavefront unit; its window has no results page and
    // the coefficient list no longer shows the wavefront.
    image->Champ()->V(9, 9) = 1234.57;
    p.AfficherCurseur(*image, 10, 10);
    QCOMPARE(p.EditValeur->text(), QStringLiteral("1235"));
    QVERIFY(!p.Pages->isTabVisible(1));
    QCOMPARE(f_->Coefficients()->ListViewZern->topLevelItemCount(), 0);
    f_->ImageActivee(w);
    QVERIFY(p.Pages->isTabVisible(1));
    QCOMPARE(f_->Coefficients()->ListViewZern->topLevelItemCount(), JeuZernike().NbTermes + 1);
  }

  void couplageDiametreFocale() {
    TFormParam& d = *f_->Parametres();
    d.SpinEditDiametre->setValue(200);
    d.EditRapport->setText("5");
    emit d.EditRapport->textEdited("5");
    QCOMPARE(d.SpinEditFocale->value(), 1000);
    d.SpinEditFocale->setValue(1200);
    QCOMPARE(d.EditRapport->text(), QStringLiteral("6"));
  }

  void defocalisationDeLExemple() {
    DefinirSeparateurDecimal(',');
    TFormParam& d = *f_->Parametres();
    d.PreparerAffichage();  // shown: the copy Cancel restores
    d.SpinEditDiametre->setValue(200);
    d.SpinEditFocale->setValue(1000);
    d.EditPixel->setText("9");
    d.SpinEditBinAcquisition->setValue(1);
    d.SpinEditBinLogiciel->setValue(2);
    d.EditRayonIntra->setText("40");
    d.EditRayonExtra->setText("42");
    d.CalculerDefocalisation();
    QCOMPARE(d.EditDefocalisation->text(), QStringLiteral("7,380"));
    QCOMPARE(ParametresTest.Defocalisation, 41 * 180000.0);
    d.Annuler();
    QCOMPARE(ParametresTest.Defocalisation, 0.0);
    d.EditPixel->setText("neuf");
    d.CalculerDefocalisation();
    QVERIFY(d_->Messages.last().contains("neuf"));
  }

  void sourceAuRayonDeCourbure() {
    TFormParam& d = *f_->Parametres();
    d.SpinEditDiametre->setValue(200);
    d.SpinEditFocale->setValue(1000);
    d.ChoisirSource(2);
    QCOMPARE(d.EditDistance->text(), QStringLiteral("2000"));
    QVERIFY(std::abs(d.AberrationsMontage[2] - 520.833) < 1e-3);
    QCOMPARE(d.AberrationsMontage[1], 0.0);
    QCOMPARE(d.EditSphericite->text(), QStringLiteral("232.92"));  // 520.83 / √5
    d.ChoisirSource(0);
    QCOMPARE(d.EditDistance->text(), QStringLiteral("Infini"));
    QCOMPARE(d.AberrationsMontage[2], 0.0);
  }

  void etoileArtificielle() {
    // The same set-up aberrations as the command line: 187.5 nm of spherical aberration for a
    // star at 10 m in front of a 200/1000 (the dialog gave 0).
    TFormParam& d = *f_->Parametres();
    d.SpinEditDiametre->setValue(200);
    d.SpinEditFocale->setValue(1000);
    d.ChoisirSource(0);
    d.GroupeSource->button(1)->click();
    d.EditDistance->setText("10");
    d.ComboBoxUniteDistance->setCurrentIndex(1);  // metres
    d.CalculerAberrations();
    QVERIFY(std::abs(d.AberrationsMontage[2] - 187.5) < 1e-9);
    d.ComboBoxOrientation->setCurrentIndex(0);
    d.EditDefocalisation->setText("3.64");
    d.Valider();
    QVERIFY(std::abs(ParametresTest.Sphericite - 187.5) < 1e-9);
    QCOMPARE(ParametresTest.DistanceSource, 1e10);
  }

  void listesEtValidation() {
    TForm1* a = Ouvrir();
    TForm1* b = Ouvrir();
    TFormParam& d = *f_->Parametres();
    QCOMPARE(d.ListBoxIntra->count(), 2);
    d.ListBoxIntra->setCurrentRow(1);
    d.Monter(false);
    QCOMPARE(d.Intra().front().Fenetre.data(), b);
    const double coin = a->Champ()->V(0, 0);
    d.ListBoxIntra->setCurrentRow(1);
    d.VersExtra();
    QCOMPARE(d.Extra().size(), std::size_t{1});
    QCOMPARE(a->Champ()->Role, RoleExtra);
    QCOMPARE(a->Champ()->V(255, 255), coin);  // turned by 180°

    d.PreparerAffichage();
    d.Valider();
    QCOMPARE(d_->Messages.last(), QStringLiteral("Les paramètres sont incomplets."));
    QVERIFY(!ParametresTest.ParametresValides);
    d.SpinEditDiametre->setValue(200);
    d.SpinEditFocale->setValue(1000);
    d.EditDefocalisation->setText("3.64");
    d.Valider();
    QVERIFY(ParametresTest.ParametresValides);
    QCOMPARE(ParametresTest.ImageIntra, b->Champ());
    QCOMPARE(ParametresTest.ImageExtra, a->Champ());
    QCOMPARE(ParametresTest.AstigmatismeX, 0.0);  // orientation untouched

    d.ComboBoxMode->setCurrentIndex(1);
    d.Valider();
    QCOMPARE(d_->Messages.last(), QStringLiteral("La liste des images est incomplète."));
  }

  void informationsDeLImage() {
    Ouvrir();
    TFormParam& d = *f_->Parametres();
    d.ListBoxIntra->item(0)->setSelected(true);
    d.RecupererInfos();
    QCOMPARE(d.SpinEditDiametre->value(), 200);
    QCOMPARE(d.SpinEditFocale->value(), 1000);
    QCOMPARE(d.EditPixel->text(), QStringLiteral("5.20"));
    QCOMPARE(d.EditDate->text(), QStringLiteral("2026-03-14"));
    QCOMPARE(d.EditHeureIntra->text(), QStringLiteral("21:42:07"));
    QCOMPARE(d.ListeValeurs->item(0)->text(), QStringLiteral("Quelvane"));
    QCOMPARE(d.ListeValeurs->count(), 9);
    if (qEnvironmentVariableIsSet("QUELVANE_CAPTURES")) {
      for (int i = 0; i < 4; ++i) {
        d.Pages->setCurrentIndex(i);
        d.adjustSize();
        d.grab().save(qEnvironmentVariable("QUELVANE_CAPTURES") +
                      QStringLiteral("/parametres%1.png").arg(i));
      }
      TFormInfos& p = *f_->Infos();
      for (int i : {0, 2, 3}) {
        p.Pages->setCurrentIndex(i);
        p.grab().save(qEnvironmentVariable("QUELVANE_CAPTURES") +
                      QStringLiteral("/panneau%1.png").arg(i));
      }
    }
  }

  void defautsSauvesEtRelus() {
    TFormParam& d = *f_->Parametres();
    d.SpinEditDiametre->setValue(250);
    d.SpinEditFocale->setValue(1200);
    d.EditPixel->setText("3.76");
    d.SpinEditBinLogiciel->setValue(2);
    d.SauverDefauts();
    d.SpinEditDiametre->setValue(100);
    d.ChargerDefauts();
    QCOMPARE(d.SpinEditDiametre->value(), 250);
    QCOMPARE(d.SpinEditFocale->value(), 1200);
    QCOMPARE(d.EditPixel->text(), QStringLiteral("3.76"));
    QCOMPARE(d.SpinEditBinLogiciel->value(), 2);
    // A new test offers the saved instrument at once, and showing the dialog keeps it.
    Ouvrir();
    d_->Reponses = {true};
    f_->NouveauTest();
    d.SpinEditDiametre->setValue(0);
    d.Reinitialiser();
    d.PreparerAffichage();
    QCOMPARE(d.SpinEditDiametre->value(), 250);
    QCOMPARE(d.SpinEditFocale->value(), 1200);
    QCOMPARE(d.EditPixel->text(), QStringLiteral("3.76"));
  }

  void virguleOuPointDansChaqueChamp() {
    // "5,2" on a machine set for '.', and "1,5" as the defocus, are numbers.
    DefinirSeparateurDecimal('.');
    TFormParam& d = *f_->Parametres();
    d.PreparerAffichage();
    d.SpinEditDiametre->setValue(200);
    d.SpinEditFocale->setValue(1000);
    d.EditPixel->setText("5,2");
    d.EditRayonIntra->setText("40");
    d.EditRayonExtra->setText("42");
    const qsizetype avant = d_->Messages.size();
    d.CalculerDefocalisation();
    QCOMPARE(d_->Messages.size(), avant);
    QVERIFY(ParametresTest.Defocalisation > 0);
    d.EditDefocalisation->setText("1,5");
    d.Valider();  // no images here: only the numbers are looked at
    QCOMPARE(ParametresTest.Defocalisation, 1.5e6);
  }
};

QTEST_MAIN(PanneauParametresTest)
#include "panneau_parametres_test.moc"
