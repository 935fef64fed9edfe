#include "ui/fenetres_tests.h"

#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "core/zernike.h"
#include "files/ecriture.h"
#include "files/nombres.h"
#include "ui/dialogues.h"
#include "ui/graphique.h"

namespace quelvane {

namespace {

// A curve with its points marked and each point's ± as a vertical bar of its colour (bars
// left out of the legend).
void AjouterCourbe(QChart* chart, const QString& nom, const QColor& couleur,
                   const std::vector<std::pair<double, double>>& points,
                   const std::vector<double>& ecarts, QValueAxis* x, QValueAxis* y, double& mini,
                   double& maxi) {
  auto* ligne = new QLineSeries;
  ligne->setName(nom);
  ligne->setColor(couleur);
  auto* marques = new QScatterSeries;
  marques->setColor(couleur);
  marques->setMarkerSize(7);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto [h, v] = points[i];
    ligne->append(h, v);
    marques->append(h, v);
    mini = std::min(mini, v - ecarts[i]);
    maxi = std::max(maxi, v + ecarts[i]);
  }
  chart->addSeries(ligne);
  chart->addSeries(marques);
  std::vector<QAbstractSeries*> series{ligne, marques};
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!(ecarts[i] > 0)) continue;
    auto* barre = new QLineSeries;
    barre->setColor(couleur);
    barre->append(points[i].first, points[i].second - ecarts[i]);
    barre->append(points[i].first, points[i].second + ecarts[i]);
    chart->addSeries(barre);
    series.push_back(barre);
  }
  for (QAbstractSeries* s : series) {
    s->attachAxis(x);
    s->attachAxis(y);
    if (s != ligne)
      for (QLegendMarker* m : chart->legend()->markers(s)) m->setVisible(false);
  }
}

QValueAxis* AxeHeures(const std::vector<TPointTendance>& points) {
  auto* x = new QValueAxis;
  x->setTitleText(QStringLiteral("Heures depuis le premier test"));
  double fin = 0;
  for (const TPointTendance& p : points) fin = std::max(fin, p.Heures);
  x->setRange(-0.05 * std::max(fin, 0.1), fin + 0.05 * std::max(fin, 0.1));
  return x;
}

}  // namespace

TFormTendance::TFormTendance(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Tendance"));
  auto* v = new QVBoxLayout(this);
  Vue = new QChartView;
  Vue->setRenderHint(QPainter::Antialiasing);
  Vue->setMinimumSize(560, 320);
  v->addWidget(Vue, 2);
  VueStrehl = new QChartView;
  VueStrehl->setRenderHint(QPainter::Antialiasing);
  VueStrehl->setMinimumSize(560, 200);
  v->addWidget(VueStrehl, 1);
  Resume = new QLabel;
  Resume->setTextFormat(Qt::PlainText);
  Resume->setWordWrap(true);
  v->addWidget(Resume);
  BoutonCSV = new QPushButton(QStringLiteral("Exporter en CSV..."));
  v->addWidget(BoutonCSV, 0, Qt::AlignRight);
  connect(BoutonCSV, &QPushButton::clicked, this, &TFormTendance::ExporterCSV);
}

void TFormTendance::Afficher(std::vector<TPointTendance> points, std::vector<int> termes,
                             const QString& titre) {
  points_ = std::move(points);
  termes_ = std::move(termes);
  setWindowTitle(QStringLiteral("Tendance - %1").arg(titre));
  const QColor couleurs[] = {QColor(200, 40, 40),  QColor(0, 110, 200), QColor(0, 140, 60),
                             QColor(150, 60, 170), QColor(210, 120, 0), QColor(90, 90, 90),
                             QColor(0, 150, 150)};
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Termes (RMS) et écart RMS du front, en nanomètres"));
  QValueAxis* x = AxeHeures(points_);
  auto* y = new QValueAxis;
  y->setTitleText(QStringLiteral("nm"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  double mini = 0, maxi = 1;
  std::vector<std::pair<double, double>> p;
  std::vector<double> e;
  for (const TPointTendance& t : points_) {
    p.emplace_back(t.Heures, t.RMS);
    e.push_back(t.EcartsConnus ? t.RMSEcart : 0);
  }
  AjouterCourbe(chart, QStringLiteral("RMS"), QColor(0, 0, 0), p, e, x, y, mini, maxi);
  for (std::size_t k = 0; k < termes_.size(); ++k) {
    const int j = termes_[k];
    p.clear(), e.clear();
    for (const TPointTendance& t : points_) {
      p.emplace_back(t.Heures, t.CoefficientsRMS[j - 1]);
      e.push_back(t.EcartsConnus ? t.EcartsRMS[j - 1] : 0);
    }
    AjouterCourbe(chart, QStringLiteral("Z%1").arg(j), couleurs[k % 7], p, e, x, y, mini, maxi);
  }
  y->setRange(mini - 0.05 * (maxi - mini), maxi + 0.05 * (maxi - mini));
  y->applyNiceNumbers();
  RemplacerGraphique(Vue, chart);

  auto* cs = new QChart;
  cs->setTitle(QStringLiteral("Rapport de Strehl S"));
  QValueAxis* xs = AxeHeures(points_);
  auto* ys = new QValueAxis;
  ys->setRange(0, 1);
  cs->addAxis(xs, Qt::AlignBottom);
  cs->addAxis(ys, Qt::AlignLeft);
  p.clear(), e.clear();
  for (const TPointTendance& t : points_) {
    p.emplace_back(t.Heures, t.Strehl);
    e.push_back(t.EcartsConnus ? t.StrehlEcart : 0);
  }
  double smin = 0, smax = 1;
  AjouterCourbe(cs, QStringLiteral("S"), QColor(0, 0, 0), p, e, xs, ys, smin, smax);
  cs->legend()->hide();
  RemplacerGraphique(VueStrehl, cs);

  const long sansDate = std::count_if(points_.begin(), points_.end(),
                                      [](const TPointTendance& t) { return !t.DateConnue; });
  QString r = QStringLiteral("%1 test(s) ; barres : un écart-type.").arg(points_.size());
  if (sansDate)
    r += QStringLiteral(" %1 test(s) sans heure de prise de vue (DATE-OBS), placés à 0 h.")
             .arg(sansDate);
  Resume->setText(r);
}

void TFormTendance::ExporterCSV() {
  if (points_.empty()) return;
  const auto nom = Dialogues().FichierAEnregistrer(this, QStringLiteral("Exporter la tendance"),
                                                   QStringLiteral("Fichiers CSV (*.csv)"),
                                                   QStringLiteral("tendance.csv"));
  if (!nom) return;
  try {
    EcrireFichierAtomique(nom->toStdString(), TexteCSVTendance(points_, termes_));
  } catch (const ErreurEcriture& e) {
    Dialogues().Avertir(this, QString::fromStdString(e.what()));
  }
}

TFormBanc::TFormBanc(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Termes du banc"));
  auto* v = new QVBoxLayout(this);
  Table = new QTableWidget(0, 3);
  Table->setHorizontalHeaderLabels(
      {QStringLiteral("Terme"), QStringLiteral("Valeur (nm)"), QStringLiteral("±")});
  Table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setMinimumSize(380, 220);
  v->addWidget(Table, 1);
  Note = new QLabel;
  Note->setTextFormat(Qt::PlainText);
  Note->setWordWrap(true);
  v->addWidget(Note);
}

void TFormBanc::Afficher(const TTestEnregistre& m, bool rms, int decimales, const QString& titre) {
  setWindowTitle(QStringLiteral("Termes du banc - %1").arg(titre));
  const TJeuZernike jeu = JeuDuTest(m);
  Table->setRowCount(static_cast<int>(m.TermesBanc.size()));
  for (int i = 0; i < Table->rowCount(); ++i) {
    const TTermeBanc& b = m.TermesBanc[static_cast<std::size_t>(i)];
    const double f = rms ? jeu.FacteurNorm[b.J - 1] : 1;
    Table->setItem(
        i, 0,
        new QTableWidgetItem(QString::fromStdString(LibelleZernike(b.J) + " " + NomZernike(b.J))));
    Table->setItem(
        i, 1,
        new QTableWidgetItem(QString::fromStdString(FormaterFixe(b.ValeurNm / f, decimales))));
    Table->setItem(
        i, 2, new QTableWidgetItem(QString::fromStdString(FormaterFixe(b.EcartNm / f, decimales))));
  }
  Note->setText(QString::fromStdString(m.NoteSeparation) +
                (rms ? QStringLiteral(" Valeurs RMS normalisées.")
                     : QStringLiteral(" Valeurs non normalisées.")));
}

}  // namespace quelvane
