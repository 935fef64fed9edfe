// The main window's commands on tests kept in files: save and open a test, average,
// difference, trend, and a folder watched while capturing. The computations are the
// command line's (analysis/combinaison_tests, analysis/description_test).

#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>
#include <cmath>

#include "analysis/combinaison_tests.h"
#include "analysis/description_test.h"
#include "analysis/ouverture.h"
#include "analysis/reconstruction.h"
#include "files/ecriture.h"
#include "settings/preferences.h"
#include "ui/arriere_plan.h"
#include "ui/coefficients.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"
#include "ui/fenetres_tests.h"
#include "ui/panneau_infos.h"

namespace quelvane {

namespace {

const QString FiltreTests = QStringLiteral("Tests Quelvane (*.qvt)");

QString Nom(const QString& chemin) { return QFileInfo(chemin).fileName(); }

}  // namespace

const TMainForm::TTestOuvert* TMainForm::TestOuvert(const TPupille* champ) const {
  if (!champ) return nullptr;
  for (const TTestOuvert& t : testsOuverts_)
    if (t.Test && t.Test->FrontOnde.get() == champ) return &t;
  return nullptr;
}

const TTestEnregistre* TMainForm::TestEnregistre(const TPupille* champ) const {
  const TTestOuvert* t = TestOuvert(champ);
  return t ? t->Enregistre.get() : nullptr;
}

bool TMainForm::JeuCompatible(const TTestEnregistre& t, const QString& nom) {
  const TJeuZernike& jeu = JeuZernike();
  if (t.NbTermes == jeu.NbTermes && t.TypePolynomes == jeu.Type) return true;
  auto type = [](int x) {
    return x == PolyMahajan ? QStringLiteral("annulaires") : QStringLiteral("classiques");
  };
  Dialogues().Avertir(
      this, QStringLiteral("%1 a été fait avec %2 polynômes de Zernike %3 ; les préférences en "
                           "demandent %4 %5. Changez-les (Préférences) pour l'ouvrir.")
                .arg(nom)
                .arg(t.NbTermes)
                .arg(type(t.TypePolynomes))
                .arg(jeu.NbTermes)
                .arg(type(jeu.Type)));
  return false;
}

TForm1* TMainForm::MontrerTest(TTestEnregistre t, const QString& legende) {
  // Windows gone take their tests with them.
  std::erase_if(testsOuverts_, [this](const TTestOuvert& o) {
    for (TForm1* w : Fenetres())
      if (w->Champ() == o.Test->FrontOnde.get()) return false;
    return true;
  });
  auto front = std::make_shared<TPupille>(t.Front);
  front->Palette = Preferences.PltFront;
  front->MasqueVisible = 1;
  TTestOuvert o;
  o.Enregistre = std::make_shared<TTestEnregistre>(std::move(t));
  o.Test = std::shared_ptr<TRoddier>(TestDepuisEnregistre(*o.Enregistre, front));
  o.Parametres = ParametresDepuisJson(o.Enregistre->Parametres);
  testsOuverts_.push_back(o);
  TForm1* w = NouvelleFenetre(front, legende, false);
  coefs_->show();
  coefs_->RemplirListe(w);
  infos_->Actualiser();
  infos_->AfficherResultats();
  return w;
}

void TMainForm::EnregistrerLeTest() {
  const TPupille* champ = active_ ? active_->Champ() : nullptr;
  if (!champ || champ->Role != RoleFront) {
    Dialogues().Avertir(this, QStringLiteral("Action impossible. Sélectionnez un front d'onde."));
    return;
  }
  TTestEnregistre t;
  if (const TTestOuvert* o = TestOuvert(champ)) {
    t = *o->Enregistre;
    t.Front = *champ;  // as shown now: its choice of terms
  } else if (const TRoddier* test = TestDuChamp(champ); test && test->FrontOnde.get() == champ) {
    // The images it was made of, by their files.
    std::vector<std::string> intra, extra;
    for (TForm1* w : Fenetres())
      for (const QString& f : w->FichiersSerie) {
        if (w->Champ() && w->Champ() == ParametresTest.ImageIntra) intra.push_back(f.toStdString());
        if (w->Champ() && w->Champ() == ParametresTest.ImageExtra) extra.push_back(f.toStdString());
      }
    std::string date = ParametresTest.ImageIntra ? ParametresTest.ImageIntra->Infos.DateObs : "";
    if (date.empty() && ParametresTest.ImageExtra) date = ParametresTest.ImageExtra->Infos.DateObs;
    t = DecrireTest(*champ, ParametresTest, Preferences, test->Preparation,
                    SourcesDuTest(intra, extra), date);
  } else {
    Dialogues().Avertir(this, QStringLiteral("Action impossible. Ce front d'onde n'est pas celui "
                                             "d'un test (reconstruisez-le d'abord)."));
    return;
  }
  auto nom = Dialogues().FichierAEnregistrer(this, QStringLiteral("Enregistrer le test"),
                                             FiltreTests, QStringLiteral("test.qvt"));
  if (!nom) return;
  if (!nom->endsWith(QStringLiteral(".qvt"), Qt::CaseInsensitive)) *nom += QStringLiteral(".qvt");
  try {
    EnregistrerTest(t, nom->toStdString());
  } catch (const ErreurEcriture& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  AjouterRecent(session_, QFileInfo(*nom).absoluteFilePath().toStdString(), false);
  EnregistrerSession();
  statusBar()->showMessage(QStringLiteral("Test enregistré : %1").arg(*nom));
}

void TMainForm::OuvrirUnTest() {
  const auto nom = Dialogues().FichierAOuvrir(this, QStringLiteral("Ouvrir un test"), FiltreTests,
                                              QString::fromStdString(Preferences.DossierImages));
  if (nom) OuvrirFichierTest(*nom);
}

bool TMainForm::OuvrirFichierTest(const QString& chemin) {
  TTestEnregistre t;
  try {
    t = OuvrirTest(chemin.toStdString());
  } catch (const ErreurFichierTest& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return false;
  }
  if (!JeuCompatible(t, Nom(chemin))) return false;
  // The images it was made of, if they are still there and the same: said, not required.
  QStringList absentes;
  for (const TSourceImage& s : t.Sources)
    if (const std::string m = VerifierSource(s); !m.empty()) absentes << QString::fromStdString(m);
  const QString legende = t.Nature == "moyenne" ? QStringLiteral("Moyenne %1").arg(Nom(chemin))
                          : t.Nature == "difference"
                              ? QStringLiteral("Différence %1").arg(Nom(chemin))
                              : QStringLiteral("Test %1").arg(Nom(chemin));
  MontrerTest(std::move(t), legende);
  AjouterRecent(session_, QFileInfo(chemin).absoluteFilePath().toStdString(), false);
  EnregistrerSession();
  statusBar()->showMessage(absentes.isEmpty() ? QStringLiteral("Test ouvert : %1").arg(chemin)
                                              : absentes.join(QLatin1Char(' ')));
  return true;
}

std::optional<std::vector<TTestEnregistre>> TMainForm::LireTests(const QStringList& fichiers) {
  std::vector<TTestEnregistre> tests;
  for (const QString& f : fichiers) {
    try {
      tests.push_back(OuvrirTest(f.toStdString()));
    } catch (const ErreurFichierTest& e) {
      Dialogues().Avertir(this, QString::fromStdString(e.what()));
      return std::nullopt;
    }
    if (!JeuCompatible(tests.back(), Nom(f))) return std::nullopt;
  }
  return tests;
}

void TMainForm::MoyenneDeTests() {
  const auto fichiers =
      Dialogues().FichiersAOuvrir(this, QStringLiteral("Moyenne de tests"), FiltreTests, QString());
  if (!fichiers) return;
  if (fichiers->size() < 2) {
    Dialogues().Avertir(this, QStringLiteral("Choisissez au moins deux tests pour une moyenne."));
    return;
  }
  const auto tests = LireTests(*fichiers);
  if (!tests) return;
  bool plusieursAngles = false;
  for (const TTestEnregistre& t : *tests)
    plusieursAngles = plusieursAngles || t.RotationDeg != tests->front().RotationDeg;
  const bool separer =
      plusieursAngles &&
      Dialogues().Demander(this,
                           QStringLiteral("Les tests ont été faits à plusieurs angles de "
                                          "l'optique sur son barillet. Séparer les termes du "
                                          "banc (astigmatisme, coma…) de ceux de l'optique ?"));
  std::vector<std::string> noms;
  for (const QString& f : *fichiers) noms.push_back(Nom(f).toStdString());
  TTestEnregistre moyenne;
  try {
    if (!ExecuterEnArrierePlan(*progression_, [&](IProgression&) {
          moyenne = MoyenneDesTests(*tests, noms, separer);
        }))
      return;
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  const QString legende = QStringLiteral("Moyenne de %1 tests").arg(tests->size());
  if (!moyenne.TermesBanc.empty() || !moyenne.NoteSeparation.empty()) {
    if (!banc_) banc_ = new TFormBanc(this);
    banc_->Afficher(moyenne, Preferences.NormRMS, Preferences.NDecNano, legende);
    banc_->show();
    banc_->raise();
  }
  MontrerTest(std::move(moyenne), legende);
}

void TMainForm::DifferenceDeTests() {
  const auto a = Dialogues().FichierAOuvrir(this, QStringLiteral("Différence : le test (A)"),
                                            FiltreTests, QString());
  if (!a) return;
  const auto b = Dialogues().FichierAOuvrir(
      this, QStringLiteral("Différence : le test à soustraire (B)"), FiltreTests, QString());
  if (!b) return;
  const auto tests = LireTests({*a, *b});
  if (!tests) return;
  TTestEnregistre d;
  try {
    d = DifferenceDesTests((*tests)[0], (*tests)[1], Nom(*a).toStdString(), Nom(*b).toStdString());
  } catch (const ErreurCombinaison& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  MontrerTest(std::move(d), QStringLiteral("Différence %1 - %2").arg(Nom(*a), Nom(*b)));
}

void TMainForm::TendanceDeTests() {
  const auto fichiers =
      Dialogues().FichiersAOuvrir(this, QStringLiteral("Tendance"), FiltreTests, QString());
  if (!fichiers || fichiers->isEmpty()) return;
  const auto tests = LireTests(*fichiers);
  if (!tests) return;
  std::vector<std::string> noms;
  for (const QString& f : *fichiers) noms.push_back(Nom(f).toStdString());
  if (!tendance_) tendance_ = new TFormTendance(this);
  tendance_->Afficher(Tendance(*tests, noms), TermesSuivis({}, tests->front().NbTermes),
                      QStringLiteral("%1 tests").arg(tests->size()));
  tendance_->show();
  tendance_->raise();
}

void TMainForm::SurveillerUnDossier() {
  QAction* action = Action(QStringLiteral("Surveiller un dossier"));
  if (!action) action = Action(QStringLiteral("Arrêter la surveillance"));
  if (surveillance_) {
    minuterie_->stop();
    surveillance_.reset();
    if (action) action->setText(QStringLiteral("Surveiller un dossier"));
    statusBar()->showMessage(QStringLiteral("Surveillance arrêtée."));
    return;
  }
  const TParametresTest& p = ParametresTest;
  if (!(p.DistanceFocale > 0 && p.RayonInstrument > 0 && p.Defocalisation > 0)) {
    Dialogues().Avertir(this, QStringLiteral("Saisissez d'abord les paramètres du test (Saisie › "
                                             "Paramètres du test) : chaque paire du dossier sera "
                                             "reconstruite avec eux."));
    return;
  }
  const auto dossier =
      Dialogues().ChoisirDossier(this, QStringLiteral("Surveiller un dossier"),
                                 QString::fromStdString(Preferences.DossierImages));
  if (!dossier) return;
  parametresSurveillance_ = p;
  surveillance_ =
      std::make_unique<TSurveillance>(dossier->toStdString(), false, StabiliteSurveillance);
  testsSurveilles_.clear();
  nomsSurveilles_.clear();
  if (!minuterie_) {
    minuterie_ = new QTimer(this);
    minuterie_->setInterval(2000);
    connect(minuterie_, &QTimer::timeout, this, &TMainForm::ExaminerDossierSurveille);
  }
  minuterie_->start();
  if (action) action->setText(QStringLiteral("Arrêter la surveillance"));
  statusBar()->showMessage(
      QStringLiteral("Surveillance de %1 : chaque paire intra/extra devient un test.")
          .arg(*dossier));
}

void TMainForm::ExaminerDossierSurveille() {
  // The progress window runs its own event loop: a look already under way is not repeated.
  if (!surveillance_ || examenEnCours_) return;
  examenEnCours_ = true;
  struct TFin {
    bool& b;
    ~TFin() { b = false; }
  } fin{examenEnCours_};
  std::vector<TPaireArrivee> paires;
  try {
    paires = surveillance_->Examiner();
  } catch (const ErreurSurveillance& e) {
    SurveillerUnDossier();  // stops
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  for (const TPaireArrivee& paire : paires) {
    const std::filesystem::path chemin = CheminDuTest(surveillance_->Dossier(), paire.Nom);
    TTestEnregistre t;
    try {
      if (!ExecuterEnArrierePlan(*progression_, [&](IProgression& pr) {
            TOptionsOuverture options;
            options.PourcentGarde = Preferences.PartEmpilement;
            const std::vector<std::string> fi = {paire.Intra.string()}, fe = {paire.Extra.string()};
            const TImageOuverte intra = OuvrirCoteDuTest(fi, false, Preferences, options, pr);
            const TImageOuverte extra = OuvrirCoteDuTest(fe, true, Preferences, options, pr);
            TParametresTest p = parametresSurveillance_;
            p.ImageIntra = intra.Image.get();
            p.ImageExtra = extra.Image.get();
            p.ModeTraitement = ModeSimple;
            const auto test = ReconstruireSimple(p, Preferences, JeuZernike(), pr);
            std::string date = intra.Image->Infos.DateObs;
            if (date.empty()) date = extra.Image->Infos.DateObs;
            t = DecrireTest(*test->FrontOnde, p, Preferences, test->Preparation,
                            SourcesDuTest(fi, fe), date);
            EnregistrerTest(t, chemin.string());
          }))
        return;
    } catch (const std::exception& e) {
      // One bad pair does not end the watch: said in the status bar, the next one comes.
      statusBar()->showMessage(QStringLiteral("%1 : %2").arg(QString::fromStdString(paire.Nom),
                                                             QString::fromStdString(e.what())));
      continue;
    }
    testsSurveilles_.push_back(t);
    nomsSurveilles_.push_back(chemin.filename().string());
    if (fenetreSurveillance_) {
      if (QWidget* cadre = fenetreSurveillance_->parentWidget()) cadre->close();
    }
    fenetreSurveillance_ = MontrerTest(
        std::move(t),
        QStringLiteral("Surveillance %1").arg(QString::fromStdString(chemin.filename().string())));
    if (!tendance_) tendance_ = new TFormTendance(this);
    tendance_->Afficher(Tendance(testsSurveilles_, nomsSurveilles_),
                        TermesSuivis({}, testsSurveilles_.front().NbTermes),
                        QStringLiteral("surveillance"));
    tendance_->show();
  }
}

}  // namespace quelvane
