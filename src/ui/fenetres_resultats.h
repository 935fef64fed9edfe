#pragma once
// The result forms derived from analysed wavefronts: "Aberrations de Seidel", "Trichromie"
// and "Meridienne". Each is created once and shown on demand; the computations are Qt-free.

#include <QPointer>
#include <QWidget>
#include <array>

#include "simulation/seidel.h"

class QChartView;
class QLineEdit;
class QLabel;
class QSpinBox;
class QTreeWidget;

namespace quelvane {

class TForm1;

class TFormSeidel : public QWidget {
  Q_OBJECT
 public:
  explicit TFormSeidel(QWidget* parent);
  void Afficher(TForm1* front, const std::array<TLigneSeidel, 6>& lignes);
  TForm1* Source() const { return source_; }
  QTreeWidget* ListViewSeidel;

 private:
  QPointer<TForm1> source_;
};

class TFormRVB : public QWidget {
  Q_OBJECT
 public:
  explicit TFormRVB(QWidget* parent);
  void Afficher(const std::array<TForm1*, 3>& fronts, const TTrichromie& t);
  bool Decrit(const TForm1* fenetre) const;
  QTreeWidget* ListViewRVB;
  QLineEdit* Edit1;  // "Strehl polychromatique :"
  QLabel* LabelChromatisme;

 private:
  std::array<QPointer<TForm1>, 3> sources_;
};

class TFormMeridienne : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMeridienne(QWidget* parent);
  void Prendre(TForm1* fenetre);
  void TracerMeridienne();
  TForm1* Source() const { return source_; }

  QChartView* Chart1;
  QSpinBox* SpinEdit1;  // azimuth, degrees
  QSpinBox* SpinEdit2;  // step
  QSpinBox* SpinEdit3;  // zoom
  int Segments = 0;     // line series of the last profile (one per gap-free segment)

 private:
  QPointer<TForm1> source_;
};

}  // namespace quelvane
