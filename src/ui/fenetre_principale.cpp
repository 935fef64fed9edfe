#include "ui/fenetre_principale.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include "analysis/analyse_front.h"
#include "analysis/description_test.h"
#include "analysis/ouverture.h"
#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "core/ajustement.h"
#include "core/parallele.h"
#include "files/fits.h"
#include "files/jpeg.h"
#include "files/nombres.h"
#include "report/rapport.h"
#include "settings/demonstration.h"
#include "settings/parametres.h"
#include "settings/preferences.h"
#include "settings/session.h"
#include "simulation/foucault.h"
#include "simulation/interferogramme.h"
#include "simulation/psf.h"
#include "simulation/seidel.h"
#include "simulation/spots.h"
#include "ui/aide.h"
#include "ui/arriere_plan.h"
#include "ui/coefficients.h"
#include "ui/dialogue_preferences.h"
#include "ui/dialogues.h"
#include "ui/fenetre_ftm.h"
#include "ui/fenetre_qualite.h"
#include "ui/fenetre_rapport.h"
#include "ui/fenetres_resultats.h"
#include "ui/fenetres_tests.h"
#include "ui/panneau_infos.h"
#include "ui/placement.h"

namespace quelvane {

namespace {

const QStringList EntreesZoom = {"25%", "50%", "75%", "100%", "150%", "200%", "300%"};

struct TFamille {
  const char* Entree;
  const char* Nom;  // in the confirmation
  std::vector<int> Roles;
};
const TFamille Familles[] = {
    {"Extrafocales", "Image intra/extrafocale", {RoleIntra, RoleExtra}},
    {"Fronts d'onde", "Front d'onde", {RoleFront, RoleResidu}},
    {"Interférogrammes", "Interférogramme", {RoleInterferogramme}},
    {"Foucaultgrammes", "Foucaultgramme", {RoleFoucault}},
    {"Spots diagrammes", "Spots", {RoleSpot}},
};

const QString FiltreFITS = QStringLiteral(
    "Images Fits et vidéos SER (*.fit *.fits *.fts *.FIT *.FITS *.FTS *.ser *.SER);;"
    "Images Fits (*.fit *.fits *.fts *.FIT *.FITS *.FTS);;Vidéos SER (*.ser *.SER)");

}  // namespace

TMainForm::TMainForm(QString cheminPreferences, QWidget* parent)
    : QMainWindow(parent), CheminPreferences(std::move(cheminPreferences)) {
  setWindowTitle(
      QStringLiteral("%1 %2").arg(QString::fromUtf8(NomProduit), QString::fromUtf8(Version)));
  zone_ = new QMdiArea(this);
  zone_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  zone_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(zone_);
  setAcceptDrops(true);
  zone_->viewport()->installEventFilter(this);
  connect(zone_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* s) {
    if (s)
      if (auto* f = qobject_cast<TForm1*>(s->widget())) ImageActivee(f);
  });
  zoom_ = new QComboBox(this);
  zoom_->addItems(EntreesZoom);
  zoom_->setCurrentIndex(IndiceZoomCent);
  connect(zoom_, &QComboBox::activated, this, &TMainForm::ChangerZoom);
  aide_ = new TFormAide(this);
  progression_ = new TFormProgress(this);
  aPropos_ = new TAboutBox(this);
  prefs_ = new TPrefs(this, CheminPreferences, [this] {
    aide_->Montrer(prefs_);
    aide_->AfficherAidePreferences();
  });
  infos_ = new TFormInfos(*this);
  addDockWidget(Qt::RightDockWidgetArea, infos_);
  infos_->hide();
  param_ = new TFormParam(this, CheminPreferences);
  coefs_ = new TForm3(this, *aide_);
  // The coefficient list under the panel, both docked at the right: nothing floats over the
  // menus or over a dialog's buttons.
  addDockWidget(Qt::RightDockWidgetArea, coefs_);
  splitDockWidget(infos_, coefs_, Qt::Vertical);
  // The images keep most of the width; the list gets room for its 23 rows.
  resizeDocks({infos_, coefs_}, {380, 380}, Qt::Horizontal);
  resizeDocks({infos_, coefs_}, {430, 400}, Qt::Vertical);
  coefs_->hide();
  connect(coefs_, &TForm3::FrontModifie, this, [this](TForm1* f) {
    if (f != active_) return;
    infos_->Actualiser();
    infos_->AfficherResultats();
  });
  seidel_ = new TFormSeidel(this);
  rvb_ = new TFormRVB(this);
  meridienne_ = new TFormMeridienne(this);
  rapport_ = new TFormRapport(this);
  {
    const QRect zone = ZoneDisponible(this);
    rapport_->resize(zone.width() * 2 / 3, zone.height() * 5 / 6);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{aide_, seidel_, rvb_, meridienne_, rapport_})
    PlacerAuPremierAffichage(*w, *zone_);
  CreerMenus();
  statusBar()->showMessage(QString());
  PlacerFenetrePrincipale(*this, false);
  RestaurerDisposition();
}

TMainForm::~TMainForm() {
  // Windows go first: they may refer to the tests.
  fermetureGenerale_ = true;
  zone_->closeAllSubWindows();
}

QAction* TMainForm::Action(const QString& legende) const {
  for (QAction* a : actions_)
    if (a->text() == legende) return a;
  return nullptr;
}

void TMainForm::CreerMenus() {
  auto ajouter = [this](QMenu* menu, const QString& legende, auto commande,
                        const QKeySequence& raccourci = {}, const QString& aide = {}) {
    QAction* a = menu->addAction(legende);
    if (!raccourci.isEmpty()) a->setShortcut(raccourci);
    a->setStatusTip(aide.isEmpty() ? QString(legende).remove('&') : aide);
    // An entry whose command is not in the program yet is shown disabled, not silent.
    if constexpr (!std::is_same_v<decltype(commande), std::nullptr_t>)
      connect(a, &QAction::triggered, this, commande);
    else
      a->setEnabled(false);
    actions_.push_back(a);
    return a;
  };
  QMenu* fichier = menuBar()->addMenu(QStringLiteral("&Fichier"));
  QAction* nouveau =
      ajouter(fichier, QStringLiteral("&Nouveau test"), &TMainForm::NouveauTest,
              QKeySequence(QStringLiteral("Ctrl+N")),
              QStringLiteral("Fermer toutes les images et commencer un nouveau test"));
  QAction* ouvrir = ajouter(fichier, QStringLiteral("&Ouvrir"), &TMainForm::Ouvrir,
                            QKeySequence(QStringLiteral("Ctrl+O")),
                            QStringLiteral("Ouvrir une image intrafocale"));
  ajouter(fichier, QStringLiteral("Ouvrir comme extrafocale"), &TMainForm::OuvrirExtrafocale,
          QKeySequence(QStringLiteral("Ctrl+Alt+O")),
          QStringLiteral("Ouvrir une image extrafocale"));
  ajouter(fichier, QStringLiteral("Ouvrir une série intrafocale"), &TMainForm::OuvrirSerieIntra, {},
          QStringLiteral("Empiler une vidéo SER, un cube FITS ou plusieurs images intrafocales"));
  ajouter(fichier, QStringLiteral("Ouvrir une série extrafocale"), &TMainForm::OuvrirSerieExtra, {},
          QStringLiteral("Empiler une vidéo SER, un cube FITS ou plusieurs images extrafocales"));
  ajouter(fichier, QStringLiteral("Ouvrir un test"), &TMainForm::OuvrirUnTest, {},
          QStringLiteral("Rouvrir un test enregistré (front d'onde, coefficients et leurs ±)"));
  ajouter(fichier, QStringLiteral("Enregistrer le test"), &TMainForm::EnregistrerLeTest, {},
          QStringLiteral("Enregistrer le test du front d'onde actif : paramètres, images "
                         "sources, coefficients et carte"));
  ajouter(fichier, QStringLiteral("Surveiller un dossier"), &TMainForm::SurveillerUnDossier, {},
          QStringLiteral("Chaque nouvelle paire intra/extra du dossier devient un test"));
  recents_ = fichier->addMenu(QStringLiteral("Fichiers récents"));
  ajouter(fichier, QStringLiteral("Importer une image jpeg"), &TMainForm::ImporterJPEG);
  ajouter(fichier, QStringLiteral("&Fermer"), &TMainForm::Fermer);
  QMenu* familles = fichier->addMenu(QStringLiteral("Fermer une famille..."));
  for (int i = 0; i < 5; ++i)
    ajouter(familles, QString::fromUtf8(Familles[i].Entree), [this, i] { FermerFamille(i); });
  QAction* enregistrer = ajouter(
      fichier, QStringLiteral("&Enregistrer"),
      [this] {
        if (FocusDansLaListe())
          coefs_->EnregistrerCoefficients();
        else if (active_)
          active_->Enregistrer();
      },
      QKeySequence(QStringLiteral("Ctrl+S")));
  ajouter(
      fichier, QStringLiteral("Enregistrer &sous..."),
      [this] {
        if (active_) active_->EnregistrerSous();
      },
      QKeySequence(QStringLiteral("Ctrl+Alt+S")));
  ajouter(fichier, QStringLiteral("Enregistrer les coefficients de Zernike"), [this] {
    if (!Fenetres().empty()) coefs_->EnregistrerCoefficients();
  });
  ajouter(fichier, QStringLiteral("Exporter le front d'onde"), [this] {
    if (active_) active_->Exporter();
  });
  QAction* imprimer = ajouter(
      fichier, QStringLiteral("Im&primer"),
      [this] {
        if (active_) active_->Imprimer();
      },
      QKeySequence(QStringLiteral("Ctrl+P")));
  fichier->addSeparator();
  ajouter(
      fichier, QStringLiteral("&Quitter"), [this] { close(); },
      QKeySequence(QStringLiteral("Ctrl+Q")));

  QMenu* edition = menuBar()->addMenu(QStringLiteral("&Edition"));
  edition->menuAction()->setVisible(false);
  QAction* couper = ajouter(edition, QStringLiteral("&Couper"), nullptr, QKeySequence::Cut);
  QAction* copier = ajouter(edition, QStringLiteral("Co&pier"), nullptr, QKeySequence::Copy);
  QAction* coller = ajouter(edition, QStringLiteral("C&oller"), nullptr, QKeySequence::Paste);

  QMenu* fenetre = menuBar()->addMenu(QStringLiteral("Fe&nêtre"));
  QAction* cascade =
      ajouter(fenetre, QStringLiteral("&Cascade"), [this] { zone_->cascadeSubWindows(); });
  QAction* horizontale =
      ajouter(fenetre, QStringLiteral("Mosaïque &horizontale"), &TMainForm::MosaiqueHorizontale);
  QAction* verticale =
      ajouter(fenetre, QStringLiteral("Mosaïque &verticale"), &TMainForm::MosaiqueVerticale);
  ajouter(fenetre, QStringLiteral("&Tout réduire"), [this] {
    for (QMdiSubWindow* s : zone_->subWindowList()) s->showMinimized();
  });
  ajouter(fenetre, QStringLiteral("Tout ré&organiser"), [this] { zone_->tileSubWindows(); });
  ajouter(fenetre, QStringLiteral("Afficher les informations"), [this] {
    if (!Fenetres().empty()) infos_->show();
  });
  QAction* separateurListe = fenetre->addSeparator();
  connect(fenetre, &QMenu::aboutToShow, this, [this, fenetre, separateurListe] {
    // The list of open image windows, after the arrangement entries.
    const auto actions = fenetre->actions();
    for (int i = actions.indexOf(separateurListe) + 1; i < actions.size(); ++i) {
      fenetre->removeAction(actions[i]);
      actions[i]->deleteLater();
    }
    int n = 1;
    for (QMdiSubWindow* s : zone_->subWindowList()) {
      QAction* a = fenetre->addAction(QStringLiteral("&%1 %2").arg(n++).arg(s->windowTitle()));
      a->setCheckable(true);
      a->setChecked(s == zone_->currentSubWindow());
      connect(a, &QAction::triggered, this, [this, s] { zone_->setActiveSubWindow(s); });
    }
  });

  QMenu* image = menuBar()->addMenu(QStringLiteral("Image"));
  QAction* symetrie = ajouter(image, QStringLiteral("Symétrie 180°"), &TMainForm::Symetrie);
  ajouter(image, QStringLiteral("Centrer"), &TMainForm::Centrer);
  ajouter(image, QStringLiteral("Méridienne"), &TMainForm::CommandeMeridienne);
  ajouter(image, QStringLiteral("Qualité des images de la série"),
          [this] { QualiteSerie(active_); });

  QMenu* saisie = menuBar()->addMenu(QStringLiteral("Saisie"));
  QAction* parametres =
      ajouter(saisie, QStringLiteral("Paramètres du test"), &TMainForm::ParametresDuTest);
  ajouter(saisie, QStringLiteral("Paramètres des simulations"), &TMainForm::SaisieSimulation);
  ajouter(saisie, QStringLiteral("Valeurs d'alerte"), &TMainForm::SaisieAlertes);

  QMenu* calcul = menuBar()->addMenu(QStringLiteral("Calcul"));
  ajouter(calcul, QStringLiteral("Signal"), &TMainForm::Signal);
  ajouter(calcul, QStringLiteral("Front d'onde"), &TMainForm::FrontDOnde);
  ajouter(calcul, QStringLiteral("Roddier"), &TMainForm::Roddier);
  QAction* reconstruire =
      ajouter(calcul, QStringLiteral("Reconstruire le front d'onde"), &TMainForm::Reconstruire);
  ajouter(calcul, QStringLiteral("Ajuster"), &TMainForm::Ajuster);
  QAction* interfero =
      ajouter(calcul, QStringLiteral("Interférogramme"), &TMainForm::Interferogramme);
  QAction* psf = ajouter(calcul, QStringLiteral("PSF"), &TMainForm::PSF);
  ajouter(calcul, QStringLiteral("FFT"), &TMainForm::CalculFFT);
  QAction* foucault = ajouter(calcul, QStringLiteral("Foucaultgramme"), &TMainForm::Foucaultgramme);
  QAction* spots = ajouter(calcul, QStringLiteral("Spots"), &TMainForm::Spots);
  ajouter(calcul, QStringLiteral("FTM et énergie encerclée"), &TMainForm::FTM);

  QMenu* resultats = menuBar()->addMenu(QStringLiteral("Résultats"));
  ajouter(resultats, QStringLiteral("Coefficients de Zernike"), &TMainForm::AfficherCoefficients);
  ajouter(resultats, QStringLiteral("Aberrations de Seidel"), &TMainForm::Seidel);
  ajouter(resultats, QStringLiteral("Trichromie"), &TMainForm::Trichromie);
  ajouter(resultats, QStringLiteral("Front résiduel"), &TMainForm::FrontResiduel);
  ajouter(resultats, QStringLiteral("Images après correction"), &TMainForm::ImagesApresCorrection);
  ajouter(resultats, QStringLiteral("Editer un rapport"), &TMainForm::EditerRapport);
  resultats->addSeparator();
  ajouter(resultats, QStringLiteral("Moyenne de tests"), &TMainForm::MoyenneDeTests, {},
          QStringLiteral("Moyenne de tests enregistrés, rotations de l'optique défaites"));
  ajouter(resultats, QStringLiteral("Différence de deux tests"), &TMainForm::DifferenceDeTests, {},
          QStringLiteral("Un test moins un autre : ce que la retouche a changé"));
  ajouter(resultats, QStringLiteral("Tendance"), &TMainForm::TendanceDeTests, {},
          QStringLiteral("Évolution des termes, du RMS et du Strehl au fil de la nuit"));

  QAction* preferences = menuBar()->addAction(QStringLiteral("Préférences"));
  preferences->setStatusTip(QStringLiteral("Préférences"));
  connect(preferences, &QAction::triggered, this, &TMainForm::EditerPreferences);
  actions_.push_back(preferences);

  QMenu* aide = menuBar()->addMenu(QStringLiteral("&Aide"));
  QAction* documentation = ajouter(aide, QStringLiteral("Documentation"), &TMainForm::Documentation,
                                   QKeySequence(Qt::Key_F1));
  ajouter(aide, QStringLiteral("Test de démonstration"), &TMainForm::TestDeDemonstration, {},
          QStringLiteral("Ouvre la paire d'images d'exemple et ses paramètres, prête à "
                         "reconstruire"));
  ajouter(aide, QStringLiteral("&A propos..."), &TMainForm::APropos);

  QToolBar* haut = addToolBar(QStringLiteral("Standard"));
  haut->setObjectName(QStringLiteral("BarreHaute"));
  QAction* nouveauCourt = haut->addAction(QStringLiteral("&Nouveau"));
  nouveauCourt->setStatusTip(nouveau->statusTip());
  connect(nouveauCourt, &QAction::triggered, this, &TMainForm::NouveauTest);
  haut->addAction(ouvrir);
  QAction* sauver = haut->addAction(QStringLiteral("Enregistrer"));
  sauver->setStatusTip(enregistrer->statusTip());
  connect(sauver, &QAction::triggered, enregistrer, &QAction::trigger);
  for (QAction* a : {imprimer, couper, copier, coller, symetrie, cascade, horizontale, verticale})
    haut->addAction(a);
  haut->addWidget(zoom_);
  // Icons where the platform has one; the other buttons keep their caption.
  const std::pair<QAction*, QStyle::StandardPixmap> icones[] = {
      {nouveauCourt, QStyle::SP_FileIcon},
      {ouvrir, QStyle::SP_DialogOpenButton},
      {sauver, QStyle::SP_DialogSaveButton},
      {symetrie, QStyle::SP_BrowserReload},
      {documentation, QStyle::SP_DialogHelpButton}};
  for (const auto& [action, icone] : icones) action->setIcon(style()->standardIcon(icone));
  QAction* plus = haut->addAction(QStringLiteral("Zoom +"));
  plus->setStatusTip(QStringLiteral("Agrandir l'image active"));
  connect(plus, &QAction::triggered, this, &TMainForm::ZoomPlus);
  QAction* moins = haut->addAction(QStringLiteral("Zoom -"));
  moins->setStatusTip(QStringLiteral("Réduire l'image active"));
  connect(moins, &QAction::triggered, this, &TMainForm::ZoomMoins);
  haut->addAction(documentation);
  addToolBarBreak();
  QToolBar* bas = addToolBar(QStringLiteral("Calcul"));
  bas->setObjectName(QStringLiteral("BarreBasse"));
  for (QAction* a : {parametres, reconstruire, interfero, psf, foucault, spots}) bas->addAction(a);
}

std::vector<TForm1*> TMainForm::Fenetres() const {
  std::vector<TForm1*> f;
  for (QMdiSubWindow* s : zone_->subWindowList())
    if (auto* image = qobject_cast<TForm1*>(s->widget())) f.push_back(image);
  return f;
}

TForm1* TMainForm::NouvelleFenetre(std::shared_ptr<TPupille> champ, const QString& legende,
                                   bool proprietaire) {
  auto* f = new TForm1(*this, std::move(champ), proprietaire, zoom_->currentIndex());
  f->setWindowTitle(legende);
  connect(f, &TForm1::ChampModifie, this, [this] { infos_->Actualiser(); });
  QMdiSubWindow* s = zone_->addSubWindow(f);
  s->setAttribute(Qt::WA_DeleteOnClose);
  f->Visualiser();
  // The whole caption readable beside the title bar's buttons.
  s->setMinimumWidth(std::min(s->fontMetrics().horizontalAdvance(legende) + 110, 600));
  s->adjustSize();
  s->show();
  PlacerFenetre(s);
  zone_->setActiveSubWindow(s);
  ImageActivee(f);
  return f;
}

void TMainForm::PlacerFenetre(QMdiSubWindow* nouvelle) {
  // When the area is full the area's own placement puts a window exactly over another: it then
  // steps down and right from the last one, back to the top-left corner past the area's edge.
  const auto autres = zone_->subWindowList(QMdiArea::CreationOrder);
  auto occupee = [&](QPoint p) {
    for (QMdiSubWindow* w : autres)
      if (w != nouvelle && w->isVisible() && (w->pos() - p).manhattanLength() < 8) return true;
    return false;
  };
  const int pas = nouvelle->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, nouvelle) + 4;
  const QRect zone = zone_->viewport()->rect();
  QPoint p = nouvelle->pos();
  for (int essai = 0; essai < 64 && occupee(p); ++essai) {
    p += QPoint(pas, pas);
    if (p.x() + 100 > zone.right() || p.y() + 60 > zone.bottom())
      p = QPoint((essai % 8) * pas / 2, 0);
  }
  // Wholly within the area when it fits there, its title bar always.
  p.setX(std::max(0, std::min(p.x(), zone.width() - nouvelle->width())));
  p.setY(std::max(0, std::min(p.y(), zone.height() - nouvelle->height())));
  if (p != nouvelle->pos()) nouvelle->move(p);
}

void TMainForm::ImageActivee(TForm1* fenetre) {
  if (active_ == fenetre) return;
  active_ = fenetre;
  if (!fenetre || !fenetre->Champ()) return;
  infos_->Actualiser();
  if (fenetre->Champ()->Role == RoleFront || fenetre->Champ()->Role == RoleResidu)
    infos_->AfficherResultats();
}

void TMainForm::ImageFermee(TForm1* fenetre) {
  param_->Retirer(fenetre);
  // References to the closing window's field in the test parameters go with it.
  for (TPupille** p :
       {&ParametresTest.ImageIntra, &ParametresTest.ImageExtra, &ParametresTest.IntraBleu,
        &ParametresTest.ExtraBleu, &ParametresTest.IntraVert, &ParametresTest.ExtraVert,
        &ParametresTest.IntraRouge, &ParametresTest.ExtraRouge})
    if (*p == fenetre->Champ()) *p = nullptr;
  for (TForm1* autre : Fenetres())
    if (autre != fenetre) autre->OublierFrontSource(fenetre->Champ());
  if (active_ == fenetre) active_ = nullptr;
  if (coefs_->Source() == fenetre) coefs_->RemplirListe(nullptr);
  // The result forms go with the window they describe.
  if (seidel_->Source() == fenetre) seidel_->hide();
  if (rvb_->Decrit(fenetre)) rvb_->hide();
  if (meridienne_->Source() == fenetre) meridienne_->hide();
  if (Fenetres().size() <= 1) {
    active_ = nullptr;
    infos_->hide();
    coefs_->hide();
  }
}

void TMainForm::LectureCurseur(TForm1* fenetre, int colonne, int ligne) {
  if (fenetre != active_) return;
  const TPupille& c = *fenetre->Champ();
  DerniereLecture = QStringLiteral("(%1, %2) : %3")
                        .arg(colonne)
                        .arg(ligne)
                        .arg(QString::fromStdString(
                            FormaterFixe(c.V(ligne - 1, colonne - 1), Preferences.NDecADU)));
  statusBar()->showMessage(DerniereLecture);
  infos_->AfficherCurseur(*fenetre, colonne, ligne);
}

void TMainForm::OuvrirImage(bool extra) {
  const auto nom = Dialogues().FichierAOuvrir(
      this,
      extra ? QStringLiteral("Ouvrir une image extrafocale") : QStringLiteral("Ouvrir une image"),
      FiltreFITS, QString::fromStdString(Preferences.DossierImages));
  if (!nom) return;
  OuvrirFichier(*nom, extra);
}

bool TMainForm::OuvrirFichier(const QString& nom, bool extra) {
  return OuvrirFichiers({nom}, extra);
}

bool TMainForm::OuvrirFichiers(const QStringList& noms, bool extra) {
  std::vector<std::string> fichiers;
  for (const QString& n : noms) fichiers.push_back(n.toStdString());
  TOptionsOuverture options;
  options.PourcentGarde = Preferences.PartEmpilement;
  TImageOuverte ouverte;
  try {
    if (!ExecuterEnArrierePlan(*progression_, [&](IProgression& p) {
          ouverte = OuvrirCoteDuTest(fichiers, extra, Preferences, options, p);
        }))
      return false;
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return false;
  }
  infos_->show();
  const QString legende = QString::fromStdString(ouverte.Legende);
  TForm1* f = NouvelleFenetre(ouverte.Image, legende);
  f->Empilement = ouverte.Empilement;
  f->FichiersSerie = noms;
  f->SerieTournee = extra;
  infos_->Actualiser();
  if (extra)
    param_->AjouterExtra(f, legende);
  else
    param_->AjouterIntra(f, legende);
  if (noms.size() == 1) {
    AjouterRecent(session_, QFileInfo(noms[0]).absoluteFilePath().toStdString(), extra);
    EnregistrerSession();
  }
  return true;
}

void TMainForm::OuvrirSerie(bool extra) {
  const auto noms =
      Dialogues().FichiersAOuvrir(this,
                                  extra ? QStringLiteral("Ouvrir une série extrafocale")
                                        : QStringLiteral("Ouvrir une série intrafocale"),
                                  FiltreFITS, QString::fromStdString(Preferences.DossierImages));
  if (!noms) return;
  OuvrirFichiers(*noms, extra);
}

void TMainForm::OuvrirSerieIntra() { OuvrirSerie(false); }
void TMainForm::OuvrirSerieExtra() { OuvrirSerie(true); }

void TMainForm::ChoisirEtoile(TForm1* w) {
  if (!w || !w->Champ()) return;
  TPupille& c = *w->Champ();
  if (c.Role != RoleIntra && c.Role != RoleExtra) return;
  const QString aucune = QStringLiteral("Aucune image d'étoile entière à cet endroit de l'image.");
  if (!w->Empilement) {
    if (!ChoisirEtoileImage(c, w->ColonneCurseur, w->LigneCurseur, Preferences)) {
      Dialogues().Avertir(this, aucune);
      return;
    }
    w->Visualiser();
    infos_->Actualiser();
    return;
  }
  // A stack shows the frames around their star: the point in the frames as the camera saw
  // them, and the series stacked again around the star there.
  double x = w->ColonneCurseur, y = w->LigneCurseur;
  if (w->SerieTournee) x = c.NX + 1 - x, y = c.NY + 1 - y;
  TOptionsOuverture options;
  options.PourcentGarde = Preferences.PartEmpilement;
  options.Etoile = std::pair{x + w->Empilement->ColonneOrigine, y + w->Empilement->LigneOrigine};
  std::vector<std::string> fichiers;
  for (const QString& n : w->FichiersSerie) fichiers.push_back(n.toStdString());
  TImageOuverte ouverte;
  try {
    if (!ExecuterEnArrierePlan(*progression_, [&](IProgression& p) {
          ouverte = OuvrirCoteDuTest(fichiers, w->SerieTournee, Preferences, options, p);
        }))
      return;
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  // The same field object: the test parameters point at it.
  c = std::move(*ouverte.Image);
  w->Empilement = ouverte.Empilement;
  w->setWindowTitle(QString::fromStdString(ouverte.Legende));
  w->Visualiser();
  infos_->Actualiser();
}

void TMainForm::QualiteSerie(TForm1* w) {
  if (!w || !w->Empilement) return;
  if (!qualite_) {
    qualite_ = new TFormQualite(this);
    PlacerAuPremierAffichage(*qualite_, *zone_);
  }
  qualite_->Afficher(*w->Empilement, w->windowTitle());
  qualite_->show();
  qualite_->raise();
}

void TMainForm::OuvrirRecent(int indice) {
  if (indice < 0 || indice >= static_cast<int>(session_.Recents.size())) return;
  const TFichierRecent r = session_.Recents[indice];
  const QString chemin = QString::fromStdString(r.Chemin);
  if (chemin.endsWith(QStringLiteral(".qvt"), Qt::CaseInsensitive))
    OuvrirFichierTest(chemin);
  else
    OuvrirFichier(chemin, r.Extra);
}

void TMainForm::OuvrirDeposes(const QStringList& fichiers) {
  // Test files open as tests. Of the images, the first as intra-focal, the second as
  // extra-focal; a single one is the intra-focal image unless one is open already.
  QStringList images;
  for (const QString& f : fichiers)
    if (f.endsWith(QStringLiteral(".qvt"), Qt::CaseInsensitive)) {
      if (!OuvrirFichierTest(f)) return;
    } else {
      images << f;
    }
  for (int i = 0; i < images.size() && i < 2; ++i) {
    const bool extra = images.size() >= 2 ? i == 1 : !param_->Intra().empty();
    if (!OuvrirFichier(images[i], extra)) return;
  }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e) {
  QStringList fichiers;
  for (const QUrl& u : e->mimeData()->urls())
    if (u.isLocalFile()) fichiers << u.toLocalFile();
  if (fichiers.isEmpty()) return;
  e->acceptProposedAction();
  OuvrirDeposes(fichiers);
}

void TMainForm::RestaurerDisposition() {
  const std::string cheminSession = CheminSession(CheminPreferences.toStdString());
  premierDemarrage_ = !QFileInfo::exists(QString::fromStdString(cheminSession));
  session_ = LireSession(cheminSession);
  DossiersDialogues() = session_.Dossiers;
  if (DossiersDialogues().Ouvertures.empty() && !session_.Recents.empty())
    RetenirDossier(DossiersDialogues(), session_.Recents.front().Chemin, false);
  if (!session_.Geometrie.empty() &&
      restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(session_.Geometrie))))
    PlacerFenetrePrincipale(*this, true);
  if (!session_.Etat.empty())
    restoreState(QByteArray::fromBase64(QByteArray::fromStdString(session_.Etat)));
  // The panel and the list keep their places but show only with an image.
  infos_->hide();
  coefs_->hide();
  RemplirRecents();
}

void TMainForm::EnregistrerSession() {
  RemplirRecents();
  session_.Dossiers = DossiersDialogues();
  try {
    const std::string chemin = CheminSession(CheminPreferences.toStdString());
    CreerDossierPreferences(chemin);
    EcrireSession(session_, chemin);
  } catch (const std::exception& e) {
    // Losing the window placement is not worth interrupting the user.
    statusBar()->showMessage(QString::fromStdString(e.what()));
  }
}

void TMainForm::RemplirRecents() {
  if (!recents_) return;
  recents_->clear();
  int n = 1;
  for (const TFichierRecent& r : session_.Recents) {
    const QString texte = QStringLiteral("&%1 %2%3")
                              .arg(n)
                              .arg(QString::fromStdString(r.Chemin))
                              .arg(r.Extra ? QStringLiteral(" (extrafocale)") : QString());
    const int i = n++ - 1;
    recents_->addAction(texte, this, [this, i] { OuvrirRecent(i); });
  }
  recents_->setEnabled(!session_.Recents.empty());
}

void TMainForm::Ouvrir() { OuvrirImage(false); }
void TMainForm::OuvrirExtrafocale() { OuvrirImage(true); }

void TMainForm::Fermer() {
  if (QMdiSubWindow* s = zone_->currentSubWindow()) s->close();
}

void TMainForm::FermerFenetres(const std::vector<TForm1*>& fenetres) {
  fermetureGenerale_ = true;
  for (auto it = fenetres.rbegin(); it != fenetres.rend(); ++it)
    if (auto* s = qobject_cast<QMdiSubWindow*>((*it)->parentWidget())) s->close();
  fermetureGenerale_ = false;
}

void TMainForm::FermerFamille(int famille) {
  if (famille < 0 || famille > 4) return;
  const TFamille& f = Familles[famille];
  if (!Dialogues().Demander(
          this,
          QStringLiteral("Fermer les images de la famille %1 ?").arg(QString::fromUtf8(f.Nom))))
    return;
  std::vector<TForm1*> choisies;
  for (TForm1* w : Fenetres())
    if (w->Champ() && std::find(f.Roles.begin(), f.Roles.end(), w->Champ()->Role) != f.Roles.end())
      choisies.push_back(w);
  FermerFenetres(choisies);
}

void TMainForm::NouveauTest() {
  const auto fenetres = Fenetres();
  if (fenetres.empty()) return;
  if (!Dialogues().Demander(this, QStringLiteral("Fermer toutes les images ?"))) return;
  FermerFenetres(fenetres);
  active_ = nullptr;
  testCourant_.reset();
  for (auto& t : testsCouleurs_) t.reset();
  infos_->hide();
  coefs_->hide();
  for (QWidget* w : std::initializer_list<QWidget*>{seidel_, rvb_, meridienne_}) w->hide();
  ParametresTest = ParametresInitiaux;
  param_->Reinitialiser();
}

void TMainForm::Symetrie() {
  if (!active_ || !active_->Champ()) return;
  TPupille& c = *active_->Champ();
  c.Symetrie180();
  active_->SerieTournee = !active_->SerieTournee;
  if (c.Role == RoleIntra)
    c.Role = RoleExtra;
  else if (c.Role == RoleExtra)
    c.Role = RoleIntra;
  active_->Visualiser();
}

void TMainForm::Centrer() {
  if (!active_ || !active_->Champ()) return;
  active_->Champ()->Centrer();
  active_->Visualiser();
}

void TMainForm::ChangerZoom(int indice) {
  if (indice < 0 || indice >= static_cast<int>(FacteursZoom.size())) return;
  zoom_->setCurrentIndex(indice);
  if (!active_) return;
  active_->IndiceZoom = indice;
  infos_->ComboBoxZoom->setCurrentIndex(indice);
  active_->Visualiser();
}

void TMainForm::ZoomPlus() {
  if (zoom_->currentIndex() < zoom_->count() - 1) ChangerZoom(zoom_->currentIndex() + 1);
}

void TMainForm::ZoomMoins() {
  if (zoom_->currentIndex() > 0) ChangerZoom(zoom_->currentIndex() - 1);
}

void TMainForm::CalculFFT() {
  if (!active_ || !active_->Champ() || !active_->Champ()->Alloue()) return;
  TPupille spectre;
  try {
    spectre.FFTDirecte(*active_->Champ());
  } catch (const std::length_error& e) {
    Dialogues().Avertir(
        this, QStringLiteral("Action impossible. %1").arg(QString::fromStdString(e.what())));
    return;
  }
  // The spectrum shown as its modulus |F|, on a logarithmic scale (six decades) like a PSF: its
  // real part alone, some millionths of the image's level around one bright centre, drew black.
  auto module = std::make_shared<TPupille>();
  module->Allouer(spectre.NX, spectre.NY);
  module->AxeX = spectre.AxeX;
  module->AxeY = spectre.AxeY;
  module->PasX = spectre.PasX;
  module->PasY = spectre.PasY;
  for (int r = 0; r < spectre.NY; ++r)
    for (int c = 0; c < spectre.NX; ++c) {
      const double re = spectre.Donnees(0, r, c), im = spectre.Donnees(1, r, c);
      module->V(r, c) = std::hypot(re, im);
    }
  module->Role = RolePSF;
  module->Palette = Preferences.PltPSF;
  module->MinMax();
  module->SeuilBas = module->Mini;
  module->SeuilHaut = module->Maxi;
  module->Contraste = 1;
  TForm1* f = NouvelleFenetre(module, QStringLiteral("FFT"));
  f->EchelleLog = true;
  f->setWindowTitle(QStringLiteral("FFT"));
  f->Visualiser();
}

void TMainForm::RafraichirPalettes() {
  // Every kind of picture follows its own palette (Foucault grams stay grey).
  for (TForm1* f : Fenetres()) {
    if (!f->Champ()) continue;
    TPupille& c = *f->Champ();
    if (c.Role < RoleFront) c.Palette = Preferences.PltSignal;
    if (c.Role == RoleFront || c.Role == RoleResidu) c.Palette = Preferences.PltFront;
    if (c.Role == RolePSF || c.Role == RolePSFTheorique || c.Role == RoleSpot)
      c.Palette = Preferences.PltPSF;
    if (c.Role == RoleInterferogramme) c.Palette = Preferences.PltInterfero;
    f->Visualiser();
  }
}

void TMainForm::EditerPreferences() {
  prefs_->exec();
  DefinirNombreFils(FilsDemandes(Preferences));
  // Whatever the answer: palettes, decimals and the term set shown again as they now stand.
  RafraichirPalettes();
  if (coefs_->isVisible()) coefs_->RemplirListe(active_);
  infos_->Actualiser();
  if (active_ && active_->Champ() && active_->Champ()->Role == RoleFront)
    infos_->AfficherResultats();
}

void TMainForm::Signal() {
  if (!ParametresTest.ImageIntra || !ParametresTest.ImageExtra) return;
  std::shared_ptr<TRoddier> test;
  try {
    test = SignalDeLaPaire(*ParametresTest.ImageIntra, *ParametresTest.ImageExtra, Preferences);
  } catch (const ErreurTest& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  testCourant_ = test;
  test->Signal->Palette = Preferences.PltSignal;
  NouvelleFenetre(test->Signal, QStringLiteral("Signal"), false);
}

namespace {

const QString SelectionnezUnFront =
    QStringLiteral("Action impossible. Sélectionnez un front d'onde.");

QString FrontIntrouvable(const QString& quoi) {
  return QStringLiteral("Impossible de modifier %1. Front d'onde introuvable.").arg(quoi);
}

bool EstUnFront(const TPupille* p) { return p && (p->Role == RoleFront || p->Role == RoleResidu); }

}  // namespace

void TMainForm::Activer(TForm1* fenetre) {
  for (QMdiSubWindow* s : zone_->subWindowList())
    if (s->widget() == fenetre) zone_->setActiveSubWindow(s);
  ImageActivee(fenetre);
}

void TMainForm::Serie(const std::function<void(int)>& calculer) {
  TForm1* source = active_;
  for (const int angle :
       AnglesSerie(infos_->SpinEditAngle->value(), infos_->SpinEditPas->value())) {
    calculer(angle);
    Activer(source);
  }
}

void TMainForm::Interferogramme() {
  if (!active_ || !active_->Champ()) return;
  if (!EstUnFront(active_->Champ())) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  if (infos_->CheckBoxSerie->isChecked())
    Serie([this](int a) { CalculerInterferogramme(a, infos_->SpinEditFranges->value()); });
  else
    CalculerInterferogramme(infos_->SpinEditAngle->value(), infos_->SpinEditFranges->value());
}

void TMainForm::Foucaultgramme() {
  if (!active_ || !active_->Champ()) return;
  if (!EstUnFront(active_->Champ())) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  if (infos_->CheckBoxSerie->isChecked())
    Serie([this](int a) { CalculerFoucault(a); });
  else
    CalculerFoucault(infos_->SpinEditAngle->value());
}

void TMainForm::RecalculerSimulation(TForm1& fenetre) {
  if (&fenetre != active_ || !fenetre.Champ()) return;
  if (fenetre.Champ()->Role == RoleInterferogramme)
    CalculerInterferogramme(infos_->SpinEditAngle->value(), infos_->SpinEditFranges->value());
  else if (fenetre.Champ()->Role == RoleFoucault)
    CalculerFoucault(infos_->SpinEditAngle->value());
}

std::optional<TMainForm::TCibleSimulation> TMainForm::CibleSimulation(std::uint8_t role,
                                                                      const QString& nom,
                                                                      const QString& refus) {
  TForm1* w = active_;
  if (!w || !w->Champ()) return std::nullopt;
  TCibleSimulation c;
  if (EstUnFront(w->Champ())) {
    // From a wavefront: a new picture in a new window.
    c.Source = w->ChampPartage();
    c.Cible = std::make_shared<TPupille>();
    c.Nouvelle = true;
    return c;
  }
  if (w->Champ()->Role != role) {
    Dialogues().Avertir(this, refus);
    return std::nullopt;
  }
  // From a picture of the same kind: computed again in place from its wavefront.
  c.Source = w->FrontSource();
  c.Cible = w->ChampPartage();
  if (!c.Source) {
    Dialogues().Avertir(this, FrontIntrouvable(nom));
    return std::nullopt;
  }
  return c;
}

void TMainForm::MontrerSimulation(const TCibleSimulation& c, const QString& legende, bool couleur) {
  TForm1* f = active_;
  if (c.Nouvelle) {
    f = NouvelleFenetre(c.Cible, legende);
    f->DefinirSourceSimulation(c.Source);
  }
  if (couleur) f->CouleurLambda = true;
  f->Visualiser();
}

void TMainForm::CalculerInterferogramme(int angle, int franges) {
  const auto c =
      CibleSimulation(RoleInterferogramme, QStringLiteral("Interférogramme"), SelectionnezUnFront);
  if (!c) return;
  try {
    quelvane::CalculerInterferogramme(*c->Source, angle, franges, Preferences.LambdaInterfero,
                                      Preferences.PltInterfero, *c->Cible);
  } catch (const ErreurSimulation& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  MontrerSimulation(*c, QStringLiteral("Interférogramme%1").arg(angle), true);
}

void TMainForm::CalculerFoucault(int angle) {
  const QString nom = QStringLiteral("Foucaultgramme");
  const auto c = CibleSimulation(RoleFoucault, nom, FrontIntrouvable(nom));
  if (!c) return;
  // The knife reads a wavefront, not a residual.
  if (c->Source->Role != RoleFront) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  quelvane::CalculerFoucault(*c->Source, angle, *c->Cible);
  MontrerSimulation(*c, QStringLiteral("Foucaultgramme%1").arg(angle), false);
}

void TMainForm::PSF() {
  if (!active_ || !active_->Champ()) return;
  if (!EstUnFront(active_->Champ())) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  QComboBox* taille = infos_->ComboBoxTaille;
  if (taille->currentIndex() < 0) taille->setCurrentIndex(Preferences.FactMultDiff);
  // A large PSF takes a while: computed off the interface thread, the windows repaint.
  TPSF psf;
  const TPupille& front = *active_->Champ();
  const int indice = taille->currentIndex();
  try {
    if (!ExecuterEnArrierePlan(*progression_, [&](IProgression&) {
          psf = PSFDuFront(front, indice, Preferences.LambdaRef, Preferences.PltPSF);
        }))
      return;
  } catch (const ErreurSimulation& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  TForm1* f = NouvelleFenetre(psf.Reelle, QStringLiteral("PSF réelle"));
  f->DefinirFrontSource(psf.Theorique);
}

namespace {

// Focal length and pupil radius (nanometres) for a wavefront: its own test's, else the test
// parameters'.
std::pair<double, double> Instrument(const TRoddier* test) {
  if (test && test->FocaleNm > 0 && test->RayonNm > 0) return {test->FocaleNm, test->RayonNm};
  return {ParametresTest.DistanceFocale, ParametresTest.RayonInstrument};
}

}  // namespace

void TMainForm::Spots() {
  if (!active_ || !active_->Champ()) return;
  if (active_->Champ()->Role != RoleFront) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  const auto [f, rho] = Instrument(TestDuChamp(active_->Champ()));
  auto spots = std::make_shared<TPupille>();
  try {
    CalculerSpots(*active_->Champ(),
                  {f, rho, Preferences.LambdaRef, infos_->SpinEditFranges->value()}, *spots);
  } catch (const ErreurSimulation& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  spots->Palette = Preferences.PltPSF;
  NouvelleFenetre(spots, QStringLiteral("Spots"));
}

void TMainForm::FTM() {
  if (!active_ || !active_->Champ()) return;
  if (!EstUnFront(active_->Champ())) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  TAnalysePSF a;
  try {
    a = AnalyserPSF(*active_->Champ(), Preferences.LambdaRef);
  } catch (const ErreurSimulation& e) {
    QApplication::restoreOverrideCursor();
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  const auto [f, rho] = Instrument(TestDuChamp(active_->Champ()));
  // Cut-off D/(λf) in cycles per millimetre.
  const double coupure = f > 0 ? 2 * rho / (Preferences.LambdaRef * f) * 1e6 : 0;
  if (!ftm_) {
    ftm_ = new TFormFTM(this);
    PlacerAuPremierAffichage(*ftm_, *zone_);
  }
  ftm_->Afficher(a, coupure, active_->windowTitle());
  ftm_->show();
  ftm_->raise();
  QApplication::restoreOverrideCursor();
}

void TMainForm::ImporterJPEG() {
  const auto nom =
      Dialogues().FichierAOuvrir(this, QStringLiteral("Ouvrir Image JPeg"),
                                 QStringLiteral("Image jpeg (*.jpeg *.jpg *.JPG *.JPEG)"),
                                 QString::fromStdString(Preferences.DossierImages));
  if (!nom) return;
  // A photograph of tens of megapixels takes a while to decode and to search for its star.
  TImageJPEG image;
  TCadre cadre;
  if (!ExecuterEnArrierePlan(*progression_, [&](IProgression&) {
        image = LireJPEG(nom->toStdString());
        if (image.Reussi()) cadre = CadreUtile(image);
      }))
    return;
  if (!image.Reussi()) {
    Dialogues().Avertir(this, QStringLiteral("Image jpeg illisible : %1\n%2")
                                  .arg(*nom, QString::fromStdString(image.Erreur)));
    return;
  }
  const QString base = QFileInfo(*nom).fileName();
  // A colour picture gives its blue, green and red planes as three intra-focal images, each
  // with its colour's wavelength; a grey one gives one image, at the reference wavelength.
  struct TPlan {
    int Octet;
    double Lambda;
    const char* Nom;
  };
  std::vector<TPlan> plans;
  // Colour wavelengths not set in the preferences (0) would draw the planes in black: the
  // middle of each filter band stands in for them.
  auto lambda = [](double l, double defaut) { return l > 0 ? l : defaut; };
  if (image.Composantes == 3)
    plans = {{2, lambda(Preferences.LambdaB, 465), "Bleu"},
             {1, lambda(Preferences.LambdaV, 540), "Vert"},
             {0, lambda(Preferences.LambdaR, 630), "Rouge"}};
  else
    plans = {{0, Preferences.LambdaRef, "Gris"}};
  // A large picture is cut around its star: three full planes of doubles of a 45-megapixel
  // photograph would take gigabytes for a star of a few hundred pixels.
  const bool recadree = cadre.Largeur != image.Largeur || cadre.Hauteur != image.Hauteur;
  for (const TPlan& p : plans) {
    auto champ = std::make_shared<TPupille>();
    champ->Allouer(cadre.Largeur, cadre.Hauteur);
    for (int r = 0; r < cadre.Hauteur; ++r)
      for (int c = 0; c < cadre.Largeur; ++c)
        champ->V(r, c) = image.Pixels[(static_cast<std::size_t>(r + cadre.Ligne) * image.Largeur +
                                       c + cadre.Colonne) *
                                          image.Composantes +
                                      p.Octet];
    champ->Palette = image.Composantes == 3 ? 5 : 0;
    champ->Lambda = p.Lambda;
    PreparerImage(*champ, Preferences, false);
    TForm1* f = NouvelleFenetre(
        champ, QStringLiteral("%1 (%2%3)")
                   .arg(base, QString::fromUtf8(p.Nom),
                        recadree ? QStringLiteral(", autour de l'étoile") : QString()));
    f->CouleurLambda = image.Composantes == 3;
    f->Visualiser();
  }
  infos_->show();
}

void TMainForm::EditerRapport() {
  if (!active_) return;
  const bool poly = ParametresTest.ModeTraitement == ModePolychromatique;
  // A test opened from its file, averaged or subtracted is reported as itself.
  const TTestOuvert* ouvert = TestOuvert(active_->Champ());
  const TRoddier* test =
      ouvert ? ouvert->Test.get()
      : poly ? (Preferences.OriginFoc <= 2 ? testsCouleurs_[Preferences.OriginFoc].get() : nullptr)
             : testCourant_.get();
  if (!test || !test->FrontOnde) {
    Dialogues().Avertir(this, QStringLiteral("Action impossible. Reconstruisez d'abord le front "
                                             "d'onde (Calcul › Reconstruire le front d'onde)."));
    return;
  }
  const auto nom =
      Dialogues().FichierAEnregistrer(this, QStringLiteral("Générer et enregistrer un rapport"),
                                      QStringLiteral("Fichiers html (*.htm *.html)"),
                                      QString::fromStdString(Preferences.DossierRapports));
  if (!nom) return;
  TContexteRapport x;
  x.Test = test;
  x.Parametres = ouvert ? &ouvert->Parametres : &ParametresTest;
  if (ouvert) x.Enregistre = ouvert->Enregistre.get();
  if (tendance_ && tendance_->isVisible()) {
    x.Tendance = tendance_->Points();
    x.TermesTendance = tendance_->Termes();
  }
  x.Prefs = &Preferences;
  x.Jeu = &JeuZernike();
  auto valeur = [this](int i) {
    return param_->ListeValeurs->count() > i ? param_->ListeValeurs->item(i)->text().toStdString()
                                             : std::string();
  };
  x.Instrument = valeur(2);
  x.Camera = valeur(3);
  x.PoseIntra = param_->EditPoseIntra->text().toStdString();
  x.PoseExtra = param_->EditPoseExtra->text().toStdString();
  x.Source = static_cast<std::uint8_t>(std::max(0, param_->GroupeSource->checkedId()));
  x.Version = Version;
  auto fenetre = [](TForm1* w) {
    return TFenetreRapport{w->ChampPartage(), w->windowTitle().toStdString(), w->CouleurLambda,
                           w->AfficherEchelle};
  };
  if (ouvert) x.Source = SourceDuTest(ouvert->Parametres);
  if (!ouvert && !param_->Intra().empty() && param_->Intra().front().Fenetre)
    x.Intra = fenetre(param_->Intra().front().Fenetre);
  if (!ouvert && !param_->Extra().empty() && param_->Extra().front().Fenetre)
    x.Extra = fenetre(param_->Extra().front().Fenetre);
  if (coefs_->Source()) x.Front = fenetre(coefs_->Source());
  for (TForm1* w : Fenetres()) {
    if (!w->Champ()) continue;
    x.Fenetres.push_back(fenetre(w));
    if (ouvert) continue;
    if (w->Champ()->Role == RoleSignal) x.Signal = fenetre(w);
    if (w->Champ()->Role == RoleResidu) x.Residu = fenetre(w);
  }
  if (ouvert) x.Front = fenetre(active_);
  if (!x.Front) x.Front = TFenetreRapport{test->FrontOnde, "Front d'onde"};
  try {
    EcrireRapport(nom->toStdString(), ConstruireRapport(x));
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  rapport_->Charger(*nom);
  rapport_->show();
  rapport_->raise();
}

void TMainForm::Seidel() {
  if (!active_ || !active_->Champ()) return;
  if (active_->Champ()->Role != RoleFront) {
    Dialogues().Avertir(this, SelectionnezUnFront);
    return;
  }
  const TPupille& f = *active_->Champ();
  seidel_->Afficher(active_,
                    CalculerSeidel(f.Coefficients, f.Selection, JeuZernike(), f.Obstruction));
}

void TMainForm::Trichromie() {
  // What a three-colour test needs, said when it is missing.
  if (ParametresTest.ModeTraitement != ModePolychromatique) {
    Dialogues().Avertir(
        this, QStringLiteral("La trichromie compare trois tests : ouvrez trois paires d'images "
                             "(bleu, vert, rouge), choisissez le mode polychromatique dans "
                             "« Paramètres du test », puis reconstruisez le front d'onde."));
    return;
  }
  if (!ParametresTest.ParametresValides) {
    Dialogues().Avertir(this, QStringLiteral("Les paramètres sont incomplets."));
    return;
  }
  std::array<TForm1*, 3> fenetres{};
  std::array<const TPupille*, 3> fronts{};
  for (int k = 0; k < 3; ++k) {
    if (!testsCouleurs_[k] || !testsCouleurs_[k]->FrontOnde) {
      Dialogues().Avertir(this,
                          QStringLiteral("Reconstruisez d'abord le front d'onde des trois "
                                         "couleurs (Calcul › Reconstruire le front d'onde)."));
      return;
    }
    TPupille& f = *testsCouleurs_[k]->FrontOnde;
    f.MoyenneEcartType();
    fronts[k] = &f;
    for (TForm1* w : Fenetres())
      if (w->Champ() == &f) fenetres[k] = w;
  }
  rvb_->Afficher(fenetres,
                 CalculerTrichromie(fronts, JeuZernike(), ParametresTest.DistanceFocale,
                                    ParametresTest.RayonInstrument,
                                    {Preferences.PoidsB, Preferences.PoidsV, Preferences.PoidsR}));
}

void TMainForm::CommandeMeridienne() {
  if (!active_ || !active_->Champ()) return;
  meridienne_->Prendre(active_);
}

const TRoddier* TMainForm::TestDuChamp(const TPupille* champ) const {
  if (!champ) return nullptr;
  auto contient = [&](const TRoddier* t) {
    return t && (t->FrontOnde.get() == champ || t->FrontResiduel.get() == champ ||
                 t->Signal.get() == champ || t->Intra.get() == champ || t->Extra.get() == champ);
  };
  if (contient(testCourant_.get())) return testCourant_.get();
  for (const auto& t : testsCouleurs_)
    if (contient(t.get())) return t.get();
  if (const TTestOuvert* o = TestOuvert(champ)) return o->Test.get();
  return nullptr;
}

void TMainForm::Reconstruire() {
  if (!ParametresTest.ParametresValides) {
    // Which of them is missing, and where to give it.
    QStringList manque;
    if (param_->Intra().empty()) manque << QStringLiteral("l'image intrafocale (Fichier › Ouvrir)");
    if (param_->Extra().empty())
      manque << QStringLiteral("l'image extrafocale (Fichier › Ouvrir comme extrafocale)");
    manque << QStringLiteral("les paramètres du test (Saisie › Paramètres du test, puis Ok)");
    Dialogues().Avertir(this,
                        QStringLiteral("Vous devez ouvrir les images et/ou saisir les paramètres"
                                       "\nIl manque : ") +
                            manque.join(QStringLiteral(" ; ")) + QLatin1Char('.'));
    return;
  }
  const bool poly = ParametresTest.ModeTraitement == ModePolychromatique;
  std::unique_ptr<TRoddier> simple;
  std::array<std::unique_ptr<TRoddier>, 3> couleurs;
  try {
    // The tests are made apart; the windows change only once they are all done.
    if (!ExecuterEnArrierePlan(*progression_, [&](IProgression& p) {
          if (poly)
            couleurs = ReconstruireTroisCouleurs(ParametresTest, Preferences, JeuZernike(), p);
          else
            simple = ReconstruireSimple(ParametresTest, Preferences, JeuZernike(), p);
        }))
      return;
  } catch (const ErreurTest& e) {
    // The message names an image by its role: its window too.
    QStringList images;
    for (const auto& [role, champ] : {std::pair{"intra-focale", ParametresTest.ImageIntra},
                                      std::pair{"extra-focale", ParametresTest.ImageExtra}})
      for (TForm1* w : Fenetres())
        if (champ && w->Champ() == champ)
          images << QStringLiteral("%1 : %2").arg(QString::fromUtf8(role), w->windowTitle());
    QString message = QString::fromStdString(e.what());
    if (!poly && !images.isEmpty())
      message += QStringLiteral("\n(") + images.join(QStringLiteral(" ; ")) + QLatin1Char(')');
    Dialogues().Avertir(this, message);
    return;
  }
  if (poly) {
    ParametresTest.ImageIntra = ParametresTest.IntraRouge;
    ParametresTest.ImageExtra = ParametresTest.ExtraRouge;
    for (int k = 0; k < 3; ++k) {
      testsCouleurs_[k] = std::shared_ptr<TRoddier>(std::move(couleurs[k]));
      NouvelleFenetre(testsCouleurs_[k]->FrontOnde,
                      QString::fromUtf8(NomsCouleurs[k + 1]) + QStringLiteral(" Front d'onde"),
                      false);
    }
  } else {
    testCourant_ = std::move(simple);
    NouvelleFenetre(testCourant_->FrontOnde, QStringLiteral("Polychromatique Front d'onde"), false);
  }
  if (Preferences.AjustAuto) {
    coefs_->show();
    coefs_->RemplirListe(active_);
  }
  infos_->Actualiser();
  infos_->AfficherResultats();
}

void TMainForm::Roddier() {
  // Without a test, or without a window to take the signal from, there is nothing to solve.
  if (!testCourant_ || !active_ || !active_->Champ()) return;
  // A test made by "Signal" has no lengths yet: those of the test parameters.
  TRoddier& t = *testCourant_;
  if (t.FocaleNm <= 0 || t.RayonNm <= 0 || t.DefocNm <= 0) {
    t.FocaleNm = ParametresTest.DistanceFocale;
    t.RayonNm = ParametresTest.RayonInstrument;
    t.DefocNm = ParametresTest.Defocalisation;
  }
  testCourant_->Signal = active_->ChampPartage();
  try {
    testCourant_->ResoudrePoisson(*progression_);
  } catch (const ErreurTest& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
    return;
  }
  progression_->Masquer();
  testCourant_->FrontResiduel->Role = RoleResidu;
  testCourant_->FrontResiduel->Lambda = Preferences.LambdaRef;
  SelectionComplete(testCourant_->FrontResiduel->Selection);
  testCourant_->FrontResiduel->OrdresSup = true;
  NouvelleFenetre(testCourant_->FrontResiduel, QStringLiteral("Front résiduel"), false);
  coefs_->show();
  coefs_->RemplirListe(active_);
}

namespace {

std::vector<TRoddier*> TestsAffiches(bool polychromatique, const std::shared_ptr<TRoddier>& courant,
                                     const std::array<std::shared_ptr<TRoddier>, 3>& couleurs) {
  std::vector<TRoddier*> t;
  if (polychromatique) {
    for (const auto& c : couleurs)
      if (c) t.push_back(c.get());
  } else if (courant) {
    t.push_back(courant.get());
  }
  return t;
}

}  // namespace

void TMainForm::FrontResiduel() {
  for (TRoddier* t : TestsAffiches(ParametresTest.ModeTraitement == ModePolychromatique,
                                   testCourant_, testsCouleurs_)) {
    if (!t->FrontResiduel) continue;
    t->FrontResiduel->Role = RoleResidu;
    t->FrontResiduel->Palette = Preferences.PltFront;
    t->FrontResiduel->Contraste = 1.0;
    NouvelleFenetre(t->FrontResiduel, QStringLiteral("Front résiduel"), false);
  }
  infos_->Actualiser();
}

void TMainForm::ImagesApresCorrection() {
  for (TRoddier* t : TestsAffiches(ParametresTest.ModeTraitement == ModePolychromatique,
                                   testCourant_, testsCouleurs_)) {
    if (t->Intra) NouvelleFenetre(t->Intra, QStringLiteral("Intra corrigée"), false);
    if (t->Extra) NouvelleFenetre(t->Extra, QStringLiteral("Extra corrigée"), false);
  }
}

void TMainForm::Ajuster() {
  if (!active_ || !active_->Champ()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  AjusterZernike(*active_->Champ());
  coefs_->show();
  coefs_->RemplirListe(active_);
  QApplication::restoreOverrideCursor();
}

void TMainForm::FrontDOnde() {
  const TParametresSimulation& s = ParametresSimulation;
  if (s.Dimension <= 0) {
    Dialogues().Avertir(this, QStringLiteral("Action impossible. Saisissez d'abord le front à "
                                             "simuler (Saisie › Paramètres des simulations)."));
    return;
  }
  auto f = std::make_shared<TPupille>();
  f->Allouer(s.Dimension, s.Dimension);
  f->CentreX = f->CentreY = s.Dimension / 2.0;
  f->RayonPupille = s.Rayon;
  f->Obstruction = s.Obstruction;
  f->AxesPupille();
  f->Coefficients = s.Coefficients;
  f->Selection = s.Selection;
  SynthetiserFront(*f, JeuZernike());
  f->MasqueVisible = 1;
  f->MinMaxMasque();
  f->Role = RoleFront;
  f->Lambda = Preferences.LambdaRef;
  f->Palette = Preferences.PltFront;
  NouvelleFenetre(f, QStringLiteral("Front d'onde"));
  coefs_->show();
  coefs_->RemplirListe(active_);
  infos_->show();
}

void TMainForm::SaisieSimulation() {
  TFormSaisieZern saisie(this, false);
  saisie.exec();
}

void TMainForm::SaisieAlertes() {
  TFormSaisieZern saisie(this, true);
  // Cancel keeps the alert values as they were.
  if (saisie.exec() != QDialog::Accepted) return;
  Preferences.ValeursAlerte = saisie.Saisis;
  try {
    CreerDossierPreferences(CheminPreferences.toStdString());
    EcrirePreferences(Preferences, CheminPreferences.toStdString());
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

void TMainForm::AfficherCoefficients() {
  coefs_->show();
  coefs_->RemplirListe(active_);
}

void TMainForm::ParametresDuTest() {
  param_->exec();
  RafraichirPalettes();
}

void TMainForm::TestDeDemonstration() {
  const QString dossier = QString::fromStdString(DossierDemonstration(
      QCoreApplication::applicationDirPath().toStdString(), QUELVANE_SAMPLES_SOURCE));
  if (dossier.isEmpty()) {
    Dialogues().Avertir(this, QStringLiteral("La paire d'images de démonstration (%1, %2) est "
                                             "introuvable près du programme.")
                                  .arg(QString::fromUtf8(ImageDemonstrationIntra),
                                       QString::fromUtf8(ImageDemonstrationExtra)));
    return;
  }
  if (!Fenetres().empty()) {
    if (!Dialogues().Demander(this, QStringLiteral("Fermer les images ouvertes pour le test de "
                                                   "démonstration ?")))
      return;
    FermerFenetres(Fenetres());
    testCourant_.reset();
    for (auto& t : testsCouleurs_) t.reset();
    ParametresTest = ParametresInitiaux;
    param_->Reinitialiser();
  }
  if (!OuvrirFichier(dossier + QLatin1Char('/') + QString::fromUtf8(ImageDemonstrationIntra),
                     false) ||
      !OuvrirFichier(dossier + QLatin1Char('/') + QString::fromUtf8(ImageDemonstrationExtra), true))
    return;
  param_->SaisirEtValider(EntreesDemonstration());
  if (ParametresTest.ParametresValides)
    statusBar()->showMessage(
        QStringLiteral("Test de démonstration : miroir de 200 mm à f/5, "
                       "pixels de 5,2 µm. Calcul › Reconstruire le front "
                       "d'onde."));
}

bool TMainForm::FocusDansLaListe() const {
  const QWidget* f = QApplication::focusWidget();
  return f && coefs_->isVisible() && coefs_->isAncestorOf(f);
}

void TMainForm::Documentation() {
  // F1 on the coefficient list: the page of the term under the cursor.
  if (FocusDansLaListe() && coefs_->ListViewZern->currentIndex().row() >= 0) {
    coefs_->AideSurCetteAberration();
    return;
  }
  aide_->Montrer(this);
  aide_->Sommaire();
}

void TMainForm::APropos() {
  aPropos_->Preparer();
  aPropos_->exec();
}

void TMainForm::MosaiqueVerticale() {
  const auto fenetres = zone_->subWindowList();
  if (fenetres.isEmpty()) return;
  const int largeur = zone_->viewport()->width() / fenetres.size();
  int x = 0;
  for (QMdiSubWindow* s : fenetres) {
    s->showNormal();
    s->setGeometry(x, 0, largeur, zone_->viewport()->height());
    x += largeur;
  }
}

void TMainForm::MosaiqueHorizontale() {
  const auto fenetres = zone_->subWindowList();
  if (fenetres.isEmpty()) return;
  const int hauteur = zone_->viewport()->height() / fenetres.size();
  int y = 0;
  for (QMdiSubWindow* s : fenetres) {
    s->showNormal();
    s->setGeometry(0, y, zone_->viewport()->width(), hauteur);
    y += hauteur;
  }
}

void TMainForm::closeEvent(QCloseEvent* e) {
  const auto fenetres = Fenetres();
  if (fenetres.empty()) {
    e->accept();
    return;
  }
  if (!Dialogues().Demander(
          this, QStringLiteral("Souhaitez-vous quitter %1 %2 ? Toutes les données seront perdues.")
                    .arg(QString::fromUtf8(NomProduit), QString::fromUtf8(Version)))) {
    e->ignore();
    return;
  }
  FermerFenetres(fenetres);
  aide_->hide();
  e->accept();
}

void TMainForm::changeEvent(QEvent* e) {
  // Minimised while a question waits for its answer, the program would run with nothing on
  // screen and the question out of reach (seen with the quit question and a tool window, from
  // two quick clicks): the main window comes back and the question in front of it.
  if (e->type() == QEvent::WindowStateChange && isMinimized() &&
      QApplication::activeModalWidget()) {
    QTimer::singleShot(0, this, [this] {
      if (!isMinimized()) return;
      showNormal();
      if (QWidget* question = QApplication::activeModalWidget()) {
        question->showNormal();
        question->raise();
        question->activateWindow();
      }
    });
  }
  QMainWindow::changeEvent(e);
}

void TMainForm::hideEvent(QHideEvent* e) {
  // Where the windows were, for the next run (the main window hides when it closes).
  session_.Geometrie = saveGeometry().toBase64().toStdString();
  session_.Etat = saveState().toBase64().toStdString();
  EnregistrerSession();
  QMainWindow::hideEvent(e);
}

bool TMainForm::eventFilter(QObject* objet, QEvent* e) {
  if (objet == zone_->viewport() && e->type() == QEvent::MouseButtonDblClick) {
    Ouvrir();
    return true;
  }
  return QMainWindow::eventFilter(objet, e);
}

}  // namespace quelvane
