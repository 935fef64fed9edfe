#include "ui/fenetre_qualite.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <map>

#include "files/nombres.h"
#include "ui/graphique.h"

namespace quelvane {

TFormQualite::TFormQualite(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Qualité des images"));
  auto* v = new QVBoxLayout(this);
  Vue = new QChartView;
  Vue->setRenderHint(QPainter::Antialiasing);
  Vue->setMinimumSize(520, 320);
  v->addWidget(Vue, 1);
  Resume = new QLabel;
  Resume->setTextFormat(Qt::PlainText);  // quotes file names
  Resume->setWordWrap(true);
  v->addWidget(Resume);
}

void TFormQualite::Afficher(const TEmpilement& e, const QString& titre) {
  setWindowTitle(QStringLiteral("Qualité des images - %1").arg(titre));
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Largeur du bord de la pupille, image par image"));
  auto* gardees = new QScatterSeries;
  gardees->setName(QStringLiteral("Gardées"));
  gardees->setColor(QColor(0, 140, 60));
  auto* rejetees = new QScatterSeries;
  rejetees->setName(QStringLiteral("Laissées de côté"));
  rejetees->setColor(QColor(200, 40, 40));
  for (QScatterSeries* s : {gardees, rejetees}) s->setMarkerSize(e.Images.size() > 300 ? 4 : 7);
  double maximum = 1;
  std::map<std::string, int> raisons;
  for (const TQualiteImage& q : e.Images) {
    if (!q.Gardee) ++raisons[q.Rejet.substr(0, q.Rejet.find(" ("))];
    if (q.LargeurBord <= 0) continue;  // no star measured in that frame
    (q.Gardee ? gardees : rejetees)->append(q.Indice + 1, q.LargeurBord);
    maximum = std::max(maximum, q.LargeurBord);
  }
  chart->addSeries(gardees);
  chart->addSeries(rejetees);
  auto* x = new QValueAxis;
  x->setTitleText(QStringLiteral("Image"));
  x->setRange(0, std::max<double>(1, static_cast<double>(e.Images.size()) + 1));
  x->setLabelFormat(QStringLiteral("%d"));
  auto* y = new QValueAxis;
  y->setTitleText(QStringLiteral("Bord (pixels, de 75 % à 25 %)"));
  y->setRange(0, maximum * 1.1);
  y->applyNiceNumbers();
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QScatterSeries* s : {gardees, rejetees}) {
    s->attachAxis(x);
    s->attachAxis(y);
  }
  RemplacerGraphique(Vue, chart);
  QString texte = QStringLiteral(
                      "%1 images lues (%2 annoncées), %3 gardées ; dispersion du "
                      "recalage %4 pixels ; %5 valeurs aberrantes écartées.")
                      .arg(e.Lues)
                      .arg(e.Annoncees)
                      .arg(e.Gardees)
                      .arg(QString::fromStdString(FormaterFixe(e.DispersionRecalage, 2)))
                      .arg(e.EchantillonsRejetes);
  for (const auto& [raison, n] : raisons)
    texte += QStringLiteral("\n%1 : %2").arg(QString::fromStdString(raison)).arg(n);
  Resume->setText(texte);
}

}  // namespace quelvane
