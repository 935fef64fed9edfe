#pragma once
// Windows of tests combined: the trend of a night (chosen terms, RMS and Strehl against time,
// with their ± as bars, exportable as CSV) and the table of the test stand's terms.

#include <QWidget>
#include <vector>

#include "analysis/combinaison_tests.h"
#include "files/fichier_test.h"

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quelvane {

class TFormTendance : public QWidget {
  Q_OBJECT
 public:
  explicit TFormTendance(QWidget* parent = nullptr);
  void Afficher(std::vector<TPointTendance> points, std::vector<int> termes, const QString& titre);
  void ExporterCSV();

  const std::vector<TPointTendance>& Points() const { return points_; }
  const std::vector<int>& Termes() const { return termes_; }
  QChartView* Vue;        // terms and RMS, nanometres
  QChartView* VueStrehl;  // Strehl
  QLabel* Resume;
  QPushButton* BoutonCSV;

 private:
  std::vector<TPointTendance> points_;
  std::vector<int> termes_;
};

class TFormBanc : public QWidget {
  Q_OBJECT
 public:
  explicit TFormBanc(QWidget* parent = nullptr);
  // RMS-normalised when `rms` (the preference), with the term set's factors.
  void Afficher(const TTestEnregistre& moyenne, bool rms, int decimales, const QString& titre);

  QTableWidget* Table;
  QLabel* Note;
};

}  // namespace quelvane
