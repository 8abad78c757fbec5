// The progress bar: a one-pixel black frame, a white area and a teal fill from the left over the whole
// percentage done. It repaints itself at once, inside the call that changed it, whenever its rule asks for a
// redraw, so it moves while a long run holds the event loop.
#pragma once
#include <QWidget>

#include "ui/Gauge.h"

namespace scaleboot::qt {

class TGauge : public QWidget {
 public:
  explicit TGauge(QWidget* parent = nullptr);

  static constexpr QRgb kFrameColor = qRgb(0, 0, 0);
  static constexpr QRgb kBackColor = qRgb(255, 255, 255);
  static constexpr QRgb kFillColor = qRgb(0, 128, 128);

  void SetMin(int value);
  void SetMax(int value);
  void SetPosition(int value);
  void AddProgress(int delta);

  const GaugeModel& model() const { return model_; }
  // Paints done so far, whether asked for by the bar itself or by the window system.
  int paintCount() const { return paintCount_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RedrawIf(bool needed);

  GaugeModel model_;
  int paintCount_ = 0;
};

}  // namespace scaleboot::qt
