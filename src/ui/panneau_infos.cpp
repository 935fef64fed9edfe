#include "ui/panneau_infos.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "analysis/analyse_front.h"
#include "analysis/roddier.h"
#include "core/mathematiques.h"
#include "files/nombres.h"
#include "settings/preferences.h"
#include "ui/coefficients.h"
#include "ui/fenetre_image.h"
#include "ui/fenetre_principale.h"

namespace quelvane {

namespace {

QString Fixe(double v, int decimales) { return QString::fromStdString(FormaterFixe(v, decimales)); }

QSlider* CurseurVertical() {
  auto* s = new QSlider(Qt::Vertical);
  s->setRange(0, 100);
  s->setInvertedAppearance(true);  // position 0 at the top
  s->setInvertedControls(true);
  return s;
}

}  // namespace

int PositionCurseur(double v, double mini, double maxi, int m) {
  if (maxi == mini) return m;
  return static_cast<int>(Arrondi((1 - (v - mini) / (maxi - mini)) * m));
}

double NiveauCurseur(int position, double mini, double maxi, int m) {
  return mini + static_cast<double>(m - position) / m * (maxi - mini);
}

TFormInfos::TFormInfos(TMainForm& principale) : QDockWidget(&principale), principale_(principale) {
  setObjectName(QStringLiteral("FormInfos"));
  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
              QDockWidget::DockWidgetClosable);
  Construire();
  // Labels quote file names and header values: text, never markup.
  for (QLabel* l : findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
}

void TFormInfos::Construire() {
  Pages = new QTabWidget;
  setWidget(Pages);

  // "Valeurs"
  auto* valeurs = new QWidget;
  auto* hv = new QHBoxLayout(valeurs);
  auto* colonneSeuil = new QVBoxLayout;
  LabelMaxi = new QLabel(QStringLiteral("val"));
  TrackBarSeuil = CurseurVertical();
  LabelMini = new QLabel;
  for (QLabel* l : {LabelMaxi, LabelMini}) l->setMinimumWidth(70);
  colonneSeuil->addWidget(LabelMaxi);
  colonneSeuil->addWidget(TrackBarSeuil, 1, Qt::AlignHCenter);
  colonneSeuil->addWidget(LabelMini);
  hv->addLayout(colonneSeuil);
  auto* formulaire = new QFormLayout;
  EditSeuil = new QLineEdit;
  formulaire->addRow(QStringLiteral("Seuil"), EditSeuil);
  ComboBoxDimension = new QComboBox;
  ComboBoxDimension->addItems({QStringLiteral("Dim. (pix)"), QStringLiteral("Effectif (pix)")});
  EditDimension = new QLineEdit;
  EditDimension->setReadOnly(true);
  formulaire->addRow(ComboBoxDimension, EditDimension);
  EditCentreX = new QLineEdit;
  EditCentreY = new QLineEdit;
  EditCentreX->setReadOnly(true);
  EditCentreY->setReadOnly(true);
  auto* centre = new QHBoxLayout;
  centre->addWidget(new QLabel(QStringLiteral("X =")));
  centre->addWidget(EditCentreX);
  centre->addWidget(new QLabel(QStringLiteral("Y =")));
  centre->addWidget(EditCentreY);
  formulaire->addRow(QStringLiteral("Centre"), centre);
  ComboBoxRayon = new QComboBox;
  ComboBoxRayon->addItems({QStringLiteral("Rayon"), QStringLiteral("Obstruction")});
  EditRayon = new QLineEdit;
  EditRayon->setReadOnly(true);
  formulaire->addRow(ComboBoxRayon, EditRayon);
  EditCurseurX = new QLineEdit;
  EditCurseurY = new QLineEdit;
  auto* curseur = new QHBoxLayout;
  curseur->addWidget(new QLabel(QStringLiteral("X")));
  curseur->addWidget(EditCurseurX);
  curseur->addWidget(new QLabel(QStringLiteral("Y")));
  curseur->addWidget(EditCurseurY);
  formulaire->addRow(QStringLiteral("Curseur"), curseur);
  ComboBoxCoordonnees = new QComboBox;
  ComboBoxCoordonnees->addItems(
      {QStringLiteral("(pixels)"), QStringLiteral("(réduites)"), QStringLiteral("(millimètres)")});
  ComboBoxPolaire = new QComboBox;
  ComboBoxPolaire->addItems({QStringLiteral("Coord. rect."), QStringLiteral("Coord. pol.")});
  auto* listes = new QHBoxLayout;
  listes->addWidget(ComboBoxCoordonnees);
  listes->addWidget(ComboBoxPolaire);
  formulaire->addRow(listes);
  LabelValeur = new QLabel(QStringLiteral("I = "));
  EditValeur = new QLineEdit;
  EditValeur->setReadOnly(true);
  ComboBoxUnite = new QComboBox;
  ComboBoxUnite->addItems({QStringLiteral("Nanomètres"), QStringLiteral("Lambda(s)")});
  ComboBoxUnite->setPlaceholderText(QStringLiteral("Unité"));
  ComboBoxUnite->setCurrentIndex(-1);
  auto* valeur = new QHBoxLayout;
  valeur->addWidget(EditValeur);
  valeur->addWidget(ComboBoxUnite);
  formulaire->addRow(LabelValeur, valeur);
  ButtonSeuilAuto = new QPushButton(QStringLiteral("Seuil Auto"));
  formulaire->addRow(ButtonSeuilAuto);
  LabelSerie = new QLabel;
  LabelSerie->setWordWrap(true);
  formulaire->addRow(LabelSerie);
  hv->addLayout(formulaire, 1);
  Pages->addTab(valeurs, QStringLiteral("Valeurs"));

  // "Résultats"
  pageResultats_ = new QWidget;
  auto* vr = new QVBoxLayout(pageResultats_);
  auto* ecarts = new QGroupBox(QStringLiteral("Ecarts sur l'onde"));
  auto* fe = new QFormLayout(ecarts);
  LabelPTV = new QLabel;
  LabelPTVLambda = new QLabel;
  LabelRMS = new QLabel;
  LabelRMSLambda = new QLabel;
  auto ligne = [](QLabel* a, QLabel* b) {
    auto* h = new QHBoxLayout;
    h->addWidget(a);
    h->addWidget(b);
    return h;
  };
  fe->addRow(QStringLiteral("PTV"), ligne(LabelPTV, LabelPTVLambda));
  fe->addRow(QStringLiteral("RMS"), ligne(LabelRMS, LabelRMSLambda));
  LabelLambda = new QLabel;
  LabelSoustraits = new QLabel;
  LabelSoustraits->setWordWrap(true);
  LabelIncertitudes = new QLabel;
  LabelIncertitudes->setWordWrap(true);
  fe->addRow(LabelLambda);
  fe->addRow(LabelSoustraits);
  fe->addRow(LabelIncertitudes);
  vr->addWidget(ecarts);
  auto* strehl = new QGroupBox(QStringLiteral("Rapport de Strehl"));
  auto* vs = new QVBoxLayout(strehl);
  LabelStrehl = new QLabel;
  LabelStrehlMax = new QLabel;
  LabelStrehlRMS = new QLabel;
  vs->addWidget(LabelStrehl);
  vs->addWidget(LabelStrehlMax);
  vs->addWidget(LabelStrehlRMS);
  vr->addWidget(strehl);
  auto* images = new QGroupBox(QStringLiteral("Images du test"));
  auto* vi = new QVBoxLayout(images);
  LabelPreparation = new QLabel;
  LabelPreparation->setWordWrap(true);
  vi->addWidget(LabelPreparation);
  vr->addWidget(images);
  vr->addStretch();
  Pages->addTab(pageResultats_, QStringLiteral("Résultats"));
  Pages->setTabVisible(1, false);

  // "Affichage"
  auto* affichage = new QWidget;
  auto* ha = new QHBoxLayout(affichage);
  auto* fa = new QFormLayout;
  ComboBoxPalette = new QComboBox;
  for (const char* n : NomsPalettes) ComboBoxPalette->addItem(QString::fromUtf8(n));
  fa->addRow(QStringLiteral("Palette"), ComboBoxPalette);
  ComboBoxZoom = new QComboBox;
  ComboBoxZoom->addItems({"25%", "50%", "75%", "100%", "150%", "200%", "300%"});
  ComboBoxZoom->setCurrentIndex(IndiceZoomCent);
  fa->addRow(QStringLiteral("Zoom"), ComboBoxZoom);
  EditContraste = new QLineEdit;
  TrackBarContraste = new QSlider(Qt::Horizontal);
  TrackBarContraste->setRange(-100, 100);
  fa->addRow(QStringLiteral("Cont."), EditContraste);
  fa->addRow(TrackBarContraste);
  CheckBoxMasque = new QCheckBox(QStringLiteral("Masque visible"));
  CheckBoxEchelle = new QCheckBox(QStringLiteral("Echelle visible"));
  CheckBox3D = new QCheckBox(QStringLiteral("3D"));
  CheckBox3D->setEnabled(false);
  fa->addRow(CheckBoxMasque);
  fa->addRow(CheckBoxEchelle);
  fa->addRow(CheckBox3D);
  ha->addLayout(fa, 1);
  auto* niveaux = new QGridLayout;
  LabelHaut = new QLabel;
  LabelBas = new QLabel;
  TrackBarHaut = CurseurVertical();
  TrackBarBas = CurseurVertical();
  ImageEchelle = new QLabel;
  ImageEchelle->setFixedWidth(12);
  ImageEchelle->setScaledContents(true);
  niveaux->addWidget(LabelHaut, 0, 0, 1, 3);
  niveaux->addWidget(TrackBarHaut, 1, 0);
  niveaux->addWidget(ImageEchelle, 1, 1);
  niveaux->addWidget(TrackBarBas, 1, 2);
  niveaux->addWidget(LabelBas, 2, 0, 1, 3);
  ha->addLayout(niveaux);
  Pages->addTab(affichage, QStringLiteral("Affichage"));

  // "Options"
  auto* options = new QWidget;
  auto* vo = new QVBoxLayout(options);
  auto* groupe = new QGroupBox(QStringLiteral("Interférogramme"));
  GroupeOptions = groupe;
  auto* fo = new QFormLayout(groupe);
  SpinEditAngle = new QSpinBox;
  SpinEditAngle->setRange(-360, 360);
  SpinEditPas = new QSpinBox;
  SpinEditPas->setRange(1, 180);
  SpinEditPas->setValue(45);
  SpinEditAngle->setSingleStep(SpinEditPas->value());
  auto* zero = new QPushButton(QStringLiteral("Zero"));
  SpinEditFranges = new QSpinBox;
  SpinEditFranges->setRange(1, 24);
  SpinEditFranges->setValue(8);
  CheckBoxSerie = new QCheckBox(QStringLiteral("Calculer une série"));
  fo->addRow(QStringLiteral("Angle (deg) :"), SpinEditAngle);
  fo->addRow(QStringLiteral("Pas (deg) :"), SpinEditPas);
  fo->addRow(zero);
  fo->addRow(QStringLiteral("Franges :"), SpinEditFranges);
  fo->addRow(CheckBoxSerie);
  vo->addWidget(groupe);
  auto* psf = new QGroupBox(QStringLiteral("PSF"));
  auto* fp = new QFormLayout(psf);
  ComboBoxPSF = new QComboBox;
  ComboBoxPSF->addItems({QStringLiteral("Réelle"), QStringLiteral("Théorique")});
  ComboBoxEchellePSF = new QComboBox;
  ComboBoxEchellePSF->addItems({QStringLiteral("Linéaire"), QStringLiteral("Log")});
  ComboBoxEchellePSF->setPlaceholderText(QStringLiteral("Echelle"));
  ComboBoxTaille = new QComboBox;
  ComboBoxTaille->addItems({"x1", "x2", "x4", "x8"});
  ComboBoxTaille->setCurrentIndex(-1);
  fp->addRow(ComboBoxPSF);
  fp->addRow(ComboBoxEchellePSF);
  fp->addRow(QStringLiteral("Taille"), ComboBoxTaille);
  vo->addWidget(psf);
  vo->addStretch();
  Pages->addTab(options, QStringLiteral("Options"));
  // The angle and the fringes recompute the active interferogram or gram in place.
  auto recalculer = [this] {
    if (garde_) return;
    if (TForm1* f = Courante()) principale_.RecalculerSimulation(*f);
  };
  connect(SpinEditAngle, &QSpinBox::valueChanged, this, recalculer);
  connect(SpinEditFranges, &QSpinBox::valueChanged, this, recalculer);
  // "Réelle" / "Théorique" exchange a PSF window's two fields; "Log" draws it on six decades.
  connect(ComboBoxPSF, &QComboBox::activated, this, [this](int i) {
    TForm1* f = Courante();
    if (!f) return;
    const auto role = f->Champ()->Role;
    if ((i == 0 && role == RolePSFTheorique) || (i == 1 && role == RolePSF)) f->EchangerChamps();
    Redessiner();
  });
  connect(ComboBoxEchellePSF, &QComboBox::activated, this, [this](int i) {
    if (TForm1* f = Courante()) f->EchelleLog = i == 1;
    Redessiner();
  });

  connect(TrackBarSeuil, &QSlider::valueChanged, this, &TFormInfos::SeuilDeplace);
  connect(TrackBarBas, &QSlider::valueChanged, this, [this](int p) { NiveauDeplace(p, false); });
  connect(TrackBarHaut, &QSlider::valueChanged, this, [this](int p) { NiveauDeplace(p, true); });
  connect(TrackBarContraste, &QSlider::valueChanged, this, &TFormInfos::ContrasteDeplace);
  connect(EditContraste, &QLineEdit::editingFinished, this, [this] {
    TrackBarContraste->setValue(
        static_cast<int>(Arrondi(LireReel(EditContraste->text().toStdString()) * 100 / 10)));
  });
  connect(ButtonSeuilAuto, &QPushButton::clicked, this, &TFormInfos::SeuilAuto);
  connect(ComboBoxDimension, &QComboBox::currentIndexChanged, this, &TFormInfos::AfficherDimension);
  connect(ComboBoxRayon, &QComboBox::currentIndexChanged, this, &TFormInfos::AfficherRayon);
  connect(ComboBoxCoordonnees, &QComboBox::currentIndexChanged, this, &TFormInfos::AfficherRayon);
  connect(ComboBoxPalette, &QComboBox::activated, this, [this](int i) {
    if (TForm1* f = Courante()) f->Champ()->Palette = static_cast<std::uint8_t>(i);
    Redessiner();
  });
  connect(CheckBoxMasque, &QCheckBox::clicked, this, [this](bool c) {
    if (TForm1* f = Courante()) f->Champ()->MasqueVisible = c ? 1 : 0;
    Redessiner();
  });
  connect(CheckBoxEchelle, &QCheckBox::clicked, this, [this](bool c) {
    if (TForm1* f = Courante()) f->AfficherEchelle = c;
    Redessiner();
  });
  connect(ComboBoxZoom, &QComboBox::activated, this, [this](int i) { principale_.ChangerZoom(i); });
  connect(SpinEditPas, &QSpinBox::valueChanged, SpinEditAngle, &QSpinBox::setSingleStep);
  connect(zero, &QPushButton::clicked, this, [this] { SpinEditAngle->setValue(0); });
  connect(Pages, &QTabWidget::currentChanged, this, [this](int i) {
    if (i == 0) Actualiser();
  });
}

TForm1* TFormInfos::Courante() const {
  TForm1* f = principale_.FenetreActive();
  return f && f->Champ() ? f : nullptr;
}

void TFormInfos::Actualiser() {
  TForm1* w = Courante();
  if (!w) return;
  TPupille& f = *w->Champ();
  setWindowTitle(QString::fromUtf8(NomsCouleurs[f.Couleur & 3]) +
                 QStringLiteral(" Informations sur %1").arg(w->windowTitle()));
  f.MinMax();
  LabelMaxi->setText(Fixe(f.Maxi, 1));
  LabelMini->setText(Fixe(f.Mini, 1));
  AfficherDimension();
  EditSeuil->setText(Fixe(f.Seuil, 1));
  EditCentreX->setText(Fixe(f.CentreX, 1));
  EditCentreY->setText(Fixe(f.CentreY, 1));
  AfficherRayon();
  LabelSerie->setText(
      w->Empilement
          ? QStringLiteral("Série : %1 images lues (%2 annoncées), %3 gardées, %4 laissées de "
                           "côté ; dispersion du recalage %5 pixels.")
                    .arg(w->Empilement->Lues)
                    .arg(w->Empilement->Annoncees)
                    .arg(w->Empilement->Gardees)
                    .arg(w->Empilement->Rejetees)
                    .arg(Fixe(w->Empilement->DispersionRecalage, 2)) +
                QString::fromStdString([&] {
                  std::string t;
                  for (const auto& a : w->Empilement->Avertissements) t += "\n" + a;
                  return t;
                }())
          : QString());
  TrackBarSeuil->setEnabled(false);
  ButtonSeuilAuto->setEnabled(false);
  EditSeuil->setEnabled(false);
  EditSeuil->clear();
  LabelValeur->setText(QStringLiteral("I ="));
  ComboBoxUnite->setVisible(false);
  LabelHaut->setText(Fixe(f.SeuilHaut, 1));
  LabelBas->setText(Fixe(f.SeuilBas, 1));
  CheckBoxEchelle->setChecked(w->AfficherEchelle);
  ComboBoxZoom->setCurrentIndex(w->IndiceZoom);
  principale_.BoiteZoom()->setCurrentIndex(w->IndiceZoom);
  ComboBoxPalette->setCurrentIndex(f.Palette);
  CheckBoxMasque->setChecked(f.MasqueVisible != 0);
  if (f.Contraste > 0)
    TrackBarContraste->setValue(static_cast<int>(Arrondi(-std::log10(f.Contraste) * 100)));
  if (f.Role == RoleInterferogramme || f.Role == RoleFoucault) {
    garde_ = true;
    SpinEditAngle->setValue(static_cast<int>(Arrondi(f.AngleTrace * 180 / std::numbers::pi)));
    SpinEditFranges->setValue(f.Franges);
    garde_ = false;
  }
  const bool etendue = f.Maxi != f.Mini;
  if (f.Role == RoleIntra || f.Role == RoleExtra) {
    TrackBarSeuil->setEnabled(true);
    ButtonSeuilAuto->setEnabled(true);
    EditSeuil->setEnabled(true);
    if (!(etendue && f.Mini <= f.Seuil && f.Seuil <= f.Maxi)) f.Seuil = f.Mini;
    // The slider only shows the threshold: its 101 positions would round a threshold set
    // exactly ("Seuil à cette valeur"). The mask and pupil follow the exact value.
    QSignalBlocker bloque(TrackBarSeuil);
    TrackBarSeuil->setValue(PositionCurseur(f.Seuil, f.Mini, f.Maxi));
    EditSeuil->setText(Fixe(f.Seuil, 1));
    f.Seuiller();
    f.TrouverPupille();
  }
  {
    QSignalBlocker b1(TrackBarBas), b2(TrackBarHaut);
    if (!(etendue && f.Mini <= f.SeuilBas && f.SeuilBas <= f.Maxi)) f.SeuilBas = f.Mini;
    TrackBarBas->setValue(etendue ? PositionCurseur(f.SeuilBas, f.Mini, f.Maxi) : 100);
    if (!(etendue && f.Mini <= f.SeuilHaut && f.SeuilHaut <= f.Maxi)) f.SeuilHaut = f.Maxi;
    TrackBarHaut->setValue(etendue ? PositionCurseur(f.SeuilHaut, f.Mini, f.Maxi) : 0);
  }
  switch (f.Role) {
    case RoleSignal: LabelValeur->setText(QStringLiteral("S =")); break;
    case RoleFront:
    case RoleResidu:
      LabelValeur->setText(QStringLiteral("W="));
      ComboBoxUnite->setVisible(true);
      if (ComboBoxUnite->currentIndex() < 0) ComboBoxUnite->setCurrentIndex(0);
      LabelMaxi->setText(LabelMaxi->text() + QStringLiteral(" nm"));
      LabelMini->setText(LabelMini->text() + QStringLiteral(" nm"));
      break;
    case RoleInterferogramme:
      GroupeOptions->setProperty("title", QStringLiteral("Interférogramme"));
      break;
    case RoleFoucault: GroupeOptions->setProperty("title", QStringLiteral("Foucaultgramme")); break;
    default: break;
  }
  // The results and the coefficient list speak of the active window: a wavefront's figures,
  // or none for anything else.
  const bool front = f.Role == RoleFront || f.Role == RoleResidu;
  if (front) {
    RemplirResultats();
  } else {
    if (Pages->currentIndex() == 1) Pages->setCurrentIndex(0);
    Pages->setTabVisible(1, false);
  }
  // Only when the list shows another window: refilling it from inside one of its own check
  // changes would delete the item being changed.
  TForm3& liste = *principale_.Coefficients();
  if (liste.Source() != (front ? w : nullptr)) liste.RemplirListe(front ? w : nullptr);
  Redessiner();
}

void TFormInfos::AfficherResultats() {
  Pages->setTabVisible(1, true);
  Pages->setCurrentIndex(1);
  RemplirResultats();
}

void TFormInfos::RemplirResultats() {
  TForm1* w = Courante();
  if (!w) {
    for (QLabel* l : {LabelPTV, LabelRMS, LabelStrehl, LabelStrehlMax, LabelPreparation,
                      LabelLambda, LabelSoustraits, LabelIncertitudes})
      l->clear();
    return;
  }
  TPupille& f = *w->Champ();
  f.MoyenneEcartType();
  f.MinMaxMasque();
  const TIncertitudes u = Incertitudes(f, JeuZernike());
  auto pm = [&](double e, int d) {
    return u.Connues ? QStringLiteral(" ± ") + Fixe(e, d) : QString();
  };
  LabelPTV->setText(Fixe(f.Etendue, Preferences.NDecNano) + pm(u.PTV, Preferences.NDecNano) +
                    QStringLiteral(" nm"));
  LabelRMS->setText(Fixe(f.EcartType, Preferences.NDecNano) + pm(u.RMS, Preferences.NDecNano) +
                    QStringLiteral(" nm"));
  LabelIncertitudes->setText(
      u.Connues
          ? QStringLiteral("± : un écart-type (%1, %2) ; comprend %3 ; pas %4.")
                .arg(QString::fromStdString(u.Methode))
                .arg(u.Echantillons)
                .arg(QString::fromStdString(u.Comprend), QString::fromUtf8(IncertitudesExclues))
          : QString());
  if (f.Etendue > 1e-300) {
    LabelPTVLambda->setText(QString::fromStdString(
        FractionLambda(f.Etendue, Preferences.LambdaRef, Preferences.NDecLambda)));
    LabelRMSLambda->setText(QString::fromStdString(
        FractionLambda(f.EcartType, Preferences.LambdaRef, Preferences.NDecLambda)));
  } else {
    LabelPTVLambda->clear();
    LabelRMSLambda->clear();
  }
  // Which wavelength the fractions and the Strehl ratios are at, and what the figures leave out.
  LabelLambda->setText(
      QStringLiteral("λ = %1 nm").arg(Fixe(Preferences.LambdaRef, Preferences.NDecLambda)) +
      (f.Lambda > 0 && std::fabs(f.Lambda - Preferences.LambdaRef) > 0.5
           ? QStringLiteral(" (Strehl à %1 nm)").arg(Fixe(f.Lambda, Preferences.NDecLambda))
           : QString()));
  LabelSoustraits->setText(QStringLiteral("Termes soustraits : ") +
                           QString::fromStdString(TermesSoustraits(f.Selection, JeuZernike())));
  CalculerStrehl(f);
  LabelStrehl->setText(QStringLiteral("S = ") + Fixe(f.Strehl, Preferences.NDecStrehl) +
                       pm(u.Strehl, Preferences.NDecStrehl + 1));
  LabelStrehlMax->setText(QStringLiteral("Smax = ") + Fixe(f.StrehlMax, Preferences.NDecStrehl));
  LabelStrehlRMS->setText(QStringLiteral("S/Smax = ") + Fixe(f.StrehlRMS, Preferences.NDecStrehl));
  LabelPreparation->setText(TextePreparation(principale_.TestDuChamp(&f)));
}

QString TFormInfos::TextePreparation(const TRoddier* test) const {
  if (!test) return {};
  const TPreparationPaire& p = test->Preparation;
  QString t;
  for (const std::string& a : AvertissementsPreparation(p))
    t += QStringLiteral("Attention : ") + QString::fromStdString(a) + QLatin1Char('\n');
  if (!p.FondCorrige) return t + QStringLiteral("Fond et flux non corrigés (préférences).");
  const int d = Preferences.NDecADU;
  return t +
         QStringLiteral("Fond soustrait : intra %1 ADU, extra %2 ADU\nFlux extra/intra : %3")
             .arg(Fixe(p.FondIntra.Niveau, d), Fixe(p.FondExtra.Niveau, d), Fixe(p.RapportFlux, 3));
}

void TFormInfos::Redessiner() {
  TForm1* w = Courante();
  if (!w) return;
  w->Visualiser();
  TImage24 bande;
  bande.Allouer(12, 100);
  TForm1::Palettes().TracerPalette(0, 0, 12, 100, bande);
  ImageEchelle->setPixmap(
      QPixmap::fromImage(QImage(bande.Pixels.data(), bande.Largeur, bande.Hauteur,
                                bande.Largeur * 3, QImage::Format_RGB888)
                             .copy()));
}

void TFormInfos::AfficherDimension() {
  TForm1* w = Courante();
  if (!w) return;
  const TPupille& f = *w->Champ();
  EditDimension->setText(ComboBoxDimension->currentIndex() == 1
                             ? QString::number(f.NbEffectif)
                             : QStringLiteral("[%1x%2]").arg(f.NX).arg(f.NY));
}

void TFormInfos::AfficherRayon() {
  TForm1* w = Courante();
  if (!w) return;
  const TPupille& f = *w->Champ();
  const double r =
      ComboBoxRayon->currentIndex() == 1 ? f.RayonPupille * f.Obstruction : f.RayonPupille;
  switch (ComboBoxCoordonnees->currentIndex()) {
    case 1:
      EditRayon->setText(f.RayonPupille != 0 ? Fixe(r / f.RayonPupille, Preferences.NDecRed)
                                             : QString());
      break;
    case 2:
      EditRayon->setText(f.RayonPupille != 0 ? Fixe(r * f.RayonPhysique * 1e-6 / f.RayonPupille,
                                                    Preferences.NDecMilli)
                                             : QString());
      break;
    default: EditRayon->setText(Fixe(r, Preferences.NDecPix));
  }
}

void TFormInfos::AfficherCurseur(TForm1& w, int c, int l) {
  const TPupille& f = *w.Champ();
  const double x = c - 1 < static_cast<int>(f.AxeX.size()) ? f.AxeX[c - 1] : 0;
  const double y = l - 1 < static_cast<int>(f.AxeY.size()) ? f.AxeY[l - 1] : 0;
  switch (ComboBoxCoordonnees->currentIndex()) {
    case 1:
      EditCurseurX->setText(Fixe(x, Preferences.NDecRed));
      EditCurseurY->setText(Fixe(y, Preferences.NDecRed));
      break;
    case 2:
      EditCurseurX->setText(Fixe(x * f.RayonPhysique * 1e-6, Preferences.NDecMilli));
      EditCurseurY->setText(Fixe(y * f.RayonPhysique * 1e-6, Preferences.NDecMilli));
      break;
    default: EditCurseurX->setText(QString::number(c)); EditCurseurY->setText(QString::number(l));
  }
  const double v = f.V(l - 1, c - 1);
  // The unit list belongs to wavefronts: an image reads in ADU whatever it was last set to.
  if (f.Role == RoleIntra || f.Role == RoleExtra)
    EditValeur->setText(Fixe(v, Preferences.NDecADU));
  else if ((f.Role == RoleFront || f.Role == RoleResidu) && ComboBoxUnite->currentIndex() == 1)
    EditValeur->setText(Fixe(v / Preferences.LambdaRef, Preferences.NDecLambda));
  else
    EditValeur->setText(Fixe(v, Preferences.NDecNano));
}

void TFormInfos::SeuilAuto() {
  TForm1* w = Courante();
  if (!w) return;
  w->Champ()->SeuilAutomatique(Preferences.ExtractDim, Preferences.ExtractSeuil);
  w->Champ()->TrouverPupille();
  w->Visualiser();
  Actualiser();
}

void TFormInfos::SeuilDeplace(int position) {
  TForm1* w = Courante();
  if (!w) return;
  TPupille& f = *w->Champ();
  f.Seuil = NiveauCurseur(position, f.Mini, f.Maxi);
  EditSeuil->setText(Fixe(f.Seuil, 1));
  f.Seuiller();
  f.TrouverPupille();
  Redessiner();
}

void TFormInfos::NiveauDeplace(int position, bool haut) {
  TForm1* w = Courante();
  if (!w) return;
  TPupille& f = *w->Champ();
  double& niveau = haut ? f.SeuilHaut : f.SeuilBas;
  niveau = NiveauCurseur(position, f.Mini, f.Maxi);
  EditSeuil->setText(Fixe(f.Seuil, 1));
  (haut ? LabelHaut : LabelBas)->setText(Fixe(niveau, 1));
  Redessiner();
}

void TFormInfos::ContrasteDeplace(int p) {
  EditContraste->setText(QString::fromStdString(FormaterGeneral(p / 10.0)));
  TForm1* w = Courante();
  if (!w) return;
  w->Champ()->Contraste = std::pow(10.0, -p / 100.0);
  w->Visualiser();
}

}  // namespace quelvane
