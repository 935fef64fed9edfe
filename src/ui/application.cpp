#include "ui/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quelvane {

bool InstallerTraductions(QCoreApplication& application) {
  static QTranslator* installee = nullptr;
  if (installee) return true;
  // The program speaks French whatever the system language: Qt's buttons must match it.
  const QString dossier = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* traduction = new QTranslator(&application);
  if (!traduction->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
                        QStringLiteral("_"), dossier)) {
    delete traduction;
    return false;
  }
  application.installTranslator(traduction);
  installee = traduction;
  return true;
}

QIcon IconeQuelvane() {
  QIcon icone;
  for (int n : {16, 32, 48, 256}) icone.addFile(QStringLiteral(":/icones/quelvane-%1.png").arg(n));
  return icone;
}

void PreparerApplication(QApplication& application) {
  QApplication::setApplicationName(QStringLiteral("Quelvane"));
  QApplication::setDesktopFileName(QStringLiteral("quelvane"));
  InstallerTraductions(application);
  QApplication::setWindowIcon(IconeQuelvane());
}

}  // namespace quelvane
