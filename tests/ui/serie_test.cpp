// Series in the windows: a video of each side opened, stacked on a worker thread behind the
// progress window, its frames shown in the panel and the quality chart; "Annuler" leaves
// everything as it was; the reconstruction's error bars in the panel and the coefficient list;
// another star chosen with the pointer.

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QPushButton>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "support/ecriture_ser.h"
#include "support/simulateur_serie.h"
#include "ui/aide.h"
#include "ui/coefficients.h"
#include "ui/fenetre_principale.h"
#include "ui/fenetre_qualite.h"
#include "ui/panneau_infos.h"

using namespace quelvane;
using namespace quelvane::essais;

namespace {

// Short frames through the atmosphere of the demonstration pair's instrument (200 mm f/5,
// 5.2 µm pixels), pupil images of 35 pixels.
outils::TSerieSimulee Serie(bool intra, int images) {
  outils::TSerieSimulee s;
  s.Telescope.Obstruction = 0.25;
  s.Telescope.CoefficientsNm[10] = 60;
  s.Telescope.CoefficientsNm[4] = 30;
  outils::TCameraSimulee& c = s.Camera;
  c.Largeur = c.Hauteur = 128;
  c.DefocalisationMm = 35 * 5.2e-3 * 1000 / 100;
  c.SousPixels = 0;
  c.Plateau = 4000;
  c.Fond = 100;
  c.Biais = 256;
  c.Bruit = true;
  s.Intra = intra;
  s.Images = images;
  s.Atmosphere.R0Mm = 150;
  s.Atmosphere.AgitationPixels = 1;
  s.Graine = intra ? 5 : 6;
  return s;
}

QString Video(const QTemporaryDir& d, const QString& nom, const outils::TSerieSimulee& s) {
  outils::TVideoAEcrire v;
  v.Largeur = s.Camera.Largeur, v.Hauteur = s.Camera.Hauteur, v.Profondeur = 16;
  for (int k = 0; k < s.Images; ++k)
    v.Images.push_back(outils::EnSeizeBits(outils::SimulerImageSerie(s, k)));
  const QString chemin = d.filePath(nom);
  outils::EcrireSER(chemin.toStdString(), v);
  return chemin;
}

}  // namespace

class SerieTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir dossier_;
  std::unique_ptr<TMainForm> f_;
  QString intra_, extra_;

 private slots:
  void initTestCase() {
    intra_ = Video(dossier_, "intra.ser", Serie(true, 16));
    extra_ = Video(dossier_, "extra.ser", Serie(false, 16));
  }
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_);
    f_ = FenetrePrincipale(dossier_.filePath("Prefs.txt"));
  }
  void cleanup() { Demonter(f_, installes_); }

  void serieEmpileeEtReconstruiteAvecSesBarresDErreur() {
    d_->Series = {QStringList{intra_}, QStringList{extra_}};
    f_->Action("Ouvrir une série intrafocale")->trigger();
    f_->Action("Ouvrir une série extrafocale")->trigger();
    QCOMPARE(f_->Fenetres().size(), 2u);
    TForm1* w = f_->FenetreActive();
    QCOMPARE(w->windowTitle(), QStringLiteral("extra.ser (16 images sur 16)"));
    QVERIFY(w->Empilement);
    QCOMPARE(w->Champ()->Role, RoleExtra);
    QCOMPARE(w->Champ()->SousEnsembles.size(), 4u);
    QVERIFY(f_->Infos()->LabelSerie->text().contains(QStringLiteral("16 images lues")));
    QCOMPARE(f_->Infos()->LabelSerie->textFormat(), Qt::PlainText);  // names are not markup
    QVERIFY(!f_->Progression()->isVisible());                        // gone once the work is done

    // The quality chart: one point per frame.
    f_->Action("Qualité des images de la série")->trigger();
    QVERIFY(f_->FormeQualite());
    int points = 0;
    for (auto* s : f_->FormeQualite()->Vue->chart()->series())
      points += static_cast<QScatterSeries*>(s)->count();
    QCOMPARE(points, 16);

    SaisirParametresEchantillon(*f_->Parametres());
    QVERIFY(ParametresTest.ParametresValides);
    f_->Action("Reconstruire le front d'onde")->trigger();
    TForm1* front = FenetreNommee(*f_, "Polychromatique Front d'onde");
    QVERIFY(front);
    QVERIFY(front->Champ()->Variantes);
    QVERIFY(f_->Infos()->LabelPTV->text().contains(QStringLiteral("±")));
    QVERIFY(f_->Infos()->LabelIncertitudes->text().contains(QStringLiteral("blocs d'images")));
    QTreeWidget* liste = f_->Coefficients()->ListViewZern;
    QVERIFY(liste->topLevelItem(10)->text(4).startsWith(QStringLiteral("± ")));
  }

  void annulerLaisseToutCommeAvant() {
    d_->Series = {QStringList{intra_}};
    // "Annuler" pressed as soon as the work has started.
    QTimer::singleShot(0, f_.get(), [this] { f_->Progression()->BoutonAnnuler()->click(); });
    f_->Action("Ouvrir une série intrafocale")->trigger();
    QVERIFY(f_->Fenetres().empty());
    QVERIFY(f_->ListeIntra().empty());
    QVERIFY(d_->Messages.filter(QStringLiteral("Format")).empty());
    QVERIFY(!f_->Progression()->isVisible());
    // And the next command runs as usual.
    d_->Series = {QStringList{intra_}};
    f_->Action("Ouvrir une série intrafocale")->trigger();
    QCOMPARE(f_->Fenetres().size(), 1u);
  }

  void choisirUneAutreEtoile() {
    // Two stars on the frame: the brighter is taken, the pointer chooses the other.
    outils::TSerieSimulee s = Serie(true, 1);
    s.Camera.Largeur = 300;
    s.Camera.DecalageX = -70;
    s.AutresEtoiles = {{140, 0, 2.0}};
    const QString fichier = Video(dossier_, "deux.ser", s);
    d_->Series = {QStringList{fichier}};
    f_->Action("Ouvrir une série intrafocale")->trigger();
    TForm1* w = f_->FenetreActive();
    QVERIFY(w);
    QVERIFY(w->Empilement);
    const double brillante = w->Empilement->Images[0].X;
    QVERIFY(std::abs(brillante - (150 + 70)) < 3);
    // The fainter star lies 140 pixels left of the brighter in the frame.
    w->ColonneCurseur = static_cast<int>(w->Champ()->CentreX - 140);
    w->LigneCurseur = static_cast<int>(w->Champ()->CentreY);
    f_->ChoisirEtoile(w);
    QVERIFY(std::abs(w->Empilement->Images[0].X - (150 - 70)) < 3);
    // Nothing there: said, nothing changed.
    w->ColonneCurseur = 2;
    w->LigneCurseur = 2;
    f_->ChoisirEtoile(w);
    QVERIFY(d_->Messages.last().contains(QStringLiteral("Aucune")));
    QVERIFY(std::abs(w->Empilement->Images[0].X - (150 - 70)) < 3);
  }
};

QTEST_MAIN(SerieTest)
#include "serie_test.moc"
