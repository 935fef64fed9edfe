#include "ui/coefficients.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/analyse_front.h"
#include "files/ecriture.h"
#include "files/export_texte.h"
#include "files/nombres.h"
#include "rendu/rendu.h"
#include "settings/parametres.h"
#include "settings/preferences.h"
#include "ui/aide.h"
#include "ui/dialogues.h"
#include "ui/fenetre_image.h"

namespace quelvane {

namespace {
QString Fixe(double v, int d) { return QString::fromStdString(FormaterFixe(v, d)); }
}  // namespace

TForm3::TForm3(QWidget* parent, TFormAide& aide) : QDockWidget(parent), aide_(aide) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Polynômes de Zernike"));
  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
              QDockWidget::DockWidgetClosable);
  auto* contenu = new QWidget;
  auto* v = new QVBoxLayout(contenu);
  v->setContentsMargins(0, 0, 0, 0);
  setWidget(contenu);
  ListViewZern = new QTreeWidget;
  ListViewZern->setHeaderLabels({QStringLiteral("Polynôme"), QStringLiteral("Coefficient"),
                                 QStringLiteral("Valeur"), QStringLiteral("Alerte"),
                                 QStringLiteral("±")});
  ListViewZern->setRootIsDecorated(false);
  ListViewZern->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListViewZern->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListViewZern->header()->setSectionsClickable(false);
  // Names and labels whole ("Astigmatisme 0°", not "Astigmati…").
  for (int c = 0; c < 5; ++c)
    ListViewZern->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  ListViewZern->header()->setStretchLastSection(false);
  ListViewZern->setContextMenuPolicy(Qt::CustomContextMenu);
  v->addWidget(ListViewZern);

  PopupMenuZern = new QMenu(this);
  auto ajouter = [this](const QString& t, auto f, const QKeySequence& k = {}) {
    QAction* a = PopupMenuZern->addAction(t, this, f);
    if (!k.isEmpty()) {
      a->setShortcut(k);
      a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      addAction(a);
    }
    return a;
  };
  ajouter(QStringLiteral("Tout sélectionner"), &TForm3::ToutSelectionner,
          QKeySequence(QStringLiteral("Ctrl+A")));
  ajouter(QStringLiteral("Tout désélectionner"), &TForm3::ToutDeselectionner,
          QKeySequence(QStringLiteral("Ctrl+D")));
  ajouter(QStringLiteral("Inverser la sélection"), &TForm3::InverserSelection,
          QKeySequence(QStringLiteral("Ctrl+I")));
  ajouter(QStringLiteral("Sélectionner cette aberration"), &TForm3::SelectionnerCetteAberration);
  ajouter(QStringLiteral("Activer/désactiver tilt et focus"), &TForm3::BasculerTiltFocus);
  ajouter(QStringLiteral("Sélectionner/Désélectionner la coma"), &TForm3::BasculerComa,
          QKeySequence(QStringLiteral("Ctrl+Alt+C")));
  ajouter(QStringLiteral("Modifier cette aberration"), [this] {
    const int ligne = ListViewZern->currentIndex().row();
    if (ligne < 0) return;
    TForm1Zernike dialogue(this, ligne);
    dialogue.exec();
  });
  // F1 and Ctrl+S belong to the main window, which hands them to the list when it has the
  // focus: two actions on one key are ambiguous and Qt then runs neither.
  ajouter(QStringLiteral("Aide sur cette aberration\tF1"), &TForm3::AideSurCetteAberration);
  ajouter(QStringLiteral("Enregistrer les coefficients\tCtrl+S"), &TForm3::EnregistrerCoefficients);
  connect(ListViewZern, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    PopupMenuZern->exec(ListViewZern->viewport()->mapToGlobal(p));
  });
  connect(ListViewZern, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int colonne) {
    if (!remplissage_ && colonne == 0) AppliquerSelection();
  });
  connect(ListViewZern, &QTreeWidget::itemDoubleClicked, this,
          &TForm3::SelectionnerCetteAberration);
}

int TForm3::Lignes() const { return ListViewZern->topLevelItemCount(); }
bool TForm3::Marque(int ligne) const {
  return ListViewZern->topLevelItem(ligne)->checkState(0) == Qt::Checked;
}
void TForm3::Marquer(int ligne, bool coche) {
  const bool avant = remplissage_;
  remplissage_ = true;
  ListViewZern->topLevelItem(ligne)->setCheckState(0, coche ? Qt::Checked : Qt::Unchecked);
  remplissage_ = avant;
}

void TForm3::RemplirListe(TForm1* fenetre) {
  source_ = fenetre;
  remplissage_ = true;
  ListViewZern->clear();
  // The header says what the figures are: nanometres, RMS-normalised or not.
  ListViewZern->headerItem()->setText(
      2, Preferences.NormRMS ? QStringLiteral("Valeur (nm RMS)") : QStringLiteral("Valeur (nm)"));
  if (fenetre && fenetre->Champ()) {
    const TPupille& f = *fenetre->Champ();
    const TJeuZernike& jeu = JeuZernike();
    TCoefZernike c = f.Coefficients, alertes = Preferences.ValeursAlerte;
    // One standard error beside each value, when the test could measure them.
    const TIncertitudes u = Incertitudes(f, jeu);
    TCoefZernike ecarts = u.Coefficients;
    if (Preferences.NormRMS) {
      CoefVersRMS(jeu, c);
      CoefVersRMS(jeu, alertes);
      CoefVersRMS(jeu, ecarts);
    }
    for (int j = 1; j <= jeu.NbTermes; ++j) {
      auto* item = new QTreeWidgetItem;
      item->setText(0, QString::fromStdString(NomZernike(j)));
      item->setText(1, QString::fromStdString(LibelleZernike(j)));
      item->setText(2, Fixe(c[j - 1], Preferences.NDecNano));
      item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
      const double a = alertes[j - 1];
      item->setText(3, a != 0 && std::fabs(c[j - 1]) >= a ? QStringLiteral("!!!") : QString());
      item->setTextAlignment(3, Qt::AlignCenter);
      if (u.Connues) {
        item->setText(4, QStringLiteral("± ") + Fixe(ecarts[j - 1], Preferences.NDecNano));
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
      }
      item->setCheckState(0, f.Selection[j - 1] ? Qt::Checked : Qt::Unchecked);
      ListViewZern->addTopLevelItem(item);
    }
    auto* ordres = new QTreeWidgetItem;
    ordres->setText(0, QStringLiteral("Ordres sup."));
    ordres->setCheckState(0, f.OrdresSup ? Qt::Checked : Qt::Unchecked);
    ListViewZern->addTopLevelItem(ordres);
  }
  // Every column whole, "Alerte" and "±" included: the dock may not be narrower than them.
  QHeaderView* entete = ListViewZern->header();
  entete->resizeSections(QHeaderView::ResizeToContents);
  ListViewZern->setMinimumWidth(entete->length() + 2 * ListViewZern->frameWidth() +
                                ListViewZern->verticalScrollBar()->sizeHint().width());
  remplissage_ = false;
}

void TForm3::AppliquerSelection() {
  TForm1* w = source_;
  if (!w || !w->Champ() || Lignes() == 0) return;
  TPupille& f = *w->Champ();
  if (f.Role != RoleFront && f.Role != RoleResidu) return;
  TSelZernike s{};
  for (int j = 0; j + 1 < Lignes() && j < NMaxZern; ++j) s[j] = Marque(j);
  const bool h = Marque(Lignes() - 1);
  if (f.OrdresSup && !h) {
    // The measured wavefront is kept aside so that nothing is lost when it comes back.
    auto copie = std::make_unique<TPupille>();
    copie->Allouer(f.NX, f.NY);
    copie->CopierPupille(f);
    w->DefinirFrontSource(std::move(copie));
  }
  if (!f.OrdresSup && h && w->FrontSource()) {
    f.CopierPupille(*w->FrontSource());
    w->DefinirFrontSource(nullptr);
  }
  f.OrdresSup = h;
  if (h) {
    BasculerTermes(f, s, JeuZernike());
  } else {
    f.Selection = s;
    SynthetiserFront(f, JeuZernike());
  }
  f.MinMax();
  f.SeuilBas = f.Mini;
  f.SeuilHaut = f.Maxi;
  w->Visualiser();
  emit FrontModifie(w);
}

void TForm3::ToutSelectionner() {
  for (int i = 0; i < Lignes(); ++i) Marquer(i, true);
  AppliquerSelection();
}

void TForm3::ToutDeselectionner() {
  for (int i = 0; i < Lignes(); ++i) Marquer(i, false);
  AppliquerSelection();
}

void TForm3::InverserSelection() {
  for (int i = 0; i < Lignes(); ++i) Marquer(i, !Marque(i));
  AppliquerSelection();
}

void TForm3::SelectionnerCetteAberration() {
  const int choisie = ListViewZern->currentIndex().row();
  for (int i = 0; i < Lignes(); ++i) Marquer(i, false);
  AppliquerSelection();
  if (choisie >= 0 && choisie < Lignes()) {
    Marquer(choisie, true);
    AppliquerSelection();
  }
}

void TForm3::BasculerTiltFocus() {
  for (int i = 0; i < 4 && i + 1 < Lignes(); ++i) Marquer(i, !Marque(i));
  AppliquerSelection();
}

void TForm3::BasculerComa() {
  for (int i : {6, 7, 15, 16})
    if (i + 1 < Lignes()) Marquer(i, !Marque(i));
  AppliquerSelection();
}

void TForm3::AideSurCetteAberration() {
  const int ligne = ListViewZern->currentIndex().row();
  if (ligne < 0) return;
  aide_.Montrer(window());
  aide_.AfficherRubrique(ligne);
}

void TForm3::EnregistrerCoefficients() {
  if (!source_ || !source_->Champ()) return;
  const auto nom = Dialogues().FichierAEnregistrer(
      this, QStringLiteral("Enregistrer les coefficients de Zernike"),
      QStringLiteral("Fichiers textes (*.txt)"), windowTitle());
  if (!nom) return;
  try {
    quelvane::EnregistrerCoefficients(source_->Champ()->Coefficients, Preferences.NPolyZern,
                                      JeuZernike(), (*nom + QStringLiteral(".txt")).toStdString());
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

TForm1Zernike::TForm1Zernike(QWidget* parent, int ligne) : QDialog(parent) {
  setWindowTitle(QString::fromStdString(LibelleZernike(ligne + 1)));
  auto* v = new QVBoxLayout(this);
  auto* groupe = new QGroupBox(QString::fromStdString(NomZernike(ligne + 1)));
  auto* g = new QGridLayout(groupe);
  g->addWidget(new QLabel, 0, 0, 3, 1);
  g->addWidget(new QCheckBox(QStringLiteral("Corriger")), 0, 1);
  auto* spin = new QSpinBox;
  spin->setRange(1, 1);
  g->addWidget(spin, 1, 1);
  g->addWidget(new QLineEdit, 2, 1);
  v->addWidget(groupe);
  auto* boutons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  v->addWidget(boutons);
}

TFormSaisieZern::TFormSaisieZern(QWidget* parent, bool alertes, const TCoefZernike* valeurs)
    : QDialog(parent), alertes_(alertes) {
  if (alertes) Saisis = valeurs ? *valeurs : TCoefZernike(Preferences.ValeursAlerte);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(alertes ? QStringLiteral("Saisir les valeurs d'alerte")
                         : QStringLiteral("Paramètres de simulation"));
  auto* v = new QVBoxLayout(this);
  auto* groupe = new QGroupBox(QStringLiteral("Coefficients de Zernike (nm RMS) "));
  auto* g = new QGridLayout(groupe);
  for (int j = 2; j <= 22; ++j) {
    auto* boite = new QGroupBox(QString::fromUtf8(NomsZernike[j - 1]));
    auto* b = new QGridLayout(boite);
    ImageZ[j] = new QLabel;
    ImageZ[j]->setFixedSize(40, 40);
    ImageZ[j]->setScaledContents(true);
    EditZ[j] = new QLineEdit;
    CheckBoxZ[j] = new QCheckBox(QStringLiteral("Z%1").arg(j));
    b->addWidget(ImageZ[j], 0, 0, 2, 1);
    b->addWidget(EditZ[j], 0, 1);
    b->addWidget(CheckBoxZ[j], 1, 1);
    g->addWidget(boite, (j - 2) / 4, (j - 2) % 4);
  }
  v->addWidget(groupe);
  auto* ligne = new QHBoxLayout;
  auto* raz = new QPushButton(QStringLiteral("RAZ"));
  CheckBoxTous = new QCheckBox(QStringLiteral("Tous"));
  CheckBoxTous->setChecked(true);
  ligne->addWidget(raz);
  for (const char* t : {"Importer test", "Lire fichier", "Sauver fichier"})
    ligne->addWidget(new QPushButton(QString::fromUtf8(t)));
  ligne->addWidget(CheckBoxTous);
  v->addLayout(ligne);
  GroupBoxImages = new QGroupBox(QStringLiteral("Images"));
  auto* fi = new QGridLayout(GroupBoxImages);
  ComboBoxDim = new QComboBox;
  ComboBoxDim->addItems({"64", "128", "256", "512", "1024"});
  SpinEditRayon = new QSpinBox;
  SpinEditRayon->setRange(0, 512);
  SpinEditObstruction = new QSpinBox;
  SpinEditObstruction->setRange(0, 99);
  SpinEditMin = new QSpinBox;
  SpinEditMax = new QSpinBox;
  SpinEditMin->setRange(-100000, 100000);
  SpinEditMax->setRange(-100000, 100000);
  int r = 0;
  for (auto [t, w] : {std::pair<const char*, QWidget*>{"Dimension des images :", ComboBoxDim},
                      {"Rayon :", SpinEditRayon},
                      {"Obstruction centrale :", SpinEditObstruction},
                      {"Niveau Min :", SpinEditMin},
                      {"Niveau Max :", SpinEditMax}}) {
    fi->addWidget(new QLabel(QString::fromUtf8(t)), r, 0);
    fi->addWidget(w, r++, 1);
  }
  v->addWidget(GroupBoxImages);
  GroupBoxImages->setVisible(!alertes);
  auto* boutons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  v->addWidget(boutons);
  connect(boutons, &QDialogButtonBox::accepted, this, &TFormSaisieZern::ValiderSaisie);
  connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(raz, &QPushButton::clicked, this, &TFormSaisieZern::Raz);
  connect(CheckBoxTous, &QCheckBox::toggled, this, [this](bool c) {
    for (int j = 2; j <= 22; ++j) CheckBoxZ[j]->setChecked(c);
  });
  // The thumbnails follow the spin; the simulation parameters only change on OK.
  connect(SpinEditObstruction, &QSpinBox::valueChanged, this, [this] { DessinerVignettes(); });

  // The form's own term set: the program's fitting set is not touched.
  AfficherCoefficients(alertes ? Saisis : ParametresSimulation.Coefficients);
  ComboBoxDim->setCurrentIndex(ParametresSimulation.IndiceDimension);
  SpinEditRayon->setValue(static_cast<int>(std::lround(ParametresSimulation.Rayon)));
  {
    const QSignalBlocker b(SpinEditObstruction);
    SpinEditObstruction->setValue(
        static_cast<int>(std::lround(ParametresSimulation.Obstruction * 100)));
  }
  SelectionComplete(ParametresSimulation.Selection);
  for (int j = 2; j <= 22; ++j) CheckBoxZ[j]->setChecked(true);
  SpinEditMin->setValue(ParametresSimulation.NiveauMin);
  SpinEditMax->setValue(ParametresSimulation.NiveauMax);
  DessinerVignettes();
}

void TFormSaisieZern::DessinerVignettes() {
  const TJeuZernike jeu = ConstruireJeuZernike(22, PolyMahajan);
  TPalettes palettes;
  for (int j = 2; j <= 22; ++j) {
    TPupille p;
    p.Allouer(80, 80);
    p.CentreX = p.CentreY = 40;
    p.RayonPupille = 28;
    p.Obstruction = SpinEditObstruction->value() / 100.0;
    p.Palette = 2;
    p.MasqueVisible = 1;
    p.AxesPupille();
    for (int r = 0; r < 80; ++r)
      for (int c = 0; c < 80; ++c) {
        TValZernike v{};
        if (CalculZernike(jeu, p.AxeY[r], p.AxeX[c], p.Obstruction, v)) {
          p.V(r, c) = v[j - 1];
          p.M(r, c) = 1;
        }
      }
    TImage24 image;
    Dessiner(p, palettes, image);
    ImageZ[j]->setPixmap(
        QPixmap::fromImage(QImage(image.Pixels.data(), image.Largeur, image.Hauteur,
                                  image.Largeur * 3, QImage::Format_RGB888)
                               .copy()));
  }
}

void TFormSaisieZern::AfficherCoefficients(const TCoefZernike& k) {
  TCoefZernike c = k;
  if (Preferences.NormRMS) CoefVersRMS(ConstruireJeuZernike(NMaxZern, PolyMahajan), c);
  for (int j = 2; j <= 22; ++j) EditZ[j]->setText(Fixe(c[j - 1], Preferences.NDecNano));
}

void TFormSaisieZern::Raz() {
  for (int j = 2; j <= 22; ++j) EditZ[j]->setText(Fixe(0, Preferences.NDecNano));
}

void TFormSaisieZern::ValiderSaisie() {
  if (alertes_) {
    // Terms past Z22 have no field here: they keep their value.
    for (int j = 2; j <= 22; ++j) Saisis[j - 1] = LireReel(EditZ[j]->text().toStdString());
    if (Preferences.NormRMS) {
      TCoefZernike brut = Saisis;
      CoefDepuisRMS(ConstruireJeuZernike(NMaxZern, PolyMahajan), brut);
      for (int j = 2; j <= 22; ++j) Saisis[j - 1] = brut[j - 1];
    }
    accept();
    return;
  }
  TParametresSimulation& p = ParametresSimulation;
  RazCoefficients(p.Coefficients);
  p.Selection = {};
  for (int j = 2; j <= 22; ++j) {
    p.Coefficients[j - 1] = LireReel(EditZ[j]->text().toStdString());
    p.Selection[j - 1] = CheckBoxZ[j]->isChecked();
  }
  if (Preferences.NormRMS)
    CoefDepuisRMS(ConstruireJeuZernike(NMaxZern, PolyMahajan), p.Coefficients);
  p.Dimension = ComboBoxDim->currentText().toInt();
  p.IndiceDimension = ComboBoxDim->currentIndex();
  p.Rayon = SpinEditRayon->value();
  p.Obstruction = SpinEditObstruction->value() / 100.0;
  p.NiveauMin = SpinEditMin->value();
  p.NiveauMax = SpinEditMax->value();
  accept();
}

}  // namespace quelvane
