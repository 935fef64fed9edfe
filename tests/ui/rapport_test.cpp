// Pictures in and out of the windows (JPEG import, saving a window) and the report written,
// shown and edited from the menus.

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <cmath>

#include "files/ecriture.h"
#include "files/jpeg.h"
#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/banc_fenetres.h"
#include "support/dialogues_scriptes.h"
#include "ui/dialogue_parametres.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/fenetre_rapport.h"

using namespace quelvane;
using namespace quelvane::essais;

class RapportTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialoguesInstalles> installes_;
  TDialoguesScriptes* d_ = nullptr;
  QTemporaryDir dossier_;
  std::unique_ptr<TMainForm> f_;

  TForm1* Nommee(const QString& t) const { return FenetreNommee(*f_, t); }
  // A JPEG whose three planes differ, so that a plane taken from the wrong byte shows.
  QString JpegCouleur(const char* nom) {
    const int l = 16, h = 8;
    std::vector<std::uint8_t> rvb(static_cast<std::size_t>(l) * h * 3);
    for (std::size_t i = 0; i < rvb.size(); i += 3) {
      rvb[i] = 200;      // red
      rvb[i + 1] = 120;  // green
      rvb[i + 2] = 40;   // blue
    }
    const QString chemin = dossier_.filePath(nom);
    EcrireFichierAtomique(chemin.toStdString(), CoderJPEG(rvb, l, h));
    return chemin;
  }
  void TestReconstruit() {
    d_->Fichiers = {Echantillon("etoile-intra.fit"), Echantillon("etoile-extra.fit")};
    f_->Ouvrir();
    f_->OuvrirExtrafocale();
    SaisirParametresEchantillon(*f_->Parametres());
    f_->Reconstruire();
  }

 private slots:
  void init() {
    RemettreLesGlobales();
    installes_ = InstallerDialogues(d_);
    f_ = FenetrePrincipale(dossier_.filePath("Prefs.txt"));
  }
  void cleanup() { Demonter(f_, installes_); }

  void importJpegCouleurEnTroisPlans() {
    d_->Fichiers = {JpegCouleur("etoile.jpg")};
    f_->ImporterJPEG();
    TForm1* b = Nommee("etoile.jpg (Bleu)");
    TForm1* v = Nommee("etoile.jpg (Vert)");
    TForm1* r = Nommee("etoile.jpg (Rouge)");
    QVERIFY(b && v && r);
    // JPEG is lossy: each plane within a few levels of what was written.
    QVERIFY(std::abs(b->Champ()->V(4, 8) - 40) < 4);
    QVERIFY(std::abs(v->Champ()->V(4, 8) - 120) < 4);
    QVERIFY(std::abs(r->Champ()->V(4, 8) - 200) < 4);
    QVERIFY(b->Champ()->Lambda < v->Champ()->Lambda && v->Champ()->Lambda < r->Champ()->Lambda);
    QVERIFY(b->CouleurLambda && r->CouleurLambda);
    QCOMPARE(b->Champ()->Palette, 5);
    // Imported pictures are not entered as test images.
    QVERIFY(f_->Parametres()->Intra().empty());
  }

  void grandePhotoRecadreeAutourDeLEtoile() {
    // A 3000 × 2000 photograph with a defocused star off centre: the planes are cut around it.
    const int l = 3000, h = 2000;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(l) * h * 3, 10);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < l; ++x)
        if (const double d = std::hypot(x - 2100.0, y - 700.0); d < 80 && d > 25)
          for (int k = 0; k < 3; ++k) rgb[(static_cast<std::size_t>(y) * l + x) * 3 + k] = 180;
    const QString nom = dossier_.filePath("photo.jpg");
    EcrireFichierAtomique(nom.toStdString(), CoderJPEG(rgb, l, h));
    d_->Fichiers = {nom};
    f_->ImporterJPEG();
    TForm1* v = Nommee("photo.jpg (Vert, autour de l'étoile)");
    QVERIFY(v);
    QVERIFY(v->Champ()->NX < 700 && v->Champ()->NY < 700);
    QVERIFY(std::abs(v->Champ()->RayonPupille - 80) < 4);
  }

  void importJpegIllisibleAverti() {
    const QString faux = dossier_.filePath("faux.jpg");
    EcrireFichierAtomique(faux.toStdString(), std::string("pas une image"));
    d_->Fichiers = {faux};
    f_->ImporterJPEG();
    QVERIFY(f_->Fenetres().empty());
    QVERIFY(d_->Messages.last().startsWith(QStringLiteral("Image jpeg illisible")));
  }

  void enregistrerPuisReenregistrerSansDialogue() {
    d_->Fichiers = {JpegCouleur("etoile.jpg")};
    f_->ImporterJPEG();
    TForm1* w = Nommee("etoile.jpg (Vert)");
    QVERIFY(w);
    const QString base = dossier_.filePath("vue");
    d_->Fichiers = {base};
    w->Enregistrer();
    QCOMPARE(d_->NomsProposes.last(), w->windowTitle());
    QCOMPARE(w->FichierJPEG, base + ".jpg");
    const TImageJPEG lue = LireJPEG((base + ".jpg").toStdString());
    QVERIFY(lue.Reussi());
    QCOMPARE(lue.Composantes, 3);
    // The second save goes to the same name without asking.
    QFile::remove(base + ".jpg");
    const qsizetype demandes = d_->NomsProposes.size();
    w->Enregistrer();
    QCOMPARE(d_->NomsProposes.size(), demandes);
    QVERIFY(QFileInfo::exists(base + ".jpg"));
    // A save that fails is reported, and the window keeps its last good name.
    d_->Fichiers = {dossier_.filePath("absent/vue")};
    w->EnregistrerSous();
    QCOMPARE(w->FichierJPEG, base + ".jpg");
    QVERIFY(!d_->Messages.last().isEmpty());
  }

  void rapportEcritAfficheEtModifie() {
    TestReconstruit();
    QVERIFY(Nommee("Polychromatique Front d'onde"));
    const QString page = dossier_.filePath("rapport.html");
    d_->Fichiers = {page};
    f_->EditerRapport();
    QVERIFY(QFileInfo::exists(page));
    QVERIFY(QFileInfo::exists(dossier_.filePath("front.jpg")));
    TFormRapport& r = *f_->FormeRapport();
    QVERIFY(r.isVisible());
    QCOMPARE(r.Chemin, page);
    QVERIFY(r.Navigateur->toPlainText().contains(QStringLiteral("Ecart RMS")));

    // An edit made in the window is written back over the page.
    QTextCursor c(r.Navigateur->document());
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("Miroir retouché au bord"));
    QCOMPARE(r.windowTitle(), QStringLiteral("Rapport - rapport.html"));
    const qint64 taille = QFileInfo(page).size();
    r.EnregistrerModifications();
    QVERIFY(r.Etat->currentMessage().startsWith(QStringLiteral("Rapport enregistré")));
    QFile lu(page);
    QVERIFY(lu.open(QIODevice::ReadOnly));
    const QString ecrit = QString::fromUtf8(lu.readAll());
    QVERIFY(ecrit.contains(QStringLiteral("Miroir retouch")));
    // The layout a browser shows is kept: centred tables without side margins that would
    // override their centring, pictures still centred, no page twice the size.
    QVERIFY(ecrit.contains(QStringLiteral("align=\"center\"")));
    QVERIFY(!ecrit.contains(QStringLiteral("margin-left:0px")));
    QVERIFY(ecrit.contains(QRegularExpression(QStringLiteral("<p align=\"center\"[^>]*><img"))));
    QVERIFY2(QFileInfo(page).size() < taille * 2, qPrintable(QString::number(taille)));
  }

  void rapportRefuseDansUnDossierAbsent() {
    TestReconstruit();
    d_->Fichiers = {dossier_.filePath("absent/rapport.html")};
    const qsizetype avant = d_->Messages.size();
    f_->EditerRapport();
    QVERIFY(d_->Messages.size() > avant + 1);  // the title, then the failure
    QVERIFY(!f_->FormeRapport()->isVisible());
  }
};

QTEST_MAIN(RapportTest)
#include "rapport_test.moc"
