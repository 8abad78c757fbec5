// The real window at the display scale of QT_SCALE_FACTOR (run at 1.25, 1.5 and 2): each image button and the
// chosen flag show the bitmap drawn for that scale pixel for pixel, never the 100 % one enlarged.
#include <QtTest>

#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"

using namespace scaleboot;

// Whether the widget as drawn holds the bitmap file, except where a glyph has its transparent colour.
bool Shows(QWidget& widget, const QString& file, bool keyed) {
  const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage bitmap =
      QImage(QStringLiteral(SCALEBOOT_SOURCE_DIR "/resources/") + file).convertToFormat(QImage::Format_RGB32);
  const QRgb key = bitmap.pixel(0, bitmap.height() - 1);
  for (int top = 0; top + bitmap.height() <= shown.height(); ++top) {
    for (int left = 0; left + bitmap.width() <= shown.width(); ++left) {
      bool same = true;
      for (int y = 0; same && y < bitmap.height(); ++y) {
        for (int x = 0; same && x < bitmap.width(); ++x) {
          same = (keyed && bitmap.pixel(x, y) == key) || shown.pixel(left + x, top + y) == bitmap.pixel(x, y);
        }
      }
      if (same) return true;
    }
  }
  return false;
}

int main(int argc, char** argv) {
  qt::ErrorReporter reporter(FallbackApplicationTitle(platform::OwnExecutablePath()));
  qt::TApplication application(reporter, argv[0]);
  platform::MountDriveSource drives;
  platform::PosixByteFileSystem files;
  platform::LinuxDocumentHost documents("/nowhere/", [](const std::string&) {});
  qt::TForm1 form(drives, files, documents, reporter);
  form.show();
  const QString folder =
      QString::number(qRound(qEnvironmentVariable("QT_SCALE_FACTOR").toDouble() * 100)) + u'/';
  int failed = QTest::qWaitForWindowExposed(&form) ? 0 : 1;
  const std::pair<QWidget*, const char*> shown[] = {{form.SpeedButton2, "glyphs/%1manual.bmp"},
                                                    {form.SpeedButton3, "glyphs/%1changes.bmp"},
                                                    {form.SpeedButton1, "glyphs/%1contents.bmp"},
                                                    {form.ComboBoxEx1, "flags/%1russia.bmp"}};
  for (const auto& [widget, file] : shown) {
    if (!Shows(*widget, QString::fromLatin1(file).arg(folder), widget != form.ComboBoxEx1)) {
      qWarning("FAIL: %s not drawn at %.2f", qPrintable(QString::fromLatin1(file).arg(folder)),
               form.devicePixelRatio());
      ++failed;
    }
  }
  return failed;
}
