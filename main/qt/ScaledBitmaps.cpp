// The window's bitmaps at every display scale: the button glyphs (their bottom-left colour transparent) and
// the flags, each drawn from the source made for the scale of the screen it is shown on.
#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <array>

#include "main/qt/TForm1.h"
#include "ui/ScaledLayout.h"
#include "ui/WindowLayout.h"

namespace scaleboot::qt {

QPixmap LoadGlyph(const QString& resourcePath) {
  QImage image(resourcePath);
  if (image.isNull()) return {};
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb transparent = image.pixel(0, image.height() - 1);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (line[x] == transparent) line[x] = qRgba(0, 0, 0, 0);
    }
  }
  return QPixmap::fromImage(image);
}

QString BitmapForScale(const QString& resourcePath, int set) {
  if (set == 0) return resourcePath;
  const qsizetype slash = resourcePath.lastIndexOf(u'/');
  return resourcePath.left(slash + 1) + QString::number(layout::kBitmapScales[set]) + u'/' +
         resourcePath.mid(slash + 1);
}

namespace {

// A bitmap drawn for each display scale: at a device pixel ratio it gives the set the Windows program would
// draw at that DPI, its device pixel ratio set to the one asked for, so that at 125, 150 and 200 % each
// source pixel is one pixel of the screen.
class ScaledBitmapEngine final : public QIconEngine {
 public:
  explicit ScaledBitmapEngine(std::array<QPixmap, layout::kBitmapSets> sets) : sets_(std::move(sets)) {}

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    return sets_[0].size().boundedTo(size);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& sz, QIcon::Mode mode, QIcon::State, qreal scale) override {
    QPixmap drawn = sets_[static_cast<std::size_t>(BitmapSetForScale(scale))];
    drawn.setDevicePixelRatio(scale);
    if (mode == QIcon::Normal || mode == QIcon::Active) return drawn;
    QStyleOption option;
    option.palette = QApplication::palette();
    return QApplication::style()->generatedIconPixmap(mode, drawn, &option);
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const QPixmap drawn = scaledPixmap(rect.size(), mode, state, painter->device()->devicePixelRatio());
    const QSizeF size = drawn.deviceIndependentSize();
    painter->drawPixmap(
        QPointF(rect.x() + (rect.width() - size.width()) / 2, rect.y() + (rect.height() - size.height()) / 2),
        drawn);
  }
  QIconEngine* clone() const override { return new ScaledBitmapEngine(sets_); }
  QString key() const override { return QStringLiteral("ScaledBitmapEngine"); }

 private:
  std::array<QPixmap, layout::kBitmapSets> sets_;
};

}  // namespace

int BitmapSetForScale(qreal devicePixelRatio) {
  return layout::BitmapSetForDpi(qRound(devicePixelRatio * layout::kBaseDpi));
}

QIcon ScaledBitmapIcon(const QString& resourcePath, bool keyed) {
  std::array<QPixmap, layout::kBitmapSets> sets;
  for (int set = 0; set < layout::kBitmapSets; ++set) {
    const QString path = BitmapForScale(resourcePath, set);
    // A set not drawn yet stands in with the largest smaller one.
    if (set > 0 && !QFile::exists(path)) {
      sets[static_cast<std::size_t>(set)] = sets[static_cast<std::size_t>(set) - 1];
    } else {
      sets[static_cast<std::size_t>(set)] = keyed ? LoadGlyph(path) : QPixmap(path);
    }
  }
  if (sets[0].isNull()) return {};
  return QIcon(new ScaledBitmapEngine(std::move(sets)));
}

}  // namespace scaleboot::qt
