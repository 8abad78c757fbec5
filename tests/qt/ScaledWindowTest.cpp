// The Qt window at the display scale of QT_SCALE_FACTOR (run at 1.25, 1.5 and 2): each image button and the
// language flag draw the bitmap made for that scale, pixel for pixel, never the 16-pixel one enlarged.
#include <QApplication>
#include <QtTest>

#include "FakeFileSystem.h"
#include "main/qt/ErrorReporter.h"
#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"

using namespace scaleboot;
using namespace scaleboot::qt;

namespace {

class NoDrives : public platform::DriveSource {
 public:
  std::uint32_t LogicalDriveStrings(std::span<char> buffer) override {
    if (!buffer.empty()) buffer[0] = '\0';
    return 0;
  }
  unsigned DriveType(const std::string&) override { return 1; }
};

class NoDocuments : public platform::DocumentHost {
 public:
  std::optional<std::span<const std::uint8_t>> FindDocumentData(std::string_view) override { return {}; }
  std::string ProgramFolder() override { return "/nowhere/"; }
  SaveResult SaveFile(const std::string&, std::span<const std::uint8_t>) override { return {}; }
  void ShellOpen(const std::string&) override {}
};

// Whether `drawn` holds `source` somewhere, pixel for pixel, where the source is not `key` (the transparent
// colour of a glyph; an invalid key compares every pixel).
bool Holds(const QImage& drawn, const QImage& source, QRgb key, bool keyed) {
  for (int top = 0; top + source.height() <= drawn.height(); ++top) {
    for (int left = 0; left + source.width() <= drawn.width(); ++left) {
      bool same = true;
      for (int y = 0; same && y < source.height(); ++y) {
        for (int x = 0; same && x < source.width(); ++x) {
          const QRgb s = source.pixel(x, y);
          same = (keyed && s == key) || (drawn.pixel(left + x, top + y) & 0xffffff) == (s & 0xffffff);
        }
      }
      if (same) return true;
    }
  }
  return false;
}

QImage Drawn(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Source(const QString& relative) {
  return QImage(QStringLiteral(SCALEBOOT_SOURCE_DIR "/resources/") + relative)
      .convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class ScaledWindowTest : public QObject {
  Q_OBJECT
 public:
  explicit ScaledWindowTest(ErrorReporter& reporter) : reporter_(reporter) {}

 private slots:
  void glyphsAndFlagsAreTheBitmapsMadeForTheScale();

 private:
  ErrorReporter& reporter_;
};

void ScaledWindowTest::glyphsAndFlagsAreTheBitmapsMadeForTheScale() {
  const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
  const struct {
    qreal scale;
    const char* folder;
  } sets[] = {{1.25, "125/"}, {1.5, "150/"}, {2.0, "200/"}};
  const auto set =
      std::find_if(std::begin(sets), std::end(sets), [&](const auto& s) { return s.scale == scale; });
  QVERIFY2(set != std::end(sets), "QT_SCALE_FACTOR is 1.25, 1.5 or 2");

  NoDrives drives;
  testing::FakeFileSystem files;
  NoDocuments documents;
  TForm1 form(drives, files, documents, reporter_);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QCOMPARE(form.devicePixelRatio(), scale);

  const QString folder = QString::fromLatin1(set->folder);
  const struct {
    TSpeedButton* button;
    const char* name;
  } buttons[] = {{form.SpeedButton2, "manual.bmp"},
                 {form.SpeedButton3, "changes.bmp"},
                 {form.SpeedButton1, "contents.bmp"}};
  for (const auto& b : buttons) {
    const QImage drawn = Drawn(*b.button);
    QCOMPARE(drawn.size(), QSize(qRound(25 * scale), qRound(25 * scale)));
    const QImage source = Source("glyphs/" + folder + b.name);
    QVERIFY2(!source.isNull(), b.name);
    QVERIFY2(Holds(drawn, source, source.pixel(0, source.height() - 1), true),
             qPrintable(QStringLiteral("%1 drawn from the %2 source").arg(b.name, folder)));
  }
  const char* const flags[] = {"uk.bmp", "russia.bmp"};
  for (int language = 0; language < 2; ++language) {
    form.ComboBoxEx1->setCurrentIndex(language);
    const QImage source = Source("flags/" + folder + flags[language]);
    QVERIFY2(Holds(Drawn(*form.ComboBoxEx1), source, 0, false),
             qPrintable(QStringLiteral("%1 drawn from the %2 source").arg(flags[language], folder)));
  }
}

int main(int argc, char** argv) {
  ErrorReporter reporter(FallbackApplicationTitle(platform::OwnExecutablePath()));
  TApplication application(reporter, argv[0]);
  ScaledWindowTest test(reporter);
  return QTest::qExec(&test, argc, argv);
}

#include "ScaledWindowTest.moc"
