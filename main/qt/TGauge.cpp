#include "main/qt/TGauge.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>

namespace scaleboot::qt {
namespace {

// The bar as assistive technology sees it: a progress bar whose value is the whole percentage done.
class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit GaugeAccessible(TGauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(Percent()) + QLatin1Char('%');
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return Percent(); }
  void setCurrentValue(const QVariant&) override {}  // shows progress, takes no input
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  int Percent() const { return static_cast<const TGauge*>(widget())->model().PercentDone(); }
};

QAccessibleInterface* GaugeAccessibleFactory(const QString&, QObject* object) {
  if (auto* gauge = qobject_cast<TGauge*>(object)) return new GaugeAccessible(gauge);
  return nullptr;
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = (QAccessible::installFactory(GaugeAccessibleFactory), true);
  (void)factoryInstalled;
  // Every pixel is painted here: nothing underneath needs drawing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::RedrawNow(bool needed) {
  if (!needed) return;
  // repaint(), not update(): the caller may not return to the event loop for a long time.
  repaint();
  if (QAccessible::isActive()) {
    QAccessibleValueChangeEvent change(this, model_.PercentDone());
    QAccessible::updateAccessibility(&change);
  }
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
