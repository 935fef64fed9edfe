#pragma once
// TPrefs: the preferences dialog. Its controls are a draft of the preferences: nothing is
// applied or written before OK, so Cancel leaves memory and file as they were.

#include <QDialog>
#include <array>
#include <functional>

#include "core/zernike.h"
#include "settings/preferences.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace quelvane {

class TPrefs : public QDialog {
  Q_OBJECT
 public:
  // `aide` shows the help viewer at its preferences page.
  TPrefs(QWidget* parent, QString cheminPreferences, std::function<void()> aide);

  // Every control set from `p` (when shown, and by "Défaut").
  void AfficherPreferences(const TPreferences& p);
  // The four preview strips, the fourth in the colour of the typed interferometric wavelength.
  void AfficherPalettes();
  void ChoisirDossierImages();
  void ChoisirFichierAide();
  void ChoisirDossierRapports();
  void EditerAlertes();
  void Defaut();
  // OK: the controls read back, applied and written. A refused value is named, its page brought
  // forward and the dialog stays open (false).
  bool Valider();

  QTabWidget* Pages;
  // Page "Affichage".
  std::array<QComboBox*, 4> ComboBoxPalette{};  // signal, front, PSF, interferogram
  std::array<QLabel*, 4> ImagePalette{};
  QCheckBox* CheckBoxMasqueActif;
  QComboBox* ComboBoxFactMultDiff;
  // Page "Algorithmes".
  QComboBox* ComboBoxExtractDim;
  QSpinBox* SpinEditExtractSeuil;
  QCheckBox* CheckBoxExtractAuto;
  QCheckBox* CheckBoxCorrectionFond;
  QSpinBox* SpinEditNIter;
  QSpinBox* SpinEditPartEmpilement;
  QSpinBox* SpinEditNbFils;
  QCheckBox* CheckBoxBreakCondition;
  QLineEdit* EditRMSFront;
  // Page "Constantes".
  QLineEdit* EditLambdaRef;
  QLineEdit* EditLambdaInterfero;
  QComboBox* ComboBoxOriginFoc;
  std::array<QLineEdit*, 3> EditLambda{};  // blue, green, red
  std::array<QLineEdit*, 3> EditPoids{};
  // NDecMilli, NDecNano, NDecLambda, NDecPix, NDecADU, NDecStrehl, NDecDeg, NDecRed.
  std::array<QSpinBox*, 8> SpinEditNDec{};
  // Page "Ajustement".
  QComboBox* ComboBoxModePoly;
  QSpinBox* SpinEditNPolyZern;
  QComboBox* ComboBoxNormRMS;
  QPushButton* ButtonAlertes;
  QCheckBox* CheckBoxAjustAuto;
  QCheckBox* CheckBoxSubTiltFocus;
  QCheckBox* CheckBoxSubComa;
  // Page "Fichiers".
  QComboBox* ComboboxDirImages;
  QComboBox* ComboBoxAide;
  QComboBox* ComboBoxRapports;
  std::array<QPushButton*, 3> ButtonDossier{};
  // Page "Instrument": the defaults of a new test.
  QSpinBox* SpinEditDiametre;
  QSpinBox* SpinEditFocale;
  QLineEdit* EditPixelCCD;
  QSpinBox* SpinEditBinAcquisition;
  QSpinBox* SpinEditBinLogiciel;
  QPushButton* ButtonDefaut;
  QPushButton* ButtonAide;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void ActiverSoustractions();
  QString chemin_;
  std::function<void()> aide_;
  TCoefZernike alertes_{};
};

}  // namespace quelvane
