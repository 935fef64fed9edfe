#include "ui/dialogue_parametres.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "core/mathematiques.h"
#include "core/pupille.h"
#include "core/regional.h"
#include "core/zernike.h"
#include "files/ecriture.h"
#include "files/nombres.h"
#include "settings/preferences.h"
#include "settings/saisie_parametres.h"
#include "ui/dialogues.h"
#include "ui/fenetre_image.h"

namespace quelvane {

namespace {

QString Texte(const std::string& s) { return QString::fromStdString(s); }
QString Fixe(double v, int d) { return Texte(FormaterFixe(v, d)); }
QString General(double v) { return Texte(FormaterGeneral(v)); }

const QString TexteInitialMode = QStringLiteral(
    "Choisir le mode de traitement à \neffectuer à partir des images :\nsimple ou "
    "polychromatique.");

}  // namespace

TFormParam::TFormParam(QWidget* parent, QString cheminPreferences)
    : QDialog(parent), cheminPreferences_(std::move(cheminPreferences)) {
  setWindowTitle(QStringLiteral("Paramètres du test"));
  Construire();
  Reinitialiser();
}

void TFormParam::Construire() {
  auto* v = new QVBoxLayout(this);
  Pages = new QTabWidget;
  v->addWidget(Pages);

  // "Images"
  auto* images = new QWidget;
  auto* gi = new QGridLayout(images);
  ListBoxIntra = new QListWidget;
  ListBoxExtra = new QListWidget;
  ListBoxIntra->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBoxExtra->setSelectionMode(QAbstractItemView::ExtendedSelection);
  gi->addWidget(new QLabel(QStringLiteral("IntraFocales")), 0, 0);
  gi->addWidget(new QLabel(QStringLiteral("ExtraFocales")), 0, 2);
  gi->addWidget(ListBoxIntra, 1, 0);
  gi->addWidget(ListBoxExtra, 1, 2);
  auto* fleches = new QVBoxLayout;
  auto* versExtra = new QPushButton(QStringLiteral(">"));
  auto* versIntra = new QPushButton(QStringLiteral("<"));
  fleches->addWidget(versExtra);
  fleches->addWidget(versIntra);
  gi->addLayout(fleches, 1, 1);
  for (int col : {0, 2}) {
    auto* h = new QHBoxLayout;
    auto* plus = new QPushButton(QStringLiteral("+"));
    auto* moins = new QPushButton(QStringLiteral("-"));
    h->addWidget(plus);
    h->addWidget(moins);
    gi->addLayout(h, 2, col);
    connect(plus, &QPushButton::clicked, this, [this, col] { Monter(col == 2); });
    connect(moins, &QPushButton::clicked, this, [this, col] { Descendre(col == 2); });
  }
  auto* recuperer = new QPushButton(QStringLiteral("Récupérer les informations de l'image"));
  gi->addWidget(recuperer, 3, 0, 1, 3);
  auto* traitement = new QGroupBox(QStringLiteral("Traitement "));
  auto* vt = new QVBoxLayout(traitement);
  ComboBoxMode = new QComboBox;
  ComboBoxMode->addItems({QStringLiteral("Simple"), QStringLiteral("Polychromatique")});
  ComboBoxMode->setPlaceholderText(QStringLiteral("Choisir le mode de traitement"));
  MemoMode = new QPlainTextEdit;
  MemoMode->setReadOnly(true);
  vt->addWidget(ComboBoxMode);
  vt->addWidget(MemoMode);
  gi->addWidget(traitement, 4, 0, 1, 3);
  Pages->addTab(images, QStringLiteral("Images"));
  connect(versExtra, &QPushButton::clicked, this, &TFormParam::VersExtra);
  connect(versIntra, &QPushButton::clicked, this, &TFormParam::VersIntra);
  connect(recuperer, &QPushButton::clicked, this, &TFormParam::RecupererInfos);
  connect(ComboBoxMode, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (i == 0)
      MemoMode->setPlainText(
          QStringLiteral("Le front d'onde est reconstruit à partir des images intra et extra en "
                         "tête de chaque liste."));
    else if (i == 1)
      MemoMode->setPlainText(QStringLiteral(
          "Les fronts d'onde sont reconstruits pour les trois couleurs bleu, vert, et rouge, dans "
          "cet ordre, à partir des trois premières images de chaque liste."));
  });

  // "Instrument et capteur"
  auto* instrument = new QWidget;
  auto* vi = new QVBoxLayout(instrument);
  auto* gInst = new QGroupBox(QStringLiteral("Instrument"));
  auto* fInst = new QFormLayout(gInst);
  SpinEditDiametre = new QSpinBox;
  SpinEditDiametre->setRange(0, 10000);
  SpinEditDiametre->setSingleStep(10);
  SpinEditFocale = new QSpinBox;
  SpinEditFocale->setRange(0, 1000000);
  SpinEditFocale->setSingleStep(100);
  EditRapport = new QLineEdit;
  fInst->addRow(QStringLiteral("Diamètre : "), SpinEditDiametre);
  fInst->addRow(QStringLiteral("Distance focale :"), SpinEditFocale);
  fInst->addRow(QStringLiteral("Rapport F/D :"), EditRapport);
  vi->addWidget(gInst);
  auto* gAcq = new QGroupBox(QStringLiteral("Acquisition"));
  auto* fAcq = new QFormLayout(gAcq);
  EditPixel = new QLineEdit;
  SpinEditBinAcquisition = new QSpinBox;
  SpinEditBinAcquisition->setRange(1, 255);
  fAcq->addRow(QStringLiteral("Taille pixels CCD :"), EditPixel);
  fAcq->addRow(QStringLiteral("Binning acquisition :"), SpinEditBinAcquisition);
  vi->addWidget(gAcq);
  auto* gGeo = new QGroupBox(QStringLiteral("Géométrie"));
  auto* fGeo = new QFormLayout(gGeo);
  EditDefocalisation = new QLineEdit;
  EditDefocalisation->setToolTip(QStringLiteral("Distance en millimètres"));
  SpinEditBinLogiciel = new QSpinBox;
  SpinEditBinLogiciel->setRange(1, 255);
  EditRayonIntra = new QLineEdit;
  EditRayonExtra = new QLineEdit;
  EditRayonIntra->setReadOnly(true);
  EditRayonExtra->setReadOnly(true);
  auto* calculDefoc = new QPushButton(QStringLiteral("Calculer"));
  calculDefoc->setToolTip(QStringLiteral("Calculer les distances intra et extra"));
  fGeo->addRow(QStringLiteral("Défocalisation :"), EditDefocalisation);
  fGeo->addRow(QStringLiteral("Binning logiciel :"), SpinEditBinLogiciel);
  fGeo->addRow(QStringLiteral("Rayon image intra :"), EditRayonIntra);
  fGeo->addRow(QStringLiteral("Rayon image extra :"), EditRayonExtra);
  fGeo->addRow(calculDefoc);
  vi->addWidget(gGeo);
  auto* hd = new QHBoxLayout;
  auto* charger = new QPushButton(QStringLiteral("Charger les paramètres par défaut"));
  auto* sauver = new QPushButton(QStringLiteral("Sauver comme paramètres par défaut"));
  hd->addWidget(charger);
  hd->addWidget(sauver);
  vi->addLayout(hd);
  Pages->addTab(instrument, QStringLiteral("Instrument et capteur"));
  connect(calculDefoc, &QPushButton::clicked, this, &TFormParam::CalculerDefocalisation);
  connect(charger, &QPushButton::clicked, this, &TFormParam::ChargerDefauts);
  connect(sauver, &QPushButton::clicked, this, &TFormParam::SauverDefauts);
  // Diameter, focal length and F/D follow each other.
  auto focaleDepuisRapport = [this] {
    if (couplage_) return;
    couplage_ = true;
    SpinEditFocale->setValue(static_cast<int>(
        Arrondi(SpinEditDiametre->value() * LireReel(EditRapport->text().toStdString()))));
    couplage_ = false;
  };
  connect(SpinEditDiametre, &QSpinBox::valueChanged, this, focaleDepuisRapport);
  connect(EditRapport, &QLineEdit::textEdited, this, focaleDepuisRapport);
  connect(SpinEditFocale, &QSpinBox::valueChanged, this, [this](int focale) {
    if (couplage_) return;
    couplage_ = true;
    const int d = SpinEditDiametre->value();
    EditRapport->setText(General(d == 0 ? 0.0 : static_cast<double>(focale) / d));
    couplage_ = false;
  });
  connect(Pages, &QTabWidget::currentChanged, this, [this](int i) {
    if (i == 1) AfficherRayons();
  });

  // "Source"
  auto* source = new QWidget;
  auto* vs = new QVBoxLayout(source);
  auto* gSrc = new QGroupBox(QStringLiteral("Source"));
  auto* vSrc = new QVBoxLayout(gSrc);
  GroupeSource = new QButtonGroup(this);
  const char* choix[] = {"Etoile à l'infini", "Etoile artificielle (source à distance finie)",
                         "Source au rayon de courbure", "Source à l'infini (autocolimation)"};
  for (int i = 0; i < 4; ++i) {
    auto* r = new QRadioButton(QString::fromUtf8(choix[i]));
    GroupeSource->addButton(r, i);
    vSrc->addWidget(r);
  }
  vs->addWidget(gSrc);
  connect(GroupeSource, &QButtonGroup::idClicked, this, &TFormParam::ChoisirSource);
  auto* gGeoSrc = new QGroupBox(QStringLiteral("Géométrie"));
  auto* fSrc = new QFormLayout(gGeoSrc);
  EditDistance = new QLineEdit;
  ComboBoxUniteDistance = new QComboBox;
  ComboBoxUniteDistance->addItems(
      {QStringLiteral("millimètres"), QStringLiteral("mètres"), QStringLiteral("kilomètres")});
  EditAngle = new QLineEdit;
  ComboBoxUniteAngle = new QComboBox;
  ComboBoxUniteAngle->addItems({QStringLiteral("Degrés"), QStringLiteral("Radian")});
  auto paire = [](QWidget* a, QWidget* b) {
    auto* h = new QHBoxLayout;
    h->addWidget(a);
    h->addWidget(b);
    return h;
  };
  fSrc->addRow(QStringLiteral("Distance source :"), paire(EditDistance, ComboBoxUniteDistance));
  fSrc->addRow(QStringLiteral("Angle d'incidence :"), paire(EditAngle, ComboBoxUniteAngle));
  EditRotation = new QLineEdit(QStringLiteral("0"));
  EditRotation->setToolTip(
      QStringLiteral("Angle dont l'optique a été tournée sur son barillet depuis sa position de "
                     "référence, en degrés, dans le sens trigonométrique du front affiché. Les "
                     "moyennes de tests le défont et séparent les termes du banc."));
  fSrc->addRow(QStringLiteral("Rotation de l'optique (°) :"), EditRotation);
  vs->addWidget(gGeoSrc);
  auto* gAb = new QGroupBox(QStringLiteral("Aberrations à soustraire (nanomètres)"));
  auto* fAb = new QFormLayout(gAb);
  EditAstigmatisme = new QLineEdit;
  EditComa = new QLineEdit;
  EditSphericite = new QLineEdit;
  ComboBoxOrientation = new QComboBox;
  ComboBoxOrientation->addItems({QStringLiteral("selon x"), QStringLiteral("selon y")});
  ComboBoxOrientation->setPlaceholderText(QStringLiteral("Orientation"));
  auto* calculAb = new QPushButton(QStringLiteral("Calculer"));
  calculAb->setToolTip(QStringLiteral("Calculer les aberrations à soustraire"));
  fAb->addRow(QStringLiteral("Astigmatisme :"), EditAstigmatisme);
  fAb->addRow(QStringLiteral("Coma :"), EditComa);
  fAb->addRow(QStringLiteral("Sphéricité :"), EditSphericite);
  fAb->addRow(ComboBoxOrientation);
  fAb->addRow(calculAb);
  vs->addWidget(gAb);
  Pages->addTab(source, QStringLiteral("Source"));
  connect(calculAb, &QPushButton::clicked, this, &TFormParam::CalculerAberrations);

  // "Informations complémentaires"
  auto* infos = new QWidget;
  auto* gInf = new QGridLayout(infos);
  EditDate = new QLineEdit;
  gInf->addWidget(new QLabel(QStringLiteral("Date (aaaa-mm-jj) :")), 0, 0);
  gInf->addWidget(EditDate, 0, 1, 1, 2);
  gInf->addWidget(new QLabel(QStringLiteral("Intra")), 1, 1);
  gInf->addWidget(new QLabel(QStringLiteral("Extra")), 1, 2);
  EditHeureIntra = new QLineEdit;
  EditHeureExtra = new QLineEdit;
  EditPoseIntra = new QLineEdit;
  EditPoseExtra = new QLineEdit;
  EditTemperatureIntra = new QLineEdit;
  EditTemperatureExtra = new QLineEdit;
  int ligne = 2;
  for (auto [nom, a, b] :
       {std::tuple{"Heure début :", EditHeureIntra, EditHeureExtra},
        std::tuple{"Temps de pose (s) :", EditPoseIntra, EditPoseExtra},
        std::tuple{"Température (°C) :", EditTemperatureIntra, EditTemperatureExtra}}) {
    gInf->addWidget(new QLabel(QString::fromUtf8(nom)), ligne, 0);
    gInf->addWidget(a, ligne, 1);
    gInf->addWidget(b, ligne++, 2);
  }
  EditAlpha = new QLineEdit;
  EditDelta = new QLineEdit;
  EditSeeing = new QLineEdit;
  for (auto [nom, e] : {std::pair{"Alpha :", EditAlpha}, std::pair{"Delta :", EditDelta},
                        std::pair{"Seeing :", EditSeeing}}) {
    gInf->addWidget(new QLabel(QString::fromUtf8(nom)), ligne, 0);
    gInf->addWidget(e, ligne++, 1, 1, 2);
  }
  auto* etiquettes = new QListWidget;
  for (const char* e : {"Observateur :", "Observatoire :", "Instrument :", "Camera :", "Filtre :",
                        "Commentaire 1 :", "Commentaire 2 :", "Commentaire 3 :", "Commentaire 4 :"})
    etiquettes->addItem(QString::fromUtf8(e));
  ListeValeurs = new QListWidget;
  gInf->addWidget(etiquettes, ligne, 0);
  gInf->addWidget(ListeValeurs, ligne, 1, 1, 2);
  Pages->addTab(infos, QStringLiteral("Informations complémentaires"));

  auto* boutons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  boutons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Ok"));
  boutons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(boutons, &QDialogButtonBox::accepted, this, &TFormParam::Valider);
  connect(boutons, &QDialogButtonBox::rejected, this, &TFormParam::reject);
  v->addWidget(boutons);
}

void TFormParam::Reinitialiser() {
  intra_.clear();
  extra_.clear();
  Remplir();
  ComboBoxMode->setCurrentIndex(0);
  couplage_ = true;
  SpinEditDiametre->setValue(0);
  SpinEditFocale->setValue(0);
  couplage_ = false;
  EditRapport->clear();
  EditPixel->setText(QStringLiteral("0"));
  SpinEditBinAcquisition->setValue(1);
  SpinEditBinLogiciel->setValue(1);
  EditRayonIntra->setText(QStringLiteral("0"));
  EditRayonExtra->setText(QStringLiteral("0"));
  EditDefocalisation->setText(QStringLiteral("0"));
  GroupeSource->button(0)->setChecked(true);
  EditDistance->setText(QStringLiteral("0"));
  EditAngle->setText(QStringLiteral("0"));
  EditRotation->setText(QStringLiteral("0"));
  ComboBoxUniteAngle->setCurrentIndex(0);
  for (QLineEdit* e : {EditAstigmatisme, EditComa, EditSphericite}) e->setText(QStringLiteral("0"));
  for (QLineEdit* e :
       {EditDate, EditHeureIntra, EditHeureExtra, EditPoseIntra, EditPoseExtra,
        EditTemperatureIntra, EditTemperatureExtra, EditAlpha, EditDelta, EditSeeing})
    e->clear();
  ListeValeurs->clear();
  AberrationsMontage = {};
  // A new test starts from the instrument the user saved as the default.
  AfficherDefauts();
}

void TFormParam::Remplir() {
  auto remplir = [](QListWidget* l, const std::vector<TEntreeImage>& entrees) {
    l->clear();
    for (const auto& e : entrees) l->addItem(e.Legende);
  };
  remplir(ListBoxIntra, intra_);
  remplir(ListBoxExtra, extra_);
}

void TFormParam::AjouterIntra(TForm1* f, const QString& legende) {
  intra_.push_back({f, legende});
  Remplir();
}

void TFormParam::AjouterExtra(TForm1* f, const QString& legende) {
  extra_.push_back({f, legende});
  Remplir();
}

void TFormParam::Retirer(TForm1* f) {
  auto retirer = [f](std::vector<TEntreeImage>& l) {
    std::erase_if(l, [f](const TEntreeImage& e) { return e.Fenetre == f || e.Fenetre.isNull(); });
  };
  retirer(intra_);
  retirer(extra_);
  Remplir();
}

void TFormParam::Deplacer(std::vector<TEntreeImage>& de, QListWidget* listeDe,
                          std::vector<TEntreeImage>& vers, QListWidget*, std::uint8_t role) {
  const int i = listeDe->currentRow();
  if (i < 0 || i >= static_cast<int>(de.size())) return;
  TEntreeImage e = de[i];
  de.erase(de.begin() + i);
  if (e.Fenetre && e.Fenetre->Champ()) {
    e.Fenetre->Champ()->Symetrie180();
    e.Fenetre->Champ()->Role = role;
  }
  vers.push_back(e);
  Remplir();
}

void TFormParam::VersExtra() { Deplacer(intra_, ListBoxIntra, extra_, ListBoxExtra, RoleExtra); }
void TFormParam::VersIntra() { Deplacer(extra_, ListBoxExtra, intra_, ListBoxIntra, RoleIntra); }

void TFormParam::Monter(bool extra) {
  auto& l = extra ? extra_ : intra_;
  QListWidget* w = extra ? ListBoxExtra : ListBoxIntra;
  const int i = w->currentRow();
  if (i <= 0 || i >= static_cast<int>(l.size())) return;
  std::swap(l[i], l[i - 1]);
  Remplir();
  w->setCurrentRow(i - 1);
}

void TFormParam::Descendre(bool extra) {
  auto& l = extra ? extra_ : intra_;
  QListWidget* w = extra ? ListBoxExtra : ListBoxIntra;
  const int i = w->currentRow();
  if (i < 0 || i + 1 >= static_cast<int>(l.size())) return;
  std::swap(l[i], l[i + 1]);
  Remplir();
  w->setCurrentRow(i + 1);
}

void TFormParam::RecupererInfos() {
  auto premiereSelection = [](QListWidget* l) {
    for (int i = 0; i < l->count(); ++i)
      if (l->item(i)->isSelected()) return i;
    return -1;
  };
  const int e = premiereSelection(ListBoxExtra);
  const int i = premiereSelection(ListBoxIntra);
  const TEntreeImage* choisie = e >= 0 ? &extra_[e] : (i >= 0 ? &intra_[i] : nullptr);
  if (!choisie || !choisie->Fenetre || !choisie->Fenetre->Champ()) return;
  InfosImage = choisie->Fenetre->Champ()->Infos;
  const TImgInfos& in = InfosImage;
  SpinEditDiametre->setValue(static_cast<int>(Arrondi(in.DiametreInstr)));
  SpinEditFocale->setValue(static_cast<int>(Arrondi(in.LongueurFocale)));
  EditPixel->setText(Fixe(in.PixelX, 2));
  EditDefocalisation->setText(Fixe(EntreesDepuis(ParametresTest).DefocalisationMm, 3));
  SpinEditBinAcquisition->setValue(in.BinX == 0 ? 1 : in.BinX);
  EditDate->setText(Texte(DateDe(in.DateObs)));
  EditHeureIntra->setText(Texte(HeureDe(in.DateObs)));
  EditHeureExtra->setText(Texte(HeureDe(in.DateObs)));
  EditPoseIntra->setText(General(in.PoseSecondes > 0 ? in.PoseSecondes : in.Exposition));
  EditPoseExtra->setText(General(in.PoseSecondes > 0 ? in.PoseSecondes : in.Exposition));
  EditTemperatureIntra->setText(General(in.Temperature));
  EditTemperatureExtra->setText(General(in.Temperature));
  EditSeeing->setText(General(in.Seeing));
  EditAlpha->setText(Texte(HeuresEnTexte(in.AscDroite)));
  EditDelta->setText(Texte(DegresEnTexte(in.Declinaison)));
  ListeValeurs->clear();
  for (const std::string& s :
       {in.Observateur, in.Observatoire, in.Telescope, in.Instrument, in.Filtres})
    ListeValeurs->addItem(Texte(s));
  for (const std::string& s : in.Commentaires) ListeValeurs->addItem(Texte(s));
}

bool TFormParam::LireStrict(const QLineEdit* edit, double& valeur) {
  const auto v = LireSaisie(edit->text().toStdString());
  if (!v) {
    Dialogues().Avertir(
        this, QStringLiteral("'%1' n'est pas une valeur numérique correcte").arg(edit->text()));
    return false;
  }
  valeur = *v;
  return true;
}

void TFormParam::CalculerDefocalisation() {
  TEntreesTest e = EntreesSaisies();
  if (!LireStrict(EditPixel, e.PixelMicrons)) return;
  ParametresTest.DistanceFocale = FocaleNm(e);
  ParametresTest.RayonInstrument = RayonInstrumentNm(e);
  // The radii as measured, not as the fields round them to NDecPix decimals (a field whose
  // text was changed is read as it stands).
  auto rayon = [&](const QLineEdit* edit, double mesure, double& r) {
    if (edit->text() == Fixe(mesure, Preferences.NDecPix)) {
      r = mesure;
      return true;
    }
    return LireStrict(edit, r);
  };
  double rIntra = 0, rExtra = 0;
  if (!rayon(EditRayonIntra, rayonIntra_, rIntra) || !rayon(EditRayonExtra, rayonExtra_, rExtra))
    return;
  if (e.DiametreMm == 0) return;  // no instrument: nothing to compute
  ParametresTest.Defocalisation = DefocalisationDepuisRayons(e, rIntra, rExtra);
  EditDefocalisation->setText(Fixe(ParametresTest.Defocalisation / 1e6, 3));
}

TEntreesTest TFormParam::EntreesSaisies() const {
  TEntreesTest e;
  e.DiametreMm = SpinEditDiametre->value();
  e.FocaleMm = SpinEditFocale->value();
  e.DefocalisationMm = LireReel(EditDefocalisation->text().toStdString());
  e.BinAcquisition = SpinEditBinAcquisition->value();
  e.BinLogiciel = SpinEditBinLogiciel->value();
  e.Source = static_cast<std::uint8_t>(std::max(0, GroupeSource->checkedId()));
  e.DistanceSourceMm = DistanceObjetSaisie() / 1e6;
  e.IncidenceRadians = AngleSaisi();
  e.RotationDeg = LireReel(EditRotation->text().toStdString());
  const int o = ComboBoxOrientation->currentIndex();
  e.Orientation = o == 0 ? SelonX : o == 1 ? SelonY : SansOrientation;
  return e;
}

double TFormParam::DistanceObjetSaisie() const {
  return DistanceObjet(EditDistance->text().toStdString(), ComboBoxUniteDistance->currentIndex());
}

double TFormParam::AngleSaisi() const {
  return angleIncidence(EditAngle->text().toStdString(), ComboBoxUniteAngle->currentIndex());
}

void TFormParam::CalculerAberrations() {
  const TEntreesTest e = EntreesSaisies();
  ParametresTest.RayonInstrument = RayonInstrumentNm(e);
  ParametresTest.DistanceFocale = FocaleNm(e);
  const TAberrationsMontage a = CalculerAberrationsMontage(e);
  AberrationsMontage = {a.Astigmatisme, a.Coma, a.Sphericite};
  const TJeuZernike jeu = ConstruireJeuZernike(NMaxZern, PolyMahajan);
  EditAstigmatisme->setText(Fixe(AberrationsMontage[0] / jeu.FacteurNorm[4], Preferences.NDecNano));
  EditComa->setText(Fixe(AberrationsMontage[1] / jeu.FacteurNorm[6], Preferences.NDecNano));
  EditSphericite->setText(Fixe(AberrationsMontage[2] / jeu.FacteurNorm[10], Preferences.NDecNano));
}

void TFormParam::ChoisirSource(int indice) {
  GroupeSource->button(indice)->setChecked(true);
  switch (indice) {
    case 0:
      EditDistance->setText(QStringLiteral("Infini"));
      EditAngle->setText(QStringLiteral("0"));
      for (QLineEdit* e : {EditAstigmatisme, EditComa, EditSphericite})
        e->setText(QStringLiteral("0"));
      ParametresTest.DistanceSource = 0;
      CalculerAberrations();
      break;
    case 2:
      EditDistance->setText(General(2.0 * SpinEditFocale->value()));
      ComboBoxUniteDistance->setCurrentIndex(0);
      ParametresTest.DistanceSource = DistanceSourceNm(EntreesSaisies());
      ParametresTest.RayonInstrument = RayonInstrumentNm(EntreesSaisies());
      CalculerAberrations();
      break;
    case 3:
      EditSphericite->setText(QStringLiteral("0"));
      EditDistance->setText(QStringLiteral("Infini"));
      CalculerAberrations();
      break;
    default: break;  // the user types the distance
  }
}

void TFormParam::SauverDefauts() {
  double pixel = 0;
  const TEntreesTest e = EntreesSaisies();
  ParametresTest.DistanceFocale = FocaleNm(e);
  ParametresTest.RayonInstrument = RayonInstrumentNm(e);
  if (!LireStrict(EditPixel, pixel)) return;
  Preferences.Diametre = static_cast<std::uint32_t>(Arrondi(e.DiametreMm));
  Preferences.Focale = static_cast<std::uint32_t>(Arrondi(e.FocaleMm));
  Preferences.PixelCCD = static_cast<std::int32_t>(Arrondi(pixel * 1000));
  Preferences.BinAcquisition = static_cast<std::uint8_t>(SpinEditBinAcquisition->value());
  Preferences.BinLogiciel = static_cast<std::uint8_t>(SpinEditBinLogiciel->value());
  try {
    CreerDossierPreferences(cheminPreferences_.toStdString());
    EcrirePreferences(Preferences, cheminPreferences_.toStdString());
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, Texte(e.what()));
  }
}

void TFormParam::SaisirEtValider(const TEntreesTest& e) {
  PreparerAffichage();
  ComboBoxMode->setCurrentIndex(0);
  SpinEditDiametre->setValue(static_cast<int>(Arrondi(e.DiametreMm)));
  SpinEditFocale->setValue(static_cast<int>(Arrondi(e.FocaleMm)));
  EditPixel->setText(General(e.PixelMicrons));
  SpinEditBinAcquisition->setValue(e.BinAcquisition);
  SpinEditBinLogiciel->setValue(e.BinLogiciel);
  ChoisirSource(0);
  AfficherRayons();
  CalculerDefocalisation();
  Valider();
}

void TFormParam::ChargerDefauts() {
  LirePreferences(Preferences, cheminPreferences_.toStdString());
  AfficherDefauts();
}

void TFormParam::AfficherDefauts() {
  SpinEditDiametre->setValue(static_cast<int>(Preferences.Diametre));
  SpinEditFocale->setValue(static_cast<int>(Preferences.Focale));
  EditPixel->setText(General(Preferences.PixelCCD * 0.001));
  SpinEditBinLogiciel->setValue(Preferences.BinLogiciel);
  SpinEditBinAcquisition->setValue(Preferences.BinAcquisition);
}

void TFormParam::AfficherRayons() {
  EditRayonIntra->setText(QStringLiteral("0"));
  EditRayonExtra->setText(QStringLiteral("0"));
  const bool poly = ComboBoxMode->currentIndex() == 1;
  const std::size_t position = poly ? Preferences.OriginFoc : 0;
  auto rayon = [&](const std::vector<TEntreeImage>& l, QLineEdit* e, double& mesure) {
    mesure = 0;
    if (position < l.size() && l[position].Fenetre && l[position].Fenetre->Champ()) {
      mesure = l[position].Fenetre->Champ()->RayonPupille;
      e->setText(Fixe(mesure, Preferences.NDecPix));
    }
  };
  rayon(intra_, EditRayonIntra, rayonIntra_);
  rayon(extra_, EditRayonExtra, rayonExtra_);
}

void TFormParam::PreparerAffichage() {
  couplage_ = true;
  const TEntreesTest e = EntreesDepuis(ParametresTest);
  // A test without an instrument yet keeps what the fields offer (the saved defaults).
  if (e.DiametreMm > 0 || e.FocaleMm > 0) {
    SpinEditDiametre->setValue(static_cast<int>(Arrondi(e.DiametreMm)));
    SpinEditFocale->setValue(static_cast<int>(Arrondi(e.FocaleMm)));
  }
  couplage_ = false;
  copie_ = ParametresTest;
  if (Pages->currentIndex() == 1) AfficherRayons();
}

void TFormParam::showEvent(QShowEvent* e) {
  PreparerAffichage();
  QDialog::showEvent(e);
}

void TFormParam::Valider() {
  TParametresTest& p = ParametresTest;
  const auto rotation = LireSaisie(EditRotation->text().toStdString());
  if (!rotation || !(std::isfinite(*rotation) && *rotation >= -360 && *rotation <= 360)) {
    Dialogues().Avertir(this, QStringLiteral("Rotation de l'optique : de -360 à 360 degrés."));
    return;
  }
  AppliquerEntrees(EntreesSaisies(),
                   {AberrationsMontage[0], AberrationsMontage[1], AberrationsMontage[2]}, p);
  const int mode = ComboBoxMode->currentIndex();
  p.ModeTraitement =
      mode < 0 ? static_cast<std::uint8_t>(ModeAucun) : static_cast<std::uint8_t>(mode);
  auto champ = [](const std::vector<TEntreeImage>& l, std::size_t i) -> TPupille* {
    return i < l.size() && l[i].Fenetre ? l[i].Fenetre->Champ() : nullptr;
  };
  bool complete = false;
  if (p.ModeTraitement == ModePolychromatique) {
    complete = intra_.size() >= 3 && extra_.size() >= 3;
    if (complete) {
      p.IntraBleu = champ(intra_, 0), p.ExtraBleu = champ(extra_, 0);
      p.IntraVert = champ(intra_, 1), p.ExtraVert = champ(extra_, 1);
      p.IntraRouge = champ(intra_, 2), p.ExtraRouge = champ(extra_, 2);
    }
  } else {
    complete = !intra_.empty() && !extra_.empty();
    if (complete) {
      p.ImageIntra = champ(intra_, 0);
      p.ImageExtra = champ(extra_, 0);
      EditRayonIntra->setText(General(p.ImageIntra ? p.ImageIntra->RayonPupille : 0));
      EditRayonExtra->setText(General(p.ImageExtra ? p.ImageExtra->RayonPupille : 0));
    }
  }
  p.ParametresValides = false;
  if (!complete) {
    Dialogues().Avertir(this, QStringLiteral("La liste des images est incomplète."));
    return;
  }
  if (p.DistanceFocale == 0 || p.RayonInstrument == 0 || p.Defocalisation == 0) {
    Dialogues().Avertir(this, QStringLiteral("Les paramètres sont incomplets."));
    return;
  }
  p.ParametresValides = true;
  accept();
}

void TFormParam::Annuler() {
  ParametresTest = copie_;
  QDialog::reject();
}

void TFormParam::reject() { Annuler(); }

}  // namespace quelvane
