#include "ui/fenetre_image.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QVBoxLayout>
#include <cmath>

#include "core/mathematiques.h"
#include "files/ecriture.h"
#include "files/export_texte.h"
#include "files/jpeg.h"
#include "rendu/rendu.h"
#include "ui/dialogues.h"

namespace quelvane {

// The picture control: the field's picture stretched to the zoom, cross-hair, read-out.
class TForm1::TZoneImage : public QWidget {
 public:
  explicit TZoneImage(TForm1& f) : QWidget(&f), fenetre_(f) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
  }
  QImage Affichee;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(rect(), Affichee);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    fenetre_.ImageMouseMove(static_cast<int>(e->position().x()),
                            static_cast<int>(e->position().y()));
  }

 private:
  TForm1& fenetre_;
};

TPalettes& TForm1::Palettes() {
  static TPalettes palettes;
  return palettes;
}

QSize TailleImpression(double w, double h, double pw, double ph) {
  if (w <= 0 || h <= 0) return {0, 0};
  const double a = w / h;
  if (w < pw && h < ph) {
    if (h <= w) {
      w = pw;
      h = w / a;
    } else {
      h = ph;
      w = h * a;
    }
  }
  if (w > pw) {
    w = pw;
    h = w / a;
  }
  if (h > ph) {
    h = ph;
    w = h * a;
  }
  return {static_cast<int>(w), static_cast<int>(h)};
}

TForm1::TForm1(IHoteImages& hote, std::shared_ptr<TPupille> champ, bool proprietaire,
               int indiceZoom, QWidget* parent)
    : QWidget(parent), hote_(hote), champ_(std::move(champ)), proprietaire_(proprietaire) {
  IndiceZoom = std::clamp(indiceZoom, 0, static_cast<int>(FacteursZoom.size()) - 1);
  setWindowTitle(QStringLiteral("Form1"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* disposition = new QVBoxLayout(this);
  disposition->setContentsMargins(0, 0, 0, 0);
  disposition->setSizeConstraint(QLayout::SetFixedSize);
  zone_ = new TZoneImage(*this);
  zone_->setFixedSize(185, 185);
  disposition->addWidget(zone_);
  setFocusPolicy(Qt::StrongFocus);

  menu_ = new QMenu(this);
  menu_->addAction(QStringLiteral("Seuil à cette valeur"), this, &TForm1::SeuilACetteValeur);
  menu_->addAction(QStringLiteral("méridienne"), this, [this] { hote_.CommandeMeridienne(); });
  actionRelief_ = menu_->addAction(QStringLiteral("effet 3D"), this, &TForm1::BasculerRelief);
  actionRelief_->setCheckable(true);
  actionEtoile_ = menu_->addAction(QStringLiteral("Choisir cette étoile"), this,
                                   [this] { hote_.ChoisirEtoile(this); });
  actionQualite_ = menu_->addAction(QStringLiteral("Qualité des images de la série"), this,
                                    [this] { hote_.QualiteSerie(this); });
  menu_->addSeparator();
  menu_->addAction(QStringLiteral("Enregistrer"), this, &TForm1::EnregistrerSous);
  menu_->addAction(QStringLiteral("Exporter"), this, &TForm1::Exporter);
  menu_->addAction(QStringLiteral("Imprimer"), this, &TForm1::Imprimer);
}

TForm1::~TForm1() = default;

void TForm1::OublierFrontSource(const TPupille* f) {
  if (frontSource_.get() == f) frontSource_.reset();
  if (sourceSimulation_.lock().get() == f) sourceSimulation_.reset();
}

void TForm1::Visualiser() {
  if (!champ_) return;
  // A PSF window tells which of its two PSFs it shows (a spectrum keeps its own caption).
  if (windowTitle().startsWith(QStringLiteral("PSF"))) {
    if (champ_->Role == RolePSF) setWindowTitle(QStringLiteral("PSF réelle"));
    if (champ_->Role == RolePSFTheorique) setWindowTitle(QStringLiteral("PSF théorique"));
  }
  const double z = FacteursZoom[IndiceZoom];
  champ_->Zoom = z;

  TPupille& f = *champ_;
  const bool psf = f.Role == RolePSF || f.Role == RolePSFTheorique;
  TFctXY vueLog;
  if (EchelleLog && psf) vueLog = VueLogarithmique(f);
  image24_ = ImageDuChamp(EchelleLog && psf ? vueLog : f, Palettes(), f.Lambda, CouleurLambda,
                          AfficherEchelle);
  const TImage24& image = image24_;
  image_ = QImage(image.Pixels.data(), image.Largeur, image.Hauteur, image.Largeur * 3,
                  QImage::Format_RGB888)
               .copy();
  zone_->Affichee = image_;
  zone_->setFixedSize(static_cast<int>(Arrondi(champ_->NX * z)),
                      static_cast<int>(Arrondi(champ_->NY * z)));
  zone_->update();
  adjustSize();
  if (parentWidget()) parentWidget()->adjustSize();
}

bool TForm1::ImageMouseMove(int x, int y) {
  if (!champ_) return false;
  const double z = FacteursZoom[IndiceZoom];
  const int c = static_cast<int>(Arrondi((x + 1) / z));
  const int l = static_cast<int>(Arrondi((y + 1) / z));
  if (c < 1 || c > champ_->NX || l < 1 || l > champ_->NY) return false;
  ValeurCurseur = champ_->V(l - 1, c - 1);
  ColonneCurseur = c, LigneCurseur = l;
  hote_.LectureCurseur(this, c, l);
  return true;
}

void TForm1::SeuilACetteValeur() {
  if (!champ_) return;
  champ_->Seuil = ValeurCurseur;
  champ_->Seuiller();
  Visualiser();
  emit ChampModifie(this);
}

void TForm1::BasculerRelief() {
  if (!champ_) return;
  champ_->Relief = champ_->Relief ? 0 : 1;
  actionRelief_->setChecked(champ_->Relief != 0);
  Visualiser();
}

void TForm1::EnregistrerJPG(const QString& nom) {
  if (image24_.Pixels.empty()) Visualiser();
  EcrireFichierAtomique(nom.toStdString(),
                        CoderJPEG(image24_.Pixels, image24_.Largeur, image24_.Hauteur));
}

void TForm1::Enregistrer() {
  if (FichierJPEG.isEmpty()) {
    EnregistrerSous();
    return;
  }
  try {
    EnregistrerJPG(FichierJPEG);
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

void TForm1::EnregistrerSous() {
  const auto nom = Dialogues().FichierAEnregistrer(
      this, QStringLiteral("Enregistrer l'image en cours"),
      QStringLiteral("Image jpeg (*.jpeg *.jpg *.JPG)"), windowTitle());
  if (!nom) return;
  // ".jpg" always appended, as to every picture saved from a window.
  const QString chemin = *nom + QStringLiteral(".jpg");
  try {
    EnregistrerJPG(chemin);
    FichierJPEG = chemin;
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

void TForm1::Exporter() {
  if (!champ_) return;
  const auto nom = Dialogues().FichierAEnregistrer(
      this, QStringLiteral("Exporter le front d'onde"),
      QStringLiteral("Fichiers Optical Path Difference (*.opd)"), windowTitle());
  if (!nom) return;
  try {
    ExportOPD(*champ_, (*nom + QStringLiteral(".opd")).toStdString());
  } catch (const std::exception& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

void TForm1::Imprimer() {
  if (image_.isNull()) return;
  QPrinter imprimante;
  if (!Dialogues().ChoisirImprimante(this, imprimante)) return;
  QPainter p(&imprimante);
  const QRect page = imprimante.pageLayout().paintRectPixels(imprimante.resolution());
  const QSize taille =
      TailleImpression(image_.width(), image_.height(), page.width(), page.height());
  p.drawImage(QRect(QPoint(0, 0), taille), image_);
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) {
  // A star is chosen in a star's image; the quality is that of a stack's frames.
  const bool image = champ_ && (champ_->Role == RoleIntra || champ_->Role == RoleExtra);
  actionEtoile_->setEnabled(image);
  actionQualite_->setEnabled(static_cast<bool>(Empilement));
  menu_->exec(e->globalPos());
}

void TForm1::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  hote_.ImageActivee(this);
}

void TForm1::closeEvent(QCloseEvent* e) {
  if (!hote_.FermetureGenerale() &&
      !Dialogues().Demander(this, QStringLiteral("Fermer l'image %1 ?").arg(windowTitle()))) {
    e->ignore();
    return;
  }
  hote_.ImageFermee(this);
  // A PSF window's second field is its own; a wavefront kept aside also goes with the window.
  frontSource_.reset();
  champ_.reset();
  e->accept();
}

}  // namespace quelvane
