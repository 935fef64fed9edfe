#pragma once
// The help window, the progress window and the about box.

#include <QDialog>
#include <QWidget>
#include <atomic>

#include "analysis/progression.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;

namespace quelvane {

// The user guide's home page that comes with the program (empty when it cannot be found).
QString AccueilAideParDefaut();

class TFormAide : public QWidget {
  Q_OBJECT
 public:
  explicit TFormAide(QWidget* parent = nullptr);
  QString AdresseCourante;
  void ButtonValidationClick();
  // "Sommaire": the home page the preferences name, or the guide that comes with the program.
  void Sommaire();
  void AfficherRubrique(int ligne);  // a Zernike term's page ("astigmatisme.html" for Z5)
  void AfficherAidePreferences();
  // Shown in front, usable: a window of `proprietaire` (a modal dialog that asks for help
  // would otherwise keep it behind and out of reach).
  void Montrer(QWidget* proprietaire);
  QTextBrowser* Navigateur() const { return navigateur_; }
  QPushButton* Precedent() const { return precedent_; }
  QPushButton* Suivant() const { return suivant_; }

 private:
  QString Accueil() const;
  QString DossierAide() const;
  QTextBrowser* navigateur_;
  QPushButton* precedent_;
  QPushButton* suivant_;
};

// Stays on top while a long computation runs, its bar advancing at every step. A computation
// run on the interface thread has it repaint itself; one run on a worker thread (see
// ExecuterEnArrierePlan) shows its "Annuler" button, which asks the work to stop.
class TFormProgress : public QWidget, public IProgression {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);
  void Demarrer(const std::string& titre, int pas) override;
  void Avancer() override;
  void Terminer() override;
  void Masquer() override;
  bool Annulee() const override;
  QProgressBar* Barre() const { return barre_; }
  QPushButton* BoutonAnnuler() const { return annuler_; }
  // While work runs on another thread: the button shown, the interface repainted by its own
  // event loop, the request to stop cleared.
  void DebutArrierePlan();
  void FinArrierePlan();
  void DemanderArret();

 private:
  void Peindre();
  void Dimensionner(const QString& legende);
  QProgressBar* barre_;
  QPushButton* annuler_;
  int pas_ = 1;
  bool arrierePlan_ = false;
  std::atomic<bool> arret_{false};
};

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  void Preparer();  // ProductName and NumVersion
  QLabel* ProductName;
  QLabel* NumVersion;
};

inline constexpr const char* NomProduit = "Quelvane";
inline constexpr const char* Version = "3.0";

}  // namespace quelvane
