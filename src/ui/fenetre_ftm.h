#pragma once
// The modulation transfer function and the encircled energy of a wavefront's PSF, against the
// perfect obstructed pupil's, in a chart window.

#include <QWidget>

#include "simulation/psf.h"

class QChartView;

namespace quelvane {

class TFormFTM : public QWidget {
  Q_OBJECT
 public:
  explicit TFormFTM(QWidget* parent = nullptr);
  // `coupureParMm`: the cut-off D/(λf) in cycles per millimetre, 0 when the instrument is not
  // known (the axis then shows only the fraction of the cut-off).
  void Afficher(const TAnalysePSF& analyse, double coupureParMm, const QString& titre);

  QChartView* VueFTM;
  QChartView* VueEnergie;
};

}  // namespace quelvane
