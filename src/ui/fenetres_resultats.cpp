#include "ui/fenetres_resultats.h"

#include <QChart>
#include <QChartView>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>
#include <numbers>

#include "files/nombres.h"
#include "settings/preferences.h"
#include "ui/fenetre_image.h"
#include "ui/graphique.h"

namespace quelvane {

namespace {

QString Fixe(double v, int d) { return QString::fromStdString(FormaterFixe(v, d)); }

QTreeWidget* Liste(const QStringList& colonnes) {
  auto* l = new QTreeWidget;
  l->setHeaderLabels(colonnes);
  l->setRootIsDecorated(false);
  l->setEditTriggers(QAbstractItemView::NoEditTriggers);
  l->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  return l;
}

void Ligne(QTreeWidget* l, const QStringList& textes) {
  auto* item = new QTreeWidgetItem(textes);
  for (int c = 1; c < textes.size(); ++c)
    item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  l->addTopLevelItem(item);
}

}  // namespace

TFormSeidel::TFormSeidel(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(QStringLiteral("Aberrations de Seidel"));
  auto* v = new QVBoxLayout(this);
  ListViewSeidel = Liste(
      {QStringLiteral("Aberration"), QStringLiteral("Valeur"), QStringLiteral("Orientation")});
  v->addWidget(ListViewSeidel);
  setFixedSize(340, 220);
}

void TFormSeidel::Afficher(TForm1* front, const std::array<TLigneSeidel, 6>& lignes) {
  source_ = front;
  ListViewSeidel->clear();
  for (const TLigneSeidel& l : lignes)
    Ligne(ListViewSeidel,
          {QString::fromUtf8(l.Nom), Fixe(l.Valeur, 3),
           l.OrientationDeg ? Fixe(*l.OrientationDeg, 1) + QStringLiteral("°") : QString()});
  show();
  raise();
}

TFormRVB::TFormRVB(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(QStringLiteral("Trichromie"));
  auto* v = new QVBoxLayout(this);
  ListViewRVB =
      Liste({QString(), QStringLiteral("Bleu"), QStringLiteral("Vert"), QStringLiteral("Rouge")});
  v->addWidget(ListViewRVB);
  auto* f = new QFormLayout;
  Edit1 = new QLineEdit;
  Edit1->setReadOnly(true);
  f->addRow(QStringLiteral("Strehl polychromatique :"), Edit1);
  v->addLayout(f);
  LabelChromatisme = new QLabel;
  v->addWidget(LabelChromatisme);
  setFixedSize(440, 300);
}

bool TFormRVB::Decrit(const TForm1* fenetre) const {
  for (const auto& s : sources_)
    if (s == fenetre) return true;
  return false;
}

void TFormRVB::Afficher(const std::array<TForm1*, 3>& fronts, const TTrichromie& t) {
  for (int i = 0; i < 3; ++i) sources_[i] = fronts[i];
  ListViewRVB->clear();
  auto rangee = [&](const QString& titre, auto valeur, int decimales) {
    QStringList l{titre};
    for (const TColonneRVB& c : t.Colonnes) l << Fixe(valeur(c), decimales);
    Ligne(ListViewRVB, l);
  };
  rangee(
      QStringLiteral("Lambda (nm)"), [](const TColonneRVB& c) { return c.Lambda; }, 0);
  rangee(
      QStringLiteral("Foyers (mm)"), [](const TColonneRVB& c) { return c.FoyerMm; }, 3);
  rangee(
      QStringLiteral("Defocus Z4 (nm RMS)"), [](const TColonneRVB& c) { return c.Z4Rms; }, 3);
  rangee(
      QStringLiteral("Sphéricité Z11 (nm RMS)"), [](const TColonneRVB& c) { return c.Z11Rms; }, 3);
  rangee(
      QStringLiteral("Ecart (nm RMS)"), [](const TColonneRVB& c) { return c.EcartRms; }, 3);
  rangee(
      QStringLiteral("Strehl"), [](const TColonneRVB& c) { return c.Strehl; }, 3);
  Edit1->setText(Fixe(t.StrehlPolychromatique, 3));
  // The figure a refractor's owner looks for: how far apart blue and red focus.
  LabelChromatisme->setText(
      QStringLiteral("Chromatisme longitudinal (foyer bleu − foyer rouge) : %1 mm")
          .arg(Fixe(t.ChromatismeMm, 3)));
  show();
  raise();
}

TFormMeridienne::TFormMeridienne(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Meridienne"));
  auto* v = new QVBoxLayout(this);
  Chart1 = new QChartView;
  Chart1->setRenderHint(QPainter::Antialiasing);
  Chart1->setMinimumSize(560, 360);  // the axis titles whole
  v->addWidget(Chart1);
  auto* h = new QHBoxLayout;
  SpinEdit1 = new QSpinBox;
  SpinEdit1->setRange(-180, 180);
  auto* zero = new QPushButton(QStringLiteral("Zero"));
  SpinEdit2 = new QSpinBox;
  SpinEdit2->setRange(1, 90);
  SpinEdit3 = new QSpinBox;
  SpinEdit3->setRange(1, 10);
  auto* tracer = new QPushButton(QStringLiteral("Tracer"));
  auto* fermer = new QPushButton(QStringLiteral("Fermer"));
  h->addWidget(new QLabel(QStringLiteral("Azimut (degrés) :")));
  h->addWidget(SpinEdit1);
  h->addWidget(zero);
  h->addWidget(new QLabel(QStringLiteral("Pas (degrés) :")));
  h->addWidget(SpinEdit2);
  h->addWidget(new QLabel(QStringLiteral("Zoom")));
  h->addWidget(SpinEdit3);
  h->addWidget(tracer);
  h->addWidget(fermer);
  v->addLayout(h);
  connect(tracer, &QPushButton::clicked, this, &TFormMeridienne::TracerMeridienne);
  connect(fermer, &QPushButton::clicked, this, &QWidget::hide);
  connect(zero, &QPushButton::clicked, this, [this] { SpinEdit1->setValue(0); });
  connect(SpinEdit2, &QSpinBox::valueChanged, SpinEdit1, &QSpinBox::setSingleStep);
  connect(SpinEdit3, &QSpinBox::valueChanged, this, &TFormMeridienne::TracerMeridienne);
  connect(SpinEdit1, &QSpinBox::valueChanged, this, [this](int a) {
    if (source_ && source_->Champ()) source_->Champ()->AngleTrace = a * std::numbers::pi / 180;
    TracerMeridienne();
  });
}

void TFormMeridienne::Prendre(TForm1* fenetre) {
  source_ = fenetre;
  show();
  raise();
  TracerMeridienne();
}

void TFormMeridienne::TracerMeridienne() {
  if (!source_ || !source_->Champ()) return;
  TPupille& p = *source_->Champ();
  p.MinMax();
  bool mm = false;
  const auto segments = ProfilMeridien(p, p.AngleTrace, SpinEdit3->value(), mm);
  auto* chart = new QChart;
  chart->setTitle(source_->windowTitle());
  chart->legend()->hide();
  auto* x = new QValueAxis;
  x->setTitleText(mm ? QStringLiteral("Coordonnée radiale (mm)")
                     : QStringLiteral("Coordonnée radiale (pix.)"));
  auto* y = new QValueAxis;
  switch (p.Role) {
    case RoleIntra:
    case RoleExtra: y->setTitleText(QStringLiteral("Intensité (ADU)")); break;
    case RoleSignal: y->setTitleText(QStringLiteral("Signal (I1-I2)/(I1+I2)")); break;
    case RoleFront:
    case RoleResidu: y->setTitleText(QStringLiteral("Différence de marche (nm)")); break;
    default: y->setTitleText(QStringLiteral("Intensité normalisée"));
  }
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  // One series per segment, in the same pen: the obstruction shows as a gap, not as a line
  // drawn across it.
  const QPen stylo(QColor(0, 0, 255), 1.5);
  double xmin = 0, xmax = 0;
  for (const auto& s : segments) {
    auto* serie = new QLineSeries;
    serie->setPen(stylo);
    for (const TPointProfil& pt : s) {
      serie->append(pt.X, pt.Valeur);
      xmin = std::min(xmin, pt.X), xmax = std::max(xmax, pt.X);
    }
    chart->addSeries(serie);
    serie->attachAxis(x);
    serie->attachAxis(y);
  }
  Segments = static_cast<int>(segments.size());
  // Ticks on round values (-100, -50, 0…), not on the data's own ends.
  x->setRange(xmin, xmax);
  x->applyNiceNumbers();
  if (p.Maxi > p.Mini) {
    y->setRange(p.Mini, p.Maxi);
    y->applyNiceNumbers();
  }
  RemplacerGraphique(Chart1, chart);
}

}  // namespace quelvane
