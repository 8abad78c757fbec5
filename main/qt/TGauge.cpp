#include "main/qt/TGauge.h"

#include <QPainter>

namespace scaleboot::qt {

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted here: nothing underneath needs drawing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::SetMin(int value) {
  RedrawIf(model_.SetMinimum(value));
}

void TGauge::SetMax(int value) {
  RedrawIf(model_.SetMaximum(value));
}

void TGauge::SetPosition(int value) {
  RedrawIf(model_.SetPosition(value));
}

void TGauge::AddProgress(int delta) {
  RedrawIf(model_.AddProgress(delta));
}

void TGauge::RedrawIf(bool needed) {
  // repaint(), not update(): the caller may not return to the event loop for a long time.
  if (needed) repaint();
}

void TGauge::paintEvent(QPaintEvent*) {
  ++paintCount_;
  QPainter painter(this);
  const QRect all = rect();
  painter.fillRect(all, QColor(kFrameColor));
  const QRect inner = all.adjusted(1, 1, -1, -1);
  if (inner.isEmpty()) return;
  painter.fillRect(inner, QColor(kBackColor));
  const int fill = model_.FillWidth(inner.width());
  if (fill > 0) painter.fillRect(QRect(inner.left(), inner.top(), fill, inner.height()), QColor(kFillColor));
}

}  // namespace scaleboot::qt
