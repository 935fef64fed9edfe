#pragma once
// TMainForm: the multiple-document main window, its menus, tool bars and commands.

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/roddier.h"
#include "files/fichier_test.h"
#include "files/surveillance.h"
#include "settings/session.h"
#include "ui/dialogue_parametres.h"
#include "ui/fenetre_image.h"

class QAction;
class QComboBox;
class QMenu;
class QMdiArea;
class QMdiSubWindow;

namespace quelvane {

class TFormAide;
class TFormProgress;
class TAboutBox;
class TFormInfos;
class TForm3;

class TMainForm : public QMainWindow, public IHoteImages {
  Q_OBJECT
 public:
  explicit TMainForm(QString cheminPreferences, QWidget* parent = nullptr);
  ~TMainForm() override;

  // IHoteImages
  bool FermetureGenerale() const override { return fermetureGenerale_; }
  void ImageActivee(TForm1* fenetre) override;
  void ImageFermee(TForm1* fenetre) override;
  void LectureCurseur(TForm1* fenetre, int colonne, int ligne) override;
  void CommandeMeridienne() override;
  void ChoisirEtoile(TForm1* fenetre) override;
  void QualiteSerie(TForm1* fenetre) override;

  // Commands.
  void NouveauTest();
  void Ouvrir();
  void OuvrirExtrafocale();
  // The one road of every image opened (dialog, recent files, drop): a still image, or a series
  // (a video, a cube, several files) stacked on a worker thread; false with a message when
  // the files are refused or the user cancelled.
  bool OuvrirFichier(const QString& chemin, bool extra);
  bool OuvrirFichiers(const QStringList& fichiers, bool extra);
  // "Ouvrir une série intrafocale" / "extrafocale": several files or a video.
  void OuvrirSerieIntra();
  void OuvrirSerieExtra();
  class TFormQualite* FormeQualite() const {
    return qualite_;
  }
  void OuvrirRecent(int indice);
  void OuvrirDeposes(const QStringList& fichiers);
  const TSession& Session() const { return session_; }
  QMenu* MenuRecents() const { return recents_; }
  void Fermer();
  void FermerFamille(int famille);  // 0 Extrafocales … 4 Spots diagrammes
  void Symetrie();
  void Centrer();
  void ChangerZoom(int indice);
  void ZoomPlus();
  void ZoomMoins();
  void CalculFFT();
  void Signal();
  void Reconstruire();
  void Roddier();
  void FrontResiduel();
  void ImagesApresCorrection();
  void Ajuster();
  void FrontDOnde();
  void SaisieSimulation();
  void SaisieAlertes();
  void AfficherCoefficients();
  void RafraichirPalettes();
  // "Préférences": the dialog, then every window drawn again with what it left.
  void EditerPreferences();
  class TPrefs* FormePreferences() const {
    return prefs_;
  }
  void Documentation();
  // The sample pair opened with its instrument, ready to reconstruct ("Aide" menu; at the very
  // first start too).
  void TestDeDemonstration();
  bool PremierDemarrage() const { return premierDemarrage_; }
  // Whether the keyboard is on the coefficient list (F1 and Ctrl+S then act on it).
  bool FocusDansLaListe() const;
  void APropos();

  // State.
  TForm1* FenetreActive() const { return active_; }
  std::vector<TForm1*> Fenetres() const;
  const std::vector<TEntreeImage>& ListeIntra() const { return param_->Intra(); }
  const std::vector<TEntreeImage>& ListeExtra() const { return param_->Extra(); }
  TFormParam* Parametres() const { return param_; }
  void ParametresDuTest();
  // Where the preferences are written (beside the executable, or the user's folder).
  QString CheminPreferences;
  QMdiArea* Zone() const { return zone_; }
  QComboBox* BoiteZoom() const { return zoom_; }
  QAction* Action(const QString& legende) const;
  TFormAide* Aide() const { return aide_; }
  TFormProgress* Progression() const { return progression_; }
  TAboutBox* AProposBox() const { return aPropos_; }
  TFormInfos* Infos() const { return infos_; }
  TForm3* Coefficients() const { return coefs_; }
  TRoddier* TestCourant() const { return testCourant_.get(); }
  TRoddier* TestCouleur(int k) const { return testsCouleurs_[k].get(); }
  // "Interférogramme" and "Foucaultgramme": on a wavefront, one picture at the panel's angle
  // (a series over half a turn when "Calculer une série" is ticked).
  void Interferogramme();
  void Foucaultgramme();
  // The panel's angle or fringes changed while `fenetre` is active: an interferogram or gram
  // is computed again in place from its wavefront.
  void RecalculerSimulation(TForm1& fenetre);
  // "PSF", "Spots" and "FTM" on the active wavefront.
  void PSF();
  void Spots();
  void FTM();
  // "Aberrations de Seidel", "Trichromie" and "Méridienne".
  void Seidel();
  // "Importer une image jpeg": the colour planes of a picture as intra-focal images.
  void ImporterJPEG();
  // "Editer un rapport": the report of the current test, written and shown.
  void EditerRapport();
  class TFormRapport* FormeRapport() const {
    return rapport_;
  }
  void Trichromie();
  class TFormSeidel* FormeSeidel() const {
    return seidel_;
  }
  class TFormRVB* FormeRVB() const {
    return rvb_;
  }
  class TFormMeridienne* FormeMeridienne() const {
    return meridienne_;
  }
  // The test a field belongs to (its wavefront, residual, signal or corrected images), if any.
  const TRoddier* TestDuChamp(const TPupille* champ) const;
  // Last read-out of the pointer (column, row, value), shown in the status bar until the
  // information panel takes it over.
  QString DerniereLecture;

  // Tests kept in files: "Enregistrer le test" (the active wavefront's), "Ouvrir un test",
  // and tests combined: average, difference, trend, a watched folder.
  void EnregistrerLeTest();
  void OuvrirUnTest();
  bool OuvrirFichierTest(const QString& chemin);
  void MoyenneDeTests();
  void DifferenceDeTests();
  void TendanceDeTests();
  // Starts watching a folder, or stops when one is watched.
  void SurveillerUnDossier();
  // One look at the watched folder (the timer's; public for the tests).
  void ExaminerDossierSurveille();
  bool SurveillanceActive() const { return surveillance_ != nullptr; }
  double StabiliteSurveillance = 1.0;  // seconds a file must stay unchanged
  class TFormTendance* FormeTendance() const {
    return tendance_;
  }
  class TFormBanc* FormeBanc() const {
    return banc_;
  }
  // The saved test a wavefront window shows (opened, averaged, subtracted, watched), if any.
  const TTestEnregistre* TestEnregistre(const TPupille* champ) const;

  // Opens a field in a new image window (the window owns it unless told otherwise).
  TForm1* NouvelleFenetre(std::shared_ptr<TPupille> champ, const QString& legende,
                          bool proprietaire = true);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool eventFilter(QObject* objet, QEvent* e) override;

 private:
  void CreerMenus();
  void RestaurerDisposition();
  void PlacerFenetre(QMdiSubWindow* nouvelle);
  void EnregistrerSession();
  void RemplirRecents();
  void OuvrirImage(bool extra);
  void OuvrirSerie(bool extra);
  void FermerFenetres(const std::vector<TForm1*>& fenetres);
  void MosaiqueVerticale();
  void MosaiqueHorizontale();
  // The wavefront a simulation reads and the field it fills: a new one from a wavefront window,
  // the window's own when it already shows that kind of picture; nothing, after a message, else.
  struct TCibleSimulation {
    std::shared_ptr<TPupille> Source, Cible;
    bool Nouvelle = false;
  };
  std::optional<TCibleSimulation> CibleSimulation(std::uint8_t role, const QString& nom,
                                                  const QString& refus);
  void MontrerSimulation(const TCibleSimulation& c, const QString& legende, bool couleur);
  void CalculerInterferogramme(int angle, int franges);
  void CalculerFoucault(int angle);
  // The series of `calculer` over half a turn from the panel's angle, every picture from the
  // window active at the start.
  void Serie(const std::function<void(int)>& calculer);
  void Activer(TForm1* fenetre);

  // A test that came from a file or a combination: its record, and a test the windows can
  // use like a reconstructed one (lengths, preparation, wavefront).
  struct TTestOuvert {
    std::shared_ptr<TTestEnregistre> Enregistre;
    std::shared_ptr<TRoddier> Test;
    TParametresTest Parametres;
  };
  std::vector<TTestOuvert> testsOuverts_;
  const TTestOuvert* TestOuvert(const TPupille* champ) const;
  // Shows a test record in a wavefront window of its own.
  TForm1* MontrerTest(TTestEnregistre t, const QString& legende);
  // The tests of the files chosen in a dialog; nothing after a message when one is refused.
  std::optional<std::vector<TTestEnregistre>> LireTests(const QStringList& fichiers);
  bool JeuCompatible(const TTestEnregistre& t, const QString& nom);
  std::unique_ptr<TSurveillance> surveillance_;
  class QTimer* minuterie_ = nullptr;
  TParametresTest parametresSurveillance_;
  std::vector<TTestEnregistre> testsSurveilles_;
  std::vector<std::string> nomsSurveilles_;
  QPointer<TForm1> fenetreSurveillance_;
  bool examenEnCours_ = false;
  class TFormTendance* tendance_ = nullptr;
  class TFormBanc* banc_ = nullptr;

  QMdiArea* zone_;
  TSession session_;
  QMenu* recents_ = nullptr;
  QComboBox* zoom_;
  TForm1* active_ = nullptr;
  bool fermetureGenerale_ = false;
  std::shared_ptr<TRoddier> testCourant_;
  std::array<std::shared_ptr<TRoddier>, 3> testsCouleurs_;
  std::vector<QAction*> actions_;
  TFormAide* aide_;
  TFormProgress* progression_;
  TAboutBox* aPropos_;
  class TPrefs* prefs_;
  bool premierDemarrage_ = false;  // no session was found: the program never ran here
  TFormInfos* infos_;
  TFormParam* param_;
  TForm3* coefs_;
  class TFormFTM* ftm_ = nullptr;
  class TFormQualite* qualite_ = nullptr;
  class TFormSeidel* seidel_;
  class TFormRVB* rvb_;
  class TFormMeridienne* meridienne_;
  class TFormRapport* rapport_;
};

}  // namespace quelvane
