#pragma once
// Charts shown again with new figures.

#include <QChart>
#include <QChartView>

namespace quelvane {

// The view takes the new chart and lets go of the old one without deleting it: it goes here.
inline void RemplacerGraphique(QChartView* vue, QChart* nouveau) {
  QChart* ancien = vue->chart();
  vue->setChart(nouveau);
  if (ancien != nouveau) delete ancien;
}

}  // namespace quelvane
