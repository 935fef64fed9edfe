#pragma once
// What every window of the program shares: Qt's own texts in French and the program's icon.

#include <QIcon>

class QApplication;
class QCoreApplication;

namespace quelvane {

// Loads Qt's French translations (qtbase_fr, which Debian ships) once; false when they are not
// installed (Qt's buttons then stay English). Call before the first window is made.
bool InstallerTraductions(QCoreApplication& application);

QIcon IconeQuelvane();

// Name, icon and translations, before the main window.
void PreparerApplication(QApplication& application);

}  // namespace quelvane
