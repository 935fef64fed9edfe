// Interferograms and Foucault grams from the windows: commands, in-place recomputation from
// the panel, series, and the wavefront's window closed first.

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QValueAxis>

#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/fenetres_resultats.h"
#include "ui/panneau_infos.h"

using namespace quelvane;
using namespace quelvane::essais;

class SimulationsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir dossier_;
  std::unique_ptr<TMainForm> f_;

  // A synthesised wavefront with some defocus, in its own window.
  TForm1* Front() {
    ParametresSimulation.Dimension = 128;
    ParametresSimulation.Rayon = 50;
    ParametresSimulation.Coefficients[3] = 200;
    SelectionComplete(ParametresSimulation.Selection);
    f_->FrontDOnde();
    return f_->FenetreActive();
  }
  TForm1* Nommee(const QString& t) const { return FenetreNommee(*f_, t); }
  void Fermer(TForm1* w) {
    for (QMdiSubWindow* s : f_->Zone()->subWindowList())
      if (s->widget() == w) s->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

 private slots:
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_);
    f_ = FenetrePrincipale(dossier_.filePath("Prefs.txt"));
  }
  void cleanup() { Demonter(f_, installes_); }

  void interferogrammeRecalculeEnPlace() {
    TForm1* front = Front();
    QVERIFY(front);
    TFormInfos& p = *f_->Infos();
    p.SpinEditAngle->setValue(30);
    f_->Interferogramme();
    TForm1* i = Nommee("Interférogramme30");
    QVERIFY(i);
    QCOMPARE(i->Champ()->Role, RoleInterferogramme);
    QCOMPARE(i->FrontSource().get(), front->Champ());
    QVERIFY(i->CouleurLambda);
    QCOMPARE(i->Champ()->Lambda, Preferences.LambdaInterfero);
    const std::size_t fenetres = f_->Fenetres().size();
    // 8 → 9 fringes on the interferogram window: the same window, its title kept.
    p.SpinEditFranges->setValue(9);
    QCOMPARE(f_->Fenetres().size(), fenetres);
    QCOMPARE(i->Champ()->Franges, 9);
    QCOMPARE(i->windowTitle(), QStringLiteral("Interférogramme30"));
    // The wavefront's window closed: a change of angle says so, and nothing breaks.
    Fermer(front);
    QVERIFY(!i->FrontSource());
    p.SpinEditAngle->setValue(45);
    QCOMPARE(d_->Messages.last(),
             QStringLiteral("Impossible de modifier Interférogramme. Front d'onde introuvable."));
  }

  void serieDeFoucaultgrammes() {
    Front();
    TFormInfos& p = *f_->Infos();
    p.SpinEditAngle->setValue(0);
    p.SpinEditPas->setValue(45);
    p.CheckBoxSerie->setChecked(true);
    f_->Foucaultgramme();
    for (const char* t :
         {"Foucaultgramme135", "Foucaultgramme90", "Foucaultgramme45", "Foucaultgramme0"})
      QVERIFY2(Nommee(QString::fromUtf8(t)), t);
    TForm1* g = Nommee("Foucaultgramme0");
    QCOMPARE(g->Champ()->Role, RoleFoucault);
    QCOMPARE(g->Champ()->Traces[2].Visible, std::uint8_t{1});
    // The series came from the wavefront each time, which is active again.
    QCOMPARE(f_->FenetreActive()->Champ()->Role, RoleFront);
  }

  void refusHorsDUnFront() {
    Front();
    TFormInfos& p = *f_->Infos();
    f_->Interferogramme();
    TForm1* i = f_->FenetreActive();
    QCOMPARE(i->Champ()->Role, RoleInterferogramme);
    f_->Foucaultgramme();  // an interferogram is no wavefront
    QCOMPARE(d_->Messages.last(),
             QStringLiteral("Action impossible. Sélectionnez un front d'onde."));
    Preferences.LambdaInterfero = 0;
    p.SpinEditFranges->setValue(5);
    QVERIFY(d_->Messages.last().contains("LambdaInterfero"));
  }

  void psfReelleEtTheorique() {
    TForm1* front = Front();
    f_->PSF();
    TForm1* w = Nommee("PSF réelle");
    QVERIFY(w);
    QCOMPARE(w->Champ()->Role, RolePSF);
    QCOMPARE(w->FrontSource()->Role, RolePSFTheorique);
    TFormInfos& p = *f_->Infos();
    QCOMPARE(p.ComboBoxTaille->currentIndex(), int{Preferences.FactMultDiff});
    p.ComboBoxPSF->setCurrentIndex(1);
    emit p.ComboBoxPSF->activated(1);
    QCOMPARE(w->Champ()->Role, RolePSFTheorique);
    QCOMPARE(w->windowTitle(), QStringLiteral("PSF théorique"));
    emit p.ComboBoxEchellePSF->activated(1);
    QVERIFY(w->EchelleLog);
    // Closing the wavefront leaves the PSF window its own two fields.
    Fermer(front);
    QVERIFY(w->FrontSource());
  }

  void spotsEtFTM() {
    Front();
    f_->Spots();  // no instrument known yet
    QVERIFY(d_->Messages.last().contains("focale"));
    ParametresTest.DistanceFocale = 1e9;
    ParametresTest.RayonInstrument = 1e8;
    f_->Spots();
    TForm1* s = Nommee("Spots");
    QVERIFY(s);
    QCOMPARE(s->Champ()->Role, RoleSpot);
    QCOMPARE(s->Champ()->Traces[1].Forme, std::uint8_t{1});
    f_->ImageActivee(Nommee("Front d'onde"));
    f_->FTM();
    QWidget* ftm = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->windowTitle().startsWith("FTM et énergie encerclée")) ftm = w;
    QVERIFY(ftm && ftm->isVisible());
    ParametresTest = ParametresInitiaux;
  }

  void seidelEtMeridienne() {
    ParametresSimulation.Obstruction = 0.3;
    TForm1* front = Front();  // 200 nm of Z4
    f_->Seidel();
    TFormSeidel& s = *f_->FormeSeidel();
    QVERIFY(s.isVisible());
    QCOMPARE(s.ListViewSeidel->topLevelItemCount(), 6);
    QCOMPARE(s.ListViewSeidel->topLevelItem(2)->text(0), QStringLiteral("Défocalisation"));
    f_->CommandeMeridienne();
    TFormMeridienne& m = *f_->FormeMeridienne();
    QVERIFY(m.isVisible());
    QCOMPARE(m.Segments, 2);  // the obstruction is a gap
    // Ticks on round steps (1, 2 or 5 × 10ⁿ), ends on ticks: not 93.1 / 58.5 / −50.1.
    for (QAbstractAxis* a : m.Chart1->chart()->axes()) {
      const auto* v = qobject_cast<QValueAxis*>(a);
      QVERIFY(v && v->tickCount() > 1);
      const double pas = (v->max() - v->min()) / (v->tickCount() - 1);
      const double puissance = std::pow(10.0, std::floor(std::log10(pas)));
      const double mantisse = pas / puissance;
      QVERIFY2(std::abs(mantisse - 1) < 1e-9 || std::abs(mantisse - 2) < 1e-9 ||
                   std::abs(mantisse - 2.5) < 1e-9 || std::abs(mantisse - 5) < 1e-9,
               qPrintable(QString::number(pas)));
      QVERIFY(std::abs(v->min() / pas - std::round(v->min() / pas)) < 1e-9);
    }
    m.SpinEdit1->setValue(90);
    QVERIFY(std::abs(front->Champ()->AngleTrace - 3.14159265358979 / 2) < 1e-12);
    // Both forms go with the window they describe.
    Fermer(front);
    QVERIFY(!s.isVisible());
    QVERIFY(!m.isVisible());
  }
};

QTEST_MAIN(SimulationsTest)
#include "simulations_test.moc"
