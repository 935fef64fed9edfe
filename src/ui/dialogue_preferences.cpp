#include "ui/dialogue_preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "files/nombres.h"
#include "rendu/palettes.h"
#include "ui/coefficients.h"
#include "ui/dialogues.h"

namespace quelvane {

namespace {

QString Texte(const std::string& t) { return QString::fromStdString(t); }
QString Reel(double v) { return Texte(FormaterFixe(v, 2)); }

QSpinBox* Spin(int mini, int maxi, int pas = 1) {
  auto* s = new QSpinBox;
  s->setRange(mini, maxi);
  s->setSingleStep(pas);
  return s;
}

QComboBox* Liste(const QStringList& entrees) {
  auto* c = new QComboBox;
  c->addItems(entrees);
  return c;
}

QComboBox* Dossier() {
  auto* c = new QComboBox;
  c->setEditable(true);
  c->setMinimumWidth(320);
  c->setInsertPolicy(QComboBox::NoInsert);
  return c;
}

QLabel* Etiquette(const char* t) { return new QLabel(QString::fromUtf8(t)); }

// The keys of the real-valued edits, in the order they are checked on OK.
struct TChampReel {
  const char* Cle;
  const char* Libelle;
  int Page;
};

}  // namespace

TPrefs::TPrefs(QWidget* parent, QString cheminPreferences, std::function<void()> aide)
    : QDialog(parent), chemin_(std::move(cheminPreferences)), aide_(std::move(aide)) {
  setWindowTitle(QStringLiteral("Préférences"));
  setModal(true);
  auto* v = new QVBoxLayout(this);
  Pages = new QTabWidget;
  v->addWidget(Pages);

  // Affichage.
  {
    auto* page = new QWidget;
    auto* pv = new QVBoxLayout(page);
    auto* groupe = new QGroupBox(QStringLiteral(" Palettes "));
    auto* g = new QGridLayout(groupe);
    const char* libelles[] = {
        "1. Images et signal :", "2. Front d'onde :", "3. PSF :", "4. Interférogramme :"};
    QStringList noms;
    for (const char* n : NomsPalettes) noms << QString::fromUtf8(n);
    auto* bandes = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
      g->addWidget(Etiquette(libelles[i]), i, 0);
      ComboBoxPalette[i] = Liste(noms);
      g->addWidget(ComboBoxPalette[i], i, 1);
      ImagePalette[i] = new QLabel;
      ImagePalette[i]->setFixedSize(17, 113);
      bandes->addWidget(new QLabel(i == 0 ? QStringLiteral("1 ") : QString::number(i + 1)), 0, i,
                        Qt::AlignHCenter);
      bandes->addWidget(ImagePalette[i], 2, i, Qt::AlignHCenter);
      connect(ComboBoxPalette[i], &QComboBox::currentIndexChanged, this,
              [this] { AfficherPalettes(); });
    }
    bandes->addWidget(new QLabel(QStringLiteral("max")), 1, 0, 1, 4, Qt::AlignHCenter);
    bandes->addWidget(new QLabel(QStringLiteral("min")), 3, 0, 1, 4, Qt::AlignHCenter);
    g->addLayout(bandes, 0, 2, 5, 1);
    pv->addWidget(groupe);
    CheckBoxMasqueActif =
        new QCheckBox(QStringLiteral("Optimiser la mémoire lors de l'affichage des images "));
    pv->addWidget(CheckBoxMasqueActif);
    auto* ligne = new QHBoxLayout;
    ligne->addWidget(Etiquette("Taille par défaut des PSF :"));
    ComboBoxFactMultDiff = Liste({"x1", "x2", "x4", "x8"});
    ligne->addWidget(ComboBoxFactMultDiff);
    ligne->addStretch();
    pv->addLayout(ligne);
    pv->addStretch();
    Pages->addTab(page, QStringLiteral("Affichage"));
  }

  // Algorithmes.
  {
    auto* page = new QWidget;
    auto* pv = new QVBoxLayout(page);
    auto* extraction = new QGroupBox(QStringLiteral(" Extraction des plages "));
    auto* g = new QGridLayout(extraction);
    g->addWidget(Etiquette("Dimension des images réduites pour la recherche du seuil (pix.) :"), 0,
                 0);
    ComboBoxExtractDim = Liste({"8", "16", "32", "64"});
    g->addWidget(ComboBoxExtractDim, 0, 1);
    g->addWidget(Etiquette("Position du seuil (% de la hauteur) :"), 1, 0);
    SpinEditExtractSeuil = Spin(0, 100, 5);
    g->addWidget(SpinEditExtractSeuil, 1, 1);
    CheckBoxExtractAuto = new QCheckBox(
        QStringLiteral("Extraire les plages et calculer le signal à l'ouverture des images"));
    g->addWidget(CheckBoxExtractAuto, 2, 0, 1, 2);
    CheckBoxCorrectionFond = new QCheckBox(
        QStringLiteral("Soustraire le fond du ciel et égaliser les flux des deux images"));
    g->addWidget(CheckBoxCorrectionFond, 3, 0, 1, 2);
    g->setColumnStretch(2, 1);
    pv->addWidget(extraction);
    auto* roddier = new QGroupBox(QStringLiteral(" Roddier "));
    auto* r = new QGridLayout(roddier);
    r->addWidget(Etiquette("Nombre maximal d'itérations :"), 0, 0);
    SpinEditNIter = Spin(1, 20);
    r->addWidget(SpinEditNIter, 0, 1);
    auto* arret = new QHBoxLayout;
    CheckBoxBreakCondition = new QCheckBox(QStringLiteral("Condition d'arrêt : RMS Front <"));
    EditRMSFront = new QLineEdit;
    EditRMSFront->setMaximumWidth(80);
    arret->addWidget(CheckBoxBreakCondition);
    arret->addWidget(EditRMSFront);
    arret->addWidget(Etiquette("nanomètres"));
    arret->addStretch();
    r->addLayout(arret, 1, 0, 1, 2);
    r->setColumnStretch(2, 1);
    pv->addWidget(roddier);
    auto* series = new QGroupBox(QStringLiteral(" Séries d'images et calcul "));
    auto* gs = new QGridLayout(series);
    gs->addWidget(Etiquette("Part des images d'une série gardées, les plus nettes (%) :"), 0, 0);
    SpinEditPartEmpilement = Spin(1, 100, 5);
    gs->addWidget(SpinEditPartEmpilement, 0, 1);
    gs->addWidget(Etiquette("Fils de calcul (0 : tous les cœurs) :"), 1, 0);
    SpinEditNbFils = Spin(0, 255);
    gs->addWidget(SpinEditNbFils, 1, 1);
    gs->setColumnStretch(2, 1);
    pv->addWidget(series);
    pv->addStretch();
    Pages->addTab(page, QStringLiteral("Algorithmes"));
  }

  // Constantes.
  {
    auto* page = new QWidget;
    auto* pv = new QHBoxLayout(page);
    auto* ondes = new QGroupBox(QStringLiteral("Longueurs d'onde"));
    auto* g = new QGridLayout(ondes);
    g->addWidget(Etiquette("Longueur d'onde de référence :"), 0, 0);
    EditLambdaRef = new QLineEdit;
    g->addWidget(EditLambdaRef, 0, 1);
    g->addWidget(Etiquette("nm"), 0, 2);
    g->addWidget(Etiquette("Longueur d'onde interférométrique :"), 1, 0);
    EditLambdaInterfero = new QLineEdit;
    g->addWidget(EditLambdaInterfero, 1, 1);
    g->addWidget(Etiquette("nm"), 1, 2);
    g->addWidget(Etiquette("Couleur du foyer origine :"), 2, 0);
    ComboBoxOriginFoc = Liste({"Bleu", "Vert", "Rouge"});
    g->addWidget(ComboBoxOriginFoc, 2, 1);
    g->addWidget(Etiquette("Longueur d'onde (nm)"), 3, 1);
    g->addWidget(Etiquette("Poids relatif"), 3, 2);
    const char* couleurs[] = {"Bleu :", "Vert :", "Rouge :"};
    for (int k = 0; k < 3; ++k) {
      g->addWidget(Etiquette(couleurs[k]), 4 + k, 0);
      EditLambda[k] = new QLineEdit;
      EditPoids[k] = new QLineEdit;
      g->addWidget(EditLambda[k], 4 + k, 1);
      g->addWidget(EditPoids[k], 4 + k, 2);
    }
    g->setRowStretch(7, 1);
    pv->addWidget(ondes);
    auto* decimales =
        new QGroupBox(QStringLiteral("Précision d'affichage  des résultats en décimales"));
    auto* d = new QGridLayout(decimales);
    const char* unites[] = {"Millimètres :", "Nanomètres :", "Lambda :", "Pixels :",
                            "ADU :",         "Strehl :",     "Degrés :", "Coordonnées réduites :"};
    for (int i = 0; i < 8; ++i) {
      d->addWidget(Etiquette(unites[i]), i, 0);
      SpinEditNDec[i] = Spin(0, 4);
      d->addWidget(SpinEditNDec[i], i, 1);
    }
    pv->addWidget(decimales);
    Pages->addTab(page, QStringLiteral("Constantes"));
    // The previews show the colour of the wavelength being typed; it is kept only on OK.
    connect(EditLambdaInterfero, &QLineEdit::textEdited, this, [this] { AfficherPalettes(); });
  }

  // Ajustement.
  {
    auto* page = new QWidget;
    auto* pv = new QVBoxLayout(page);
    auto* groupe = new QGroupBox(QStringLiteral("Polynômes"));
    auto* g = new QGridLayout(groupe);
    g->addWidget(Etiquette("Type des polynômes ajustés :"), 0, 0);
    ComboBoxModePoly = Liste({"Mahajan", "Zernike"});
    g->addWidget(ComboBoxModePoly, 0, 1);
    g->addWidget(Etiquette("Nombre de polynômes ajustés :"), 1, 0);
    SpinEditNPolyZern = Spin(1, NMaxZern);  // none would fit nothing
    g->addWidget(SpinEditNPolyZern, 1, 1);
    g->addWidget(Etiquette("Coefficients de  normalisation :"), 2, 0);
    ComboBoxNormRMS = Liste({"Aucun", "Valeur RMS"});
    g->addWidget(ComboBoxNormRMS, 2, 1);
    g->addWidget(Etiquette("Valeurs d'alerte :"), 3, 0);
    ButtonAlertes = new QPushButton(QStringLiteral("Editer"));
    g->addWidget(ButtonAlertes, 3, 1);
    connect(ButtonAlertes, &QPushButton::clicked, this, &TPrefs::EditerAlertes);
    g->setColumnStretch(2, 1);
    pv->addWidget(groupe);
    CheckBoxAjustAuto = new QCheckBox(QStringLiteral("Ajuster le front après reconstruction"));
    CheckBoxSubTiltFocus =
        new QCheckBox(QStringLiteral("Soustraire l'inclinaison et la défocalisation"));
    CheckBoxSubComa = new QCheckBox(QStringLiteral("Soustraire la coma"));
    pv->addWidget(CheckBoxAjustAuto);
    for (QCheckBox* c : {CheckBoxSubTiltFocus, CheckBoxSubComa}) {
      auto* l = new QHBoxLayout;
      l->addSpacing(24);
      l->addWidget(c);
      pv->addLayout(l);
    }
    connect(CheckBoxAjustAuto, &QCheckBox::toggled, this, [this] { ActiverSoustractions(); });
    pv->addStretch();
    Pages->addTab(page, QStringLiteral("Ajustement"));
  }

  // Fichiers.
  {
    auto* page = new QWidget;
    auto* pv = new QVBoxLayout(page);
    auto* groupe = new QGroupBox(QStringLiteral("Répertoires"));
    auto* g = new QGridLayout(groupe);
    ComboboxDirImages = Dossier();
    ComboBoxAide = Dossier();
    ComboBoxRapports = Dossier();
    const std::array<std::pair<const char*, QComboBox*>, 3> lignes = {
        {{"Images :", ComboboxDirImages},
         {"Documentation :", ComboBoxAide},
         {"Rapports :", ComboBoxRapports}}};
    for (int i = 0; i < 3; ++i) {
      g->addWidget(Etiquette(lignes[i].first), i, 0);
      g->addWidget(lignes[i].second, i, 1);
      ButtonDossier[i] = new QPushButton(QStringLiteral("..."));
      ButtonDossier[i]->setFixedWidth(32);
      g->addWidget(ButtonDossier[i], i, 2);
    }
    g->setColumnStretch(1, 1);
    connect(ButtonDossier[0], &QPushButton::clicked, this, &TPrefs::ChoisirDossierImages);
    connect(ButtonDossier[1], &QPushButton::clicked, this, &TPrefs::ChoisirFichierAide);
    connect(ButtonDossier[2], &QPushButton::clicked, this, &TPrefs::ChoisirDossierRapports);
    // A folder picked from the drop-down goes to the head of the recent list.
    connect(ComboboxDirImages, &QComboBox::activated, this, [this](int i) {
      const QString d = ComboboxDirImages->itemText(i);
      ComboboxDirImages->removeItem(i);
      ComboboxDirImages->insertItem(0, d);
      ComboboxDirImages->setCurrentIndex(0);
    });
    pv->addWidget(groupe);
    pv->addStretch();
    Pages->addTab(page, QStringLiteral("Fichiers"));
  }

  // Instrument.
  {
    auto* page = new QWidget;
    auto* pv = new QVBoxLayout(page);
    auto* groupe = new QGroupBox(QStringLiteral("Valeurs proposées pour un nouveau test"));
    auto* g = new QGridLayout(groupe);
    SpinEditDiametre = Spin(0, 100000);
    SpinEditFocale = Spin(0, 10000000);
    EditPixelCCD = new QLineEdit;
    SpinEditBinAcquisition = Spin(1, 255);
    SpinEditBinLogiciel = Spin(1, 255);
    const std::array<std::pair<const char*, QWidget*>, 5> lignes = {
        {{"Diamètre (mm) :", SpinEditDiametre},
         {"Focale (mm) :", SpinEditFocale},
         {"Taille des pixels (µm) :", EditPixelCCD},
         {"Binning d'acquisition :", SpinEditBinAcquisition},
         {"Binning logiciel :", SpinEditBinLogiciel}}};
    for (int i = 0; i < 5; ++i) {
      g->addWidget(Etiquette(lignes[i].first), i, 0);
      g->addWidget(lignes[i].second, i, 1);
    }
    g->setColumnStretch(2, 1);
    pv->addWidget(groupe);
    pv->addStretch();
    Pages->addTab(page, QStringLiteral("Instrument"));
  }

  connect(Pages, &QTabWidget::currentChanged, this, [this](int i) {
    if (i == 0) AfficherPalettes();
  });

  auto* boutons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                       QDialogButtonBox::Help);
  ButtonDefaut = boutons->addButton(QStringLiteral("Défaut"), QDialogButtonBox::ResetRole);
  ButtonAide = boutons->button(QDialogButtonBox::Help);
  connect(boutons, &QDialogButtonBox::accepted, this, [this] { Valider(); });
  connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ButtonAide, &QPushButton::clicked, this, [this] {
    if (aide_) aide_();
  });
  connect(ButtonDefaut, &QPushButton::clicked, this, &TPrefs::Defaut);
  v->addWidget(boutons);
  setFixedSize(sizeHint());
}

void TPrefs::showEvent(QShowEvent* e) {
  AfficherPreferences(Preferences);
  QDialog::showEvent(e);
}

void TPrefs::AfficherPreferences(const TPreferences& p) {
  const std::array<std::uint8_t, 4> palettes = {p.PltSignal, p.PltFront, p.PltPSF, p.PltInterfero};
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker b(ComboBoxPalette[i]);
    ComboBoxPalette[i]->setCurrentIndex(palettes[i]);
  }
  CheckBoxMasqueActif->setChecked(p.MasqueActif);
  ComboBoxFactMultDiff->setCurrentIndex(p.FactMultDiff);
  ComboBoxExtractDim->setCurrentIndex(ComboBoxExtractDim->findText(QString::number(p.ExtractDim)));
  SpinEditExtractSeuil->setValue(p.ExtractSeuil);
  CheckBoxExtractAuto->setChecked(p.ExtractAuto);
  CheckBoxCorrectionFond->setChecked(p.CorrectionFond);
  SpinEditNIter->setValue(p.NIter);
  SpinEditPartEmpilement->setValue(p.PartEmpilement);
  SpinEditNbFils->setValue(p.NbFils);
  CheckBoxBreakCondition->setChecked(p.BreakCondition);
  EditRMSFront->setText(Reel(p.RMSFront));
  EditLambdaRef->setText(Reel(p.LambdaRef));
  EditLambdaInterfero->setText(Reel(p.LambdaInterfero));
  ComboBoxOriginFoc->setCurrentIndex(p.OriginFoc);
  const std::array<double, 3> lambdas = {p.LambdaB, p.LambdaV, p.LambdaR};
  const std::array<double, 3> poids = {p.PoidsB, p.PoidsV, p.PoidsR};
  for (int k = 0; k < 3; ++k) {
    EditLambda[k]->setText(Reel(lambdas[k]));
    EditPoids[k]->setText(Reel(poids[k]));
  }
  const std::array<std::uint8_t, 8> decimales = {p.NDecMilli, p.NDecNano, p.NDecLambda,
                                                 p.NDecPix,   p.NDecADU,  p.NDecStrehl,
                                                 p.NDecDeg,   p.NDecRed};
  for (int i = 0; i < 8; ++i) SpinEditNDec[i]->setValue(decimales[i]);
  ComboBoxModePoly->setCurrentIndex(p.ModePoly);
  SpinEditNPolyZern->setValue(p.NPolyZern);
  ComboBoxNormRMS->setCurrentIndex(p.NormRMS ? 1 : 0);
  CheckBoxAjustAuto->setChecked(p.AjustAuto);
  CheckBoxSubTiltFocus->setChecked(p.SubTiltFocus);
  CheckBoxSubComa->setChecked(p.SubComa);
  ActiverSoustractions();
  ComboboxDirImages->clear();
  for (const auto& d : p.DossiersImagesRecents) ComboboxDirImages->addItem(Texte(d));
  ComboboxDirImages->setEditText(Texte(p.DossierImages));
  ComboBoxAide->clear();
  if (!p.FichierAide.empty()) ComboBoxAide->addItem(Texte(p.FichierAide));
  ComboBoxAide->setEditText(Texte(p.FichierAide));
  ComboBoxRapports->clear();
  if (!p.DossierRapports.empty()) ComboBoxRapports->addItem(Texte(p.DossierRapports));
  ComboBoxRapports->setEditText(Texte(p.DossierRapports));
  SpinEditDiametre->setValue(static_cast<int>(p.Diametre));
  SpinEditFocale->setValue(static_cast<int>(p.Focale));
  EditPixelCCD->setText(Texte(FormaterFixe(p.PixelCCD / 1000.0, 3)));
  SpinEditBinAcquisition->setValue(p.BinAcquisition);
  SpinEditBinLogiciel->setValue(p.BinLogiciel);
  alertes_ = p.ValeursAlerte;
  AfficherPalettes();
}

void TPrefs::ActiverSoustractions() {
  CheckBoxSubTiltFocus->setEnabled(CheckBoxAjustAuto->isChecked());
  CheckBoxSubComa->setEnabled(CheckBoxAjustAuto->isChecked());
}

void TPrefs::AfficherPalettes() {
  // An interferometric wavelength still being typed shows the last one the file accepts.
  TkwValue essai;
  const bool lu =
      !AffecterPreference(essai, "LambdaInterfero", EditLambdaInterfero->text().toStdString());
  TPalettes palettes;
  palettes.LongueurOnde = lu ? essai.LambdaInterfero : Preferences.LambdaInterfero;
  for (int i = 0; i < 4; ++i) {
    TImage24 image;
    image.Allouer(17, 113);
    palettes.ChoisirPalette(ComboBoxPalette[i]->currentIndex());
    palettes.TracerPalette(0, 0, image.Largeur, image.Hauteur, image);
    ImagePalette[i]->setPixmap(
        QPixmap::fromImage(QImage(image.Pixels.data(), image.Largeur, image.Hauteur,
                                  image.Largeur * 3, QImage::Format_RGB888)
                               .copy()));
  }
}

void TPrefs::ChoisirDossierImages() {
  const auto d =
      Dialogues().ChoisirDossier(this, QStringLiteral("Choisir un dossier pour les images :"),
                                 ComboboxDirImages->currentText());
  if (!d || d->isEmpty()) return;
  const int i = ComboboxDirImages->findText(*d);
  if (i >= 0) ComboboxDirImages->removeItem(i);
  ComboboxDirImages->insertItem(0, *d);
  ComboboxDirImages->setCurrentIndex(0);
}

void TPrefs::ChoisirFichierAide() {
  const QString courant = ComboBoxAide->currentText();
  const auto f = Dialogues().FichierAOuvrir(
      this, QStringLiteral("Choisir le fichier d'accueil de l'aide en ligne"),
      QStringLiteral("Fichiers html (*.htm *.html)"),
      courant.isEmpty() ? QString() : QFileInfo(courant).path());
  if (!f || f->isEmpty()) return;
  if (ComboBoxAide->findText(*f) < 0) ComboBoxAide->insertItem(0, *f);
  ComboBoxAide->setCurrentIndex(ComboBoxAide->findText(*f));
}

void TPrefs::ChoisirDossierRapports() {
  const auto d =
      Dialogues().ChoisirDossier(this, QStringLiteral("Choisir un dossier pour les rapports :"),
                                 ComboBoxRapports->currentText());
  if (!d || d->isEmpty()) return;
  if (ComboBoxRapports->findText(*d) < 0) ComboBoxRapports->insertItem(0, *d);
  ComboBoxRapports->setCurrentIndex(ComboBoxRapports->findText(*d));
}

void TPrefs::EditerAlertes() {
  TFormSaisieZern saisie(this, true, &alertes_);
  if (saisie.exec() == QDialog::Accepted) alertes_ = saisie.Saisis;
}

void TPrefs::Defaut() {
  TPreferences p;
  static_cast<TkwValue&>(p) = PreferencesParDefaut;
  AfficherPreferences(p);
}

bool TPrefs::Valider() {
  TPreferences p = Preferences;
  p.PltSignal = static_cast<std::uint8_t>(ComboBoxPalette[0]->currentIndex());
  p.PltFront = static_cast<std::uint8_t>(ComboBoxPalette[1]->currentIndex());
  p.PltPSF = static_cast<std::uint8_t>(ComboBoxPalette[2]->currentIndex());
  p.PltInterfero = static_cast<std::uint8_t>(ComboBoxPalette[3]->currentIndex());
  p.MasqueActif = CheckBoxMasqueActif->isChecked();
  p.FactMultDiff = static_cast<std::uint8_t>(std::max(0, ComboBoxFactMultDiff->currentIndex()));
  p.ExtractDim = static_cast<std::uint8_t>(ComboBoxExtractDim->currentText().toInt());
  p.ExtractSeuil = static_cast<std::uint8_t>(SpinEditExtractSeuil->value());
  p.ExtractAuto = CheckBoxExtractAuto->isChecked();
  p.CorrectionFond = CheckBoxCorrectionFond->isChecked();
  p.NIter = static_cast<std::uint8_t>(SpinEditNIter->value());
  p.PartEmpilement = static_cast<std::uint8_t>(SpinEditPartEmpilement->value());
  p.NbFils = static_cast<std::uint8_t>(SpinEditNbFils->value());
  p.BreakCondition = CheckBoxBreakCondition->isChecked();
  p.OriginFoc = static_cast<std::uint8_t>(std::max(0, ComboBoxOriginFoc->currentIndex()));
  std::array<std::uint8_t*, 8> decimales = {&p.NDecMilli, &p.NDecNano,   &p.NDecLambda, &p.NDecPix,
                                            &p.NDecADU,   &p.NDecStrehl, &p.NDecDeg,    &p.NDecRed};
  for (int i = 0; i < 8; ++i) *decimales[i] = static_cast<std::uint8_t>(SpinEditNDec[i]->value());
  p.ModePoly = static_cast<std::uint8_t>(std::max(0, ComboBoxModePoly->currentIndex()));
  p.NPolyZern = static_cast<std::uint8_t>(SpinEditNPolyZern->value());
  p.NormRMS = ComboBoxNormRMS->currentIndex() == 1 ? 1 : 0;
  p.AjustAuto = CheckBoxAjustAuto->isChecked();
  p.SubTiltFocus = CheckBoxSubTiltFocus->isChecked();
  p.SubComa = CheckBoxSubComa->isChecked();
  p.Diametre = static_cast<std::uint32_t>(SpinEditDiametre->value());
  p.Focale = static_cast<std::uint32_t>(SpinEditFocale->value());
  p.BinAcquisition = static_cast<std::uint8_t>(SpinEditBinAcquisition->value());
  p.BinLogiciel = static_cast<std::uint8_t>(SpinEditBinLogiciel->value());
  p.ValeursAlerte = alertes_;

  // A real value that is not a number, or outside what the file takes, is refused by name:
  // a wavelength of 0 would divide every figure.
  const std::array<std::pair<QLineEdit*, TChampReel>, 9> reels = {{
      {EditRMSFront, {"RMSFront", "Condition d'arrêt : RMS Front", 1}},
      {EditLambdaRef, {"LambdaRef", "Longueur d'onde de référence", 2}},
      {EditLambdaInterfero, {"LambdaInterfero", "Longueur d'onde interférométrique", 2}},
      {EditLambda[0], {"LambdaB", "Longueur d'onde du bleu", 2}},
      {EditLambda[1], {"LambdaV", "Longueur d'onde du vert", 2}},
      {EditLambda[2], {"LambdaR", "Longueur d'onde du rouge", 2}},
      {EditPoids[0], {"PoidsB", "Poids relatif du bleu", 2}},
      {EditPoids[1], {"PoidsV", "Poids relatif du vert", 2}},
      {EditPoids[2], {"PoidsR", "Poids relatif du rouge", 2}},
  }};
  auto refuser = [this](QLineEdit* champ, int page, const QString& message) {
    Pages->setCurrentIndex(page);
    champ->setFocus();
    champ->selectAll();
    Dialogues().Avertir(this, message);
    return false;
  };
  for (const auto& [champ, r] : reels)
    if (const auto refus = AffecterPreference(p, r.Cle, champ->text().toStdString()))
      return refuser(champ, r.Page,
                     QStringLiteral("%1 : %2").arg(QString::fromUtf8(r.Libelle), Texte(*refus)));
  {
    const auto um = LireReelFITS(EditPixelCCD->text().toStdString());
    const auto refus = AffecterPreference(
        p, "PixelCCD",
        um ? std::to_string(std::llround(*um * 1000)) : EditPixelCCD->text().toStdString());
    if (!um || refus)
      return refuser(EditPixelCCD, 5,
                     QStringLiteral("Taille des pixels : valeur refusée : « %1 » (de 0 à 1000 µm).")
                         .arg(EditPixelCCD->text()));
  }

  p.DossierImages = ComboboxDirImages->currentText().trimmed().toStdString();
  p.DossiersImagesRecents.clear();
  for (int i = ComboboxDirImages->count() - 1; i >= 0; --i)
    PlacerEnTete(p.DossiersImagesRecents, ComboboxDirImages->itemText(i).toStdString());
  PlacerEnTete(p.DossiersImagesRecents, p.DossierImages);
  p.FichierAide = ComboBoxAide->currentText().trimmed().toStdString();
  p.DossierRapports = ComboBoxRapports->currentText().trimmed().toStdString();

  // Applied even when the file cannot be written: the user is told, and the session keeps
  // what was asked for.
  Preferences = p;
  InitZernike(Preferences.NPolyZern, Preferences.ModePoly);
  try {
    CreerDossierPreferences(chemin_.toStdString());
    EcrirePreferences(Preferences, chemin_.toStdString());
  } catch (const std::exception& e) {
    Dialogues().Avertir(
        this,
        QStringLiteral("Les préférences sont appliquées mais n'ont pas pu être enregistrées :\n%1")
            .arg(Texte(e.what())));
  }
  accept();
  return true;
}

}  // namespace quelvane
