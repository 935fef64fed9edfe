#include "ui/placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace quelvane {

namespace {

constexpr int Bordure = 4;  // what a window manager draws around the contents, about

// Places its window once, at its first showing.
class TPlaceur : public QObject {
 public:
  TPlaceur(QWidget& fenetre, const QWidget& travail) : QObject(&fenetre), travail_(&travail) {}

 protected:
  bool eventFilter(QObject* objet, QEvent* e) override {
    if (e->type() == QEvent::Show && !place_ && travail_) {
      place_ = true;
      auto* f = static_cast<QWidget*>(objet);
      const QRect zone = ZoneDisponible(f);
      const QRect t(travail_->mapToGlobal(QPoint(0, 0)), travail_->size());
      const int titre = HauteurTitre(f);
      QRect r(QPoint(t.right() - f->width() - Bordure, t.top() + titre), f->size());
      r.moveLeft(std::max(r.left(), t.left() + Bordure));
      r = DansLaZone(r, zone, titre);
      f->resize(r.size());
      f->move(r.left() - Bordure, r.top() - titre);  // a window's position is its frame's
    }
    return false;
  }

 private:
  QPointer<const QWidget> travail_;
  bool place_ = false;
};

}  // namespace

QRect ZoneDisponible(const QWidget* fenetre) {
  const QScreen* ecran =
      fenetre && fenetre->screen() ? fenetre->screen() : QGuiApplication::primaryScreen();
  return ecran ? ecran->availableGeometry() : QRect(0, 0, 1024, 768);
}

int HauteurTitre(const QWidget* fenetre) {
  const QStyle* style = fenetre ? fenetre->style() : nullptr;
  const int barre = style ? style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, fenetre) : 0;
  return std::max(barre, 24) + Bordure;
}

QRect DansLaZone(QRect contenu, const QRect& zone, int titre) {
  // The frame's room within the zone.
  const int largeurMax = std::max(1, zone.width() - 2 * Bordure);
  const int hauteurMax = std::max(1, zone.height() - titre - Bordure);
  contenu.setWidth(std::min(contenu.width(), largeurMax));
  contenu.setHeight(std::min(contenu.height(), hauteurMax));
  const int gauche = std::clamp(contenu.left(), zone.left() + Bordure,
                                zone.left() + Bordure + largeurMax - contenu.width());
  const int haut = std::clamp(contenu.top(), zone.top() + titre,
                              zone.top() + titre + hauteurMax - contenu.height());
  contenu.moveTo(gauche, haut);
  return contenu;
}

void PlacerFenetrePrincipale(QMainWindow& principale, bool restauree) {
  const QRect zone = ZoneDisponible(&principale);
  const int titre = HauteurTitre(&principale);
  QRect r;
  if (restauree) {
    r = DansLaZone(principale.geometry(), zone, titre);
  } else {
    const int l = zone.width() * 9 / 10, h = (zone.height() - titre) * 9 / 10;
    r = DansLaZone(QRect(zone.left() + (zone.width() - l) / 2,
                         zone.top() + titre + (zone.height() - titre - h) / 2, l, h),
                   zone, titre);
  }
  if (r == principale.geometry()) return;
  principale.resize(r.size());
  principale.move(r.left() - Bordure, r.top() - titre);
}

void PlacerAuPremierAffichage(QWidget& fenetre, const QWidget& travail) {
  fenetre.installEventFilter(new TPlaceur(fenetre, travail));
}

}  // namespace quelvane
