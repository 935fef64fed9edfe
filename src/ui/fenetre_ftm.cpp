#include "ui/fenetre_ftm.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QValueAxis>

#include "ui/graphique.h"

namespace quelvane {

namespace {

QChart* Graphique(const QString& titre, const QString& axeX, const QString& axeY,
                  const std::vector<TPointCourbe>& points, double xMax) {
  auto* chart = new QChart;
  chart->setTitle(titre);
  auto* reelle = new QLineSeries;
  reelle->setName(QStringLiteral("Mesurée"));
  auto* parfaite = new QLineSeries;
  parfaite->setName(QStringLiteral("Pupille parfaite"));
  for (const TPointCourbe& p : points) {
    if (p.X > xMax) break;
    reelle->append(p.X, p.Reelle);
    parfaite->append(p.X, p.Parfaite);
  }
  chart->addSeries(parfaite);
  chart->addSeries(reelle);
  auto* x = new QValueAxis;
  x->setTitleText(axeX);
  x->setRange(0, xMax);
  auto* y = new QValueAxis;
  y->setTitleText(axeY);
  y->setRange(0, 1);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QLineSeries* s : {reelle, parfaite}) {
    s->attachAxis(x);
    s->attachAxis(y);
  }
  return chart;
}

}  // namespace

TFormFTM::TFormFTM(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("FTM et énergie encerclée"));
  // Side by side: stacked, each chart was too short for its vertical axis title on an
  // 800-pixel screen.
  auto* v = new QHBoxLayout(this);
  VueFTM = new QChartView;
  VueEnergie = new QChartView;
  for (QChartView* c : {VueFTM, VueEnergie}) {
    c->setRenderHint(QPainter::Antialiasing);
    c->setMinimumSize(460, 360);
    v->addWidget(c);
  }
}

void TFormFTM::Afficher(const TAnalysePSF& a, double coupureParMm, const QString& titre) {
  setWindowTitle(QStringLiteral("FTM et énergie encerclée - %1").arg(titre));
  const QString axe = coupureParMm > 0
                          ? QStringLiteral("Fréquence / coupure D/λ (coupure %1 cycles/mm)")
                                .arg(coupureParMm, 0, 'f', 1)
                          : QStringLiteral("Fréquence / coupure D/λ");
  RemplacerGraphique(VueFTM, Graphique(QStringLiteral("Fonction de transfert de modulation"), axe,
                                       QStringLiteral("FTM"), a.FTM, 1.0));
  RemplacerGraphique(
      VueEnergie,
      Graphique(
          QStringLiteral("Énergie encerclée (Strehl des pics %1)").arg(a.RapportPics, 0, 'f', 3),
          QStringLiteral("Rayon (rayons d'Airy)"), QStringLiteral("Part de la lumière"), a.Energie,
          5.0));
}

}  // namespace quelvane
