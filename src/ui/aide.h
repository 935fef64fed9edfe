#pragma once
// The help window, the progress window and the about box.

#include <QDialog>
#include <QWidget>

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

// Stays on top while a reconstruction runs on the interface thread, and repaints itself at
// every step.
class TFormProgress : public QWidget, public IProgression {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);
  void Demarrer(const std::string& titre, int pas) override;
  void Avancer() override;
  void Terminer() override;
  void Masquer() override;
  QProgressBar* Barre() const { return barre_; }

 private:
  void Peindre();
  QProgressBar* barre_;
  int pas_ = 1;
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
