// Quelvane: the program entry. Reads the preferences, sets up the term set and the regional
// decimal separator, and runs the main window.

#include <QApplication>
#include <QLocale>

#include "core/memoire.h"
#include "core/parallele.h"
#include "core/regional.h"
#include "core/zernike.h"
#include "settings/preferences.h"
#include "ui/application.h"
#include "ui/dialogues.h"
#include "ui/fenetre_principale.h"

int main(int argc, char** argv) {
  quelvane::GarderMemoireLiberee();
  QApplication app(argc, argv);
  quelvane::PreparerApplication(app);
  const QString separateur = QLocale().decimalPoint();
  quelvane::DefinirSeparateurDecimal(separateur.isEmpty() ? '.' : separateur.at(0).toLatin1());
  const std::string prefs = quelvane::CheminPreferences();
  const auto lecture = quelvane::LirePreferences(quelvane::Preferences, prefs);
  quelvane::InitZernike(quelvane::Preferences.NPolyZern, quelvane::Preferences.ModePoly);
  quelvane::DefinirNombreFils(quelvane::FilsDemandes(quelvane::Preferences));
  quelvane::TMainForm fenetre(QString::fromStdString(prefs));
  fenetre.show();
  // Images named on the command line (a desktop's "open with"): intra-focal, then extra-focal.
  // The very first start, with nothing to open: the demonstration test, ready to reconstruct.
  if (const QStringList fichiers = app.arguments().mid(1); !fichiers.isEmpty())
    fenetre.OuvrirDeposes(fichiers);
  else if (fenetre.PremierDemarrage())
    fenetre.TestDeDemonstration();
  // What the preferences file held that could not be used, once, at start.
  if (const std::string texte = quelvane::TexteLecturePreferences(lecture); !texte.empty())
    quelvane::Dialogues().Avertir(&fenetre, QString::fromStdString(texte));
  return app.exec();
}
