#pragma once
// The frames of a stacked image, one point each: the width of the pupil's edge (the smaller,
// the sharper) against the frame's number, those kept apart from those left out.

#include <QWidget>

#include "analysis/empilement.h"

class QChartView;
class QLabel;

namespace quelvane {

class TFormQualite : public QWidget {
  Q_OBJECT
 public:
  explicit TFormQualite(QWidget* parent = nullptr);
  void Afficher(const TEmpilement& e, const QString& titre);

  QChartView* Vue;
  QLabel* Resume;  // frames read, kept, left out, and why
};

}  // namespace quelvane
