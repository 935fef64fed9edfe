#pragma once
// TFormRapport: the written report, shown and editable in place, its HTML source on demand.

#include <QWidget>

class QPlainTextEdit;
class QStatusBar;
class QTextBrowser;

namespace quelvane {

class TFormRapport : public QWidget {
  Q_OBJECT
 public:
  explicit TFormRapport(QWidget* parent);
  // Shows the report at `chemin` (its pictures beside it), ready to be edited.
  void Charger(const QString& chemin);
  // "Enregistrer les modifications": the edited page written back over the report.
  void EnregistrerModifications();

  QTextBrowser* Navigateur;
  QPlainTextEdit* Code;
  QStatusBar* Etat;  // says when the page was saved
  QString Chemin;

 private:
  // The page as edited, with the layout a browser will show as the written one did.
  QString PageDuNavigateur() const;
};

}  // namespace quelvane
