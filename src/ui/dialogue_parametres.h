#pragma once
// TFormParam: the modal "Paramètres du test" dialog.

#include <QDialog>
#include <QPointer>
#include <array>
#include <vector>

#include "core/imginfos.h"
#include "settings/parametres.h"
#include "settings/saisie_parametres.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace quelvane {

class TForm1;

struct TEntreeImage {
  QPointer<TForm1> Fenetre;
  QString Legende;
};

class TFormParam : public QDialog {
  Q_OBJECT
 public:
  explicit TFormParam(QWidget* parent, QString cheminPreferences);

  void Reinitialiser();
  void AjouterIntra(TForm1* fenetre, const QString& legende);
  void AjouterExtra(TForm1* fenetre, const QString& legende);
  void Retirer(TForm1* fenetre);
  const std::vector<TEntreeImage>& Intra() const { return intra_; }
  const std::vector<TEntreeImage>& Extra() const { return extra_; }

  // Actions of the buttons, callable headless.
  void VersExtra();  // ">"
  void VersIntra();  // "<"
  void Monter(bool extra);
  void Descendre(bool extra);
  void RecupererInfos();
  void CalculerDefocalisation();
  void CalculerAberrations();
  void ChoisirSource(int indice);  // 0 infinity, 1 artificial star, 2 curvature, 3 autocollimation
  void SauverDefauts();
  void ChargerDefauts();
  // The instrument saved as the default (preferences in memory) into the fields.
  void AfficherDefauts();
  void Valider();  // "Ok"
  void Annuler();
  void PreparerAffichage();  // what showing the dialog does
  void AfficherRayons();     // what showing the instrument page does
  // The instrument typed in, the defocus computed from the pupils, "Ok": as a user would.
  void SaisirEtValider(const TEntreesTest& entrees);

  std::array<double, 3> AberrationsMontage{};  // astigmatism, coma, spherical (nanometres)
  TImgInfos InfosImage;

  QTabWidget* Pages;
  QListWidget* ListBoxIntra;
  QListWidget* ListBoxExtra;
  QComboBox* ComboBoxMode;
  QPlainTextEdit* MemoMode;
  QSpinBox* SpinEditDiametre;
  QSpinBox* SpinEditFocale;
  QLineEdit* EditRapport;
  QLineEdit* EditPixel;
  QSpinBox* SpinEditBinAcquisition;
  QLineEdit* EditDefocalisation;
  QSpinBox* SpinEditBinLogiciel;
  QLineEdit* EditRayonIntra;
  QLineEdit* EditRayonExtra;
  QButtonGroup* GroupeSource;
  QLineEdit* EditDistance;
  QComboBox* ComboBoxUniteDistance;
  QLineEdit* EditAngle;
  QLineEdit* EditRotation;  // the optic on its cell, degrees
  QComboBox* ComboBoxUniteAngle;
  QLineEdit* EditAstigmatisme;
  QLineEdit* EditComa;
  QLineEdit* EditSphericite;
  QComboBox* ComboBoxOrientation;
  QLineEdit* EditDate;
  QLineEdit* EditHeureIntra;
  QLineEdit* EditHeureExtra;
  QLineEdit* EditPoseIntra;
  QLineEdit* EditPoseExtra;
  QLineEdit* EditTemperatureIntra;
  QLineEdit* EditTemperatureExtra;
  QLineEdit* EditAlpha;
  QLineEdit* EditDelta;
  QLineEdit* EditSeeing;
  QListWidget* ListeValeurs;

 protected:
  void showEvent(QShowEvent* e) override;
  void reject() override;

 private:
  void Construire();
  void Deplacer(std::vector<TEntreeImage>& de, QListWidget* listeDe,
                std::vector<TEntreeImage>& vers, QListWidget* listeVers, std::uint8_t role);
  void Remplir();
  // What the dialog's controls say, in their units.
  TEntreesTest EntreesSaisies() const;
  double DistanceObjetSaisie() const;
  double AngleSaisi() const;
  bool LireStrict(const QLineEdit* edit, double& valeur);
  std::vector<TEntreeImage> intra_, extra_;
  TParametresTest copie_;
  QString cheminPreferences_;
  bool couplage_ = false;
  double rayonIntra_ = 0, rayonExtra_ = 0;  // pixels, the radii the page shows
};

}  // namespace quelvane
