// The progress bar: a one-pixel black frame, a white area and a teal fill from the left over the whole
// percentage done. It repaints itself at once, inside the call that changed it, whenever its rule asks for a
// redraw, so it moves while a long run holds the event loop. To assistive technology it is a progress bar
// whose value is the percentage done.
#pragma once
#include <QWidget>

#include "ui/Gauge.h"
#include "ui/WindowLayout.h"

namespace scaleboot::qt {

constexpr QRgb Rgb(const layout::Colour& colour) {
  return qRgb(colour.red, colour.green, colour.blue);
}

class TGauge : public QWidget, public GaugeControl<TGauge> {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  static constexpr QRgb kFrameColor = Rgb(layout::kGaugeFrame);
  static constexpr QRgb kBackColor = Rgb(layout::kGaugeBackground);
  static constexpr QRgb kFillColor = Rgb(layout::kGaugeFill);

  const GaugeModel& model() const { return model_; }
  // Paints done so far, whether asked for by the bar itself or by the window system.
  int paintCount() const { return paintCount_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  friend class GaugeControl<TGauge>;
  // Repaints at once when `needed`: the caller may not return to the event loop for a long time.
  void RedrawNow(bool needed);

  int paintCount_ = 0;
};

}  // namespace scaleboot::qt
