#pragma once
// TForm3 "Polynômes de Zernike": the coefficient list of the active wavefront, through which
// terms are subtracted or restored; TFormSaisieZern: entry of simulated coefficients and of the
// alert values.

#include <QDialog>
#include <QDockWidget>
#include <QPointer>
#include <QWidget>
#include <array>

#include "core/zernike.h"
#include "ui/fenetre_image.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;
class QGroupBox;

namespace quelvane {

class TForm1;
class TFormAide;

// A dock of the main window, beside the information panel: a floating tool window stayed on top
// of the modal dialogs and hid their buttons.
class TForm3 : public QDockWidget {
  Q_OBJECT
 public:
  TForm3(QWidget* parent, TFormAide& aide);

  void RemplirListe(TForm1* fenetre);
  void AppliquerSelection();
  void EnregistrerCoefficients();

  // Pop-up commands.
  void ToutSelectionner();
  void ToutDeselectionner();
  void InverserSelection();
  void SelectionnerCetteAberration();
  void BasculerTiltFocus();
  void BasculerComa();
  void AideSurCetteAberration();

  QTreeWidget* ListViewZern;
  QMenu* PopupMenuZern;
  TForm1* Source() const { return source_; }

 signals:
  void FrontModifie(TForm1* fenetre);

 private:
  void Marquer(int ligne, bool coche);
  bool Marque(int ligne) const;
  int Lignes() const;
  QPointer<TForm1> source_;
  TFormAide& aide_;
  bool remplissage_ = false;
};

// "Modifier cette aberration": the small dialog of one term (its controls have no behaviour).
class TForm1Zernike : public QDialog {
  Q_OBJECT
 public:
  TForm1Zernike(QWidget* parent, int ligne);
};

class TFormSaisieZern : public QDialog {
  Q_OBJECT
 public:
  // `alertes`: the form enters the alert values (no image group), starting from `valeurs`
  // (the preferences' when null), and leaves them in Saisis: the simulation parameters are
  // not touched.
  TFormSaisieZern(QWidget* parent, bool alertes, const TCoefZernike* valeurs = nullptr);
  void AfficherCoefficients(const TCoefZernike& k);
  void ValiderSaisie();
  void Raz();
  void DessinerVignettes();

  std::array<QLineEdit*, 23> EditZ{};  // 2..22
  std::array<QCheckBox*, 23> CheckBoxZ{};
  std::array<QLabel*, 23> ImageZ{};
  QCheckBox* CheckBoxTous;
  QGroupBox* GroupBoxImages;
  QComboBox* ComboBoxDim;
  QSpinBox* SpinEditRayon;
  QSpinBox* SpinEditObstruction;
  QSpinBox* SpinEditMin;
  QSpinBox* SpinEditMax;
  TCoefZernike Saisis{};  // the alert values, as entered once confirmed

 private:
  bool alertes_;
};

}  // namespace quelvane
