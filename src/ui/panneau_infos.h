#pragma once
// TFormInfos: the information panel of the current image window (values, results, display,
// options).

#include <QDockWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace quelvane {

class TForm1;
class TMainForm;
class TRoddier;

// Slider convention: position 0 at the top is the maximum.
int PositionCurseur(double v, double mini, double maxi, int m = 100);
double NiveauCurseur(int position, double mini, double maxi, int m = 100);

class TFormInfos : public QDockWidget {
  Q_OBJECT
 public:
  explicit TFormInfos(TMainForm& principale);

  void Actualiser();
  // Shows the "Résultats" page with the active wavefront's figures.
  void AfficherResultats();
  void RemplirResultats();
  void Redessiner();
  void AfficherDimension();
  void AfficherRayon();
  // Read-out of the pointer over the current window (column, row 1-based).
  void AfficherCurseur(TForm1& fenetre, int colonne, int ligne);
  void SeuilAuto();

  // Controls, named as the program's forms name them.
  QTabWidget* Pages;
  QSlider* TrackBarSeuil;
  QLineEdit* EditSeuil;
  QLabel* LabelMaxi;
  QLabel* LabelMini;
  QLineEdit* EditDimension;
  QComboBox* ComboBoxDimension;
  QLineEdit* EditCentreX;
  QLineEdit* EditCentreY;
  QLineEdit* EditRayon;
  QComboBox* ComboBoxRayon;
  QLineEdit* EditCurseurX;
  QLineEdit* EditCurseurY;
  QComboBox* ComboBoxCoordonnees;
  QComboBox* ComboBoxPolaire;
  QLabel* LabelValeur;
  QLineEdit* EditValeur;
  QComboBox* ComboBoxUnite;
  QPushButton* ButtonSeuilAuto;
  QLabel* LabelPTV;
  QLabel* LabelPTVLambda;
  QLabel* LabelRMS;
  QLabel* LabelRMSLambda;
  QLabel* LabelStrehl;
  QLabel* LabelStrehlMax;
  QLabel* LabelStrehlRMS;
  QLabel* LabelPreparation;
  QLabel* LabelIncertitudes;  // what the ± are and what they include
  QLabel* LabelSerie;         // the frames of a stacked image
  QLabel* LabelLambda;        // the wavelength of the fractions and Strehl ratios
  QLabel* LabelSoustraits;    // the terms left out of PTV and RMS  // background and flux of the
                              // test's images
  QComboBox* ComboBoxPalette;
  QComboBox* ComboBoxZoom;
  QLabel* ImageEchelle;
  QSlider* TrackBarHaut;
  QSlider* TrackBarBas;
  QLabel* LabelHaut;
  QLabel* LabelBas;
  QLineEdit* EditContraste;
  QSlider* TrackBarContraste;
  QCheckBox* CheckBoxMasque;
  QCheckBox* CheckBoxEchelle;
  QCheckBox* CheckBox3D;
  QWidget* GroupeOptions;
  QSpinBox* SpinEditAngle;
  QSpinBox* SpinEditPas;
  QSpinBox* SpinEditFranges;
  QCheckBox* CheckBoxSerie;
  QComboBox* ComboBoxPSF;
  QComboBox* ComboBoxEchellePSF;
  QComboBox* ComboBoxTaille;

 private:
  void Construire();
  TForm1* Courante() const;
  QString TextePreparation(const TRoddier* test) const;
  void SeuilDeplace(int position);
  void NiveauDeplace(int position, bool haut);
  void ContrasteDeplace(int position);
  TMainForm& principale_;
  bool garde_ = false;  // set while the panel writes the angle and fringe spins itself
  QWidget* pageResultats_ = nullptr;
};

}  // namespace quelvane
