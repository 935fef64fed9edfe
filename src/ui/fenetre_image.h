#pragma once
// TForm1: a child window of the main window showing one field in false colour.

#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

#include "analysis/empilement.h"
#include "core/pupille.h"
#include "rendu/palettes.h"

class QMenu;
class QAction;

namespace quelvane {

class TForm1;

// What an image window needs of the main window.
class IHoteImages {
 public:
  virtual ~IHoteImages() = default;
  // Set while the main window closes several windows itself: no question, field released.
  virtual bool FermetureGenerale() const = 0;
  virtual void ImageActivee(TForm1* fenetre) = 0;
  virtual void ImageFermee(TForm1* fenetre) = 0;  // before it is destroyed
  virtual void LectureCurseur(TForm1* fenetre, int colonne, int ligne) = 0;
  virtual void CommandeMeridienne() = 0;
  // The star under the pointer becomes the test star of the window's image (a series is
  // stacked again around it).
  virtual void ChoisirEtoile(TForm1* fenetre) = 0;
  // The chart of the quality of a stacked image's frames.
  virtual void QualiteSerie(TForm1* fenetre) = 0;
};

constexpr std::array<double, 7> FacteursZoom = {0.25, 0.5, 0.75, 1, 1.5, 2, 3};
constexpr int IndiceZoomCent = 3;

// The rectangle a picture of w × h takes on a page of pw × ph (origin at the top left).
QSize TailleImpression(double w, double h, double pw, double ph);

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // `proprietaire` false for a field that belongs to a test: closing the window then leaves
  // it to the test.
  TForm1(IHoteImages& hote, std::shared_ptr<TPupille> champ, bool proprietaire, int indiceZoom,
         QWidget* parent = nullptr);
  ~TForm1() override;

  TPupille* Champ() const { return champ_.get(); }
  const std::shared_ptr<TPupille>& ChampPartage() const { return champ_; }
  // Replaces the field (the window keeps its settings).
  void DefinirChamp(std::shared_ptr<TPupille> champ) { champ_ = std::move(champ); }
  // A PSF window shows its other PSF (real and theoretical exchanged).
  void EchangerChamps() { std::swap(champ_, frontSource_); }
  // The second field: the window's own (the full wavefront kept while "Ordres sup." is off,
  // the theoretical PSF), or, for an interferogram or a gram, the wavefront it was computed
  // from, which the window does not own and which goes when that wavefront's window closes.
  std::shared_ptr<TPupille> FrontSource() const {
    return frontSource_ ? frontSource_ : sourceSimulation_.lock();
  }
  void DefinirFrontSource(std::shared_ptr<TPupille> f) { frontSource_ = std::move(f); }
  void DefinirSourceSimulation(const std::shared_ptr<TPupille>& f) { sourceSimulation_ = f; }
  void OublierFrontSource(const TPupille* f);
  bool ProprietaireChamp() const { return proprietaire_; }

  bool AfficherEchelle = false;
  // A stacked image: what the stacking found, the files it was made of, and whether the
  // window shows it turned by 180° from the camera's frames.
  std::shared_ptr<const TEmpilement> Empilement;
  QStringList FichiersSerie;
  bool SerieTournee = false;
  // Where the pointer last was over the picture (1-based column and row of the field).
  int ColonneCurseur = 0, LigneCurseur = 0;
  int IndiceZoom = IndiceZoomCent;
  bool CouleurLambda = false;
  bool EchelleLog = false;  // a PSF shown on a logarithmic scale
  double ValeurCurseur = 0;
  QString FichierJPEG;

  void Visualiser();
  // Read-out of the pointer at (x, y) of the picture; false outside the field.
  bool ImageMouseMove(int x, int y);
  const QImage& Image() const { return image_; }  // the picture at one pixel per sample

  // Popup commands.
  void SeuilACetteValeur();
  void BasculerRelief();
  void Exporter();
  // The picture as shown (one pixel per sample, overlays included) as a JPEG file; throws
  // ErreurEcriture or std::runtime_error.
  void EnregistrerJPG(const QString& nom);
  void Enregistrer();  // to the last name, or as EnregistrerSous
  void EnregistrerSous();
  void Imprimer();

  static TPalettes& Palettes();

 signals:
  void ChampModifie(TForm1* fenetre);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;

 private:
  class TZoneImage;
  IHoteImages& hote_;
  std::shared_ptr<TPupille> champ_;
  std::shared_ptr<TPupille> frontSource_;
  std::weak_ptr<TPupille> sourceSimulation_;
  bool proprietaire_;
  TZoneImage* zone_;
  QImage image_;
  TImage24 image24_;
  QMenu* menu_;
  QAction* actionRelief_;
  QAction* actionEtoile_;
  QAction* actionQualite_;
};

}  // namespace quelvane
