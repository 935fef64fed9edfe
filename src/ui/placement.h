#pragma once
// Where windows open: the whole window on the screen, title bar included, and the secondary
// windows (MTF, Seidel, meridian, help, report…) over the work area rather than over the menus
// and tool bars.

#include <QRect>

class QMainWindow;
class QWidget;

namespace quelvane {

// The usable part of the screen the window is on (the primary screen before it is shown).
QRect ZoneDisponible(const QWidget* fenetre);

// Height a window manager adds above a window's contents (title bar and border), as the style
// sees it: what to leave free above a window placed by its contents.
int HauteurTitre(const QWidget* fenetre);

// A window's contents rectangle (`contenu`) moved, then shrunk if need be, so that its frame
// (`titre` pixels of title above, a few pixels of border around) lies within `zone`.
QRect DansLaZone(QRect contenu, const QRect& zone, int titre);

// First start: the main window takes most of the screen, centred, its title bar on it. After a
// restored placement: brought back within the screen if it no longer fits (another screen, a
// placement saved when it did not fit).
void PlacerFenetrePrincipale(QMainWindow& principale, bool restauree);

// The first time `fenetre` is shown: at the top right of `travail` (the main window's work
// area), within the screen. Later showings keep where the user put it.
void PlacerAuPremierAffichage(QWidget& fenetre, const QWidget& travail);

}  // namespace quelvane
