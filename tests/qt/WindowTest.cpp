// The Qt window on the offscreen platform: its state after start, the language switch, the drive list, the
// write run, the boxes, the hints and the error reporter.
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QToolTip>
#include <QtTest>
#include <map>
#include <memory>
#include <vector>

#include "FakeFileSystem.h"
#include "images/FirmwareImages.h"
#include "main/qt/ErrorReporter.h"
#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "main/qt/TGauge.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"
#include "ui/TestMark.h"
#include "ui/WindowLayout.h"
#include "ui/WindowTexts.h"

using namespace scaleboot;
using namespace scaleboot::qt;
using scaleboot::testing::FakeFileSystem;

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}
QString S(const std::string& text) {
  return QString::fromStdString(text);
}

const char* const kCardFiles[] = {"32yk2368.bin", "32yk936.bin", "yk2368.bin", "yk936.bin"};

// A drive-root list the test edits: each entry a root and its drive type.
class FakeDrives : public platform::DriveSource {
 public:
  std::vector<std::pair<std::string, unsigned>> drives;
  int listReads = 0;

  std::uint32_t LogicalDriveStrings(std::span<char> buffer) override {
    ++listReads;
    std::string list;
    for (const auto& drive : drives) {
      list += drive.first;
      list += '\0';
    }
    if (list.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(list.size() + 1);
    std::copy(list.begin(), list.end(), buffer.begin());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  unsigned DriveType(const std::string& root) override {
    for (const auto& drive : drives) {
      if (drive.first == root) return drive.second;
    }
    return 1;
  }
  void AddRemovable(const std::string& root) { drives.emplace_back(root, platform::kDriveRemovable); }
};

// Records what would be saved and opened.
class FakeDocuments : public platform::DocumentHost {
 public:
  std::map<std::string, std::vector<std::uint8_t>, std::less<>> resources;
  std::vector<std::string> saved, opened;

  std::optional<std::span<const std::uint8_t>> FindDocumentData(std::string_view name) override {
    const auto found = resources.find(name);
    if (found == resources.end()) return std::nullopt;
    return std::span<const std::uint8_t>(found->second);
  }
  std::string ProgramFolder() override { return "/opt/scaleboot/"; }
  SaveResult SaveFile(const std::string& path, std::span<const std::uint8_t>) override {
    saved.push_back(path);
    return {};
  }
  void ShellOpen(const std::string& path) override { opened.push_back(path); }
};

// A widget whose mouse handler fails, as any handler's code might.
class FailingWidget : public QWidget {
 protected:
  void mousePressEvent(QMouseEvent*) override { throw std::out_of_range("vector::_M_range_check"); }
};

std::vector<std::uint8_t> ReadWholeFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return {data.begin(), data.end()};
}

std::vector<std::uint8_t> ImageBytes(int index) {
  const auto bytes = FirmwareImages()[index].bytes;
  return {bytes.begin(), bytes.end()};
}

QRect Rect(const layout::Bounds& bounds) {
  return {bounds.left, bounds.top, bounds.width, bounds.height};
}

// The drive list's rectangle from the table, moved to ten pixels right of a label `labelWidth` wide.
QRect DriveListRect(int labelWidth) {
  QRect rect = Rect(layout::kComboBox1);
  rect.moveLeft(layout::kLabel1.left + labelWidth + kDriveListGap);
  return rect;
}

// Waits in the event loop that is running now (a box's, say) until `done` holds or `timeoutMs` has passed.
void PollUntil(const std::function<bool()>& done, int timeoutMs, const std::function<void()>& then) {
  auto* poll = new QTimer;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(poll, &QTimer::timeout, [=] {
    if (!done() && clock.elapsed() < timeoutMs) return;
    poll->deleteLater();
    poll->stop();
    then();
  });
  poll->start(10);
}

// The bar's colours as the layout table gives them.
const QRgb kFrame = Rgb(layout::kGaugeFrame);
const QRgb kBack = Rgb(layout::kGaugeBackground);
const QRgb kFill = Rgb(layout::kGaugeFill);

// The line a test build adds under the contents, after `lineBreak`, from the one place that words it.
QString TestLine(LanguageIndex language, const char* lineBreak) {
  return IsTestBuild() ? U(lineBreak) + S(std::string(TestWords(language, TestMark::Line))) : QString();
}

// The window's title, as this build composes it (a test build's carries the test mark).
QString RussianTitle() {
  return S(ComposeWindowTexts(kRussian, "2.18", IsTestBuild()).caption);
}
QString EnglishTitle() {
  return S(ComposeWindowTexts(kEnglish, "2.18", IsTestBuild()).caption);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 public:
  explicit WindowTest(ErrorReporter& reporter) : reporter_(reporter) {}

 private slots:
  void init();
  void cleanup();

  void errorBeforeAnyWindowUsesTheProgramName();
  void startStateIsTheRussianWindowOfTheControlTable();
  void frameIsCentredOnTheAvailableArea_data();
  void frameIsCentredOnTheAvailableArea();
  void listItemsHaveTheirFixedHeights();
  void accessibleNamesAndProgressValueFollowTheWindow();
  void tabReachesOnlyTheButtonAndTheDriveList();
  void languageSwitchRewritesTextsMovesTheListAndKeepsTheDrive();
  void removableDriveAppearsWithinATickAndIsSelected();
  void damagedImageKeepsTheButtonDisabledAndShowsTheCorruptionBox();
  void writeRunPutsExactFilesOnTheCardAndReportsSuccess();
  void writeRunPaintsTheBarInsideTheRunAndDropsItsInput();
  void mismatchDeletesTheFilesAndShowsTheFailureBox();
  void ioErrorShowsItsTextUnderTheTitleAndDisablesTheButton_data();
  void ioErrorShowsItsTextUnderTheTitleAndDisablesTheButton();
  void ioErrorFromTheRealFileLayer();
  void writeClickWithNoDriveWritesNothing();
  void contentsBoxInBothLanguages();
  void documentButtonsPickTheFileByLanguage();
  void errorInAHandlerIsShownAndTheProgramGoesOn();
  void realBoxIsApplicationModalAndTicksGoOn();
  void hintsShowQuicklyMoveAtOnceAndHideInTime();
  void gaugePaintsFrameFillAndOnlyOnWholePercent();
  void driveListShowsLongPathsWholeWhenDroppedDown();
  void driveListMenuEjectsTheSelectedDriveAndSaysSo();

 private:
  std::unique_ptr<TForm1> MakeForm(platform::ByteFileSystem& files,
                                   std::span<const FirmwareImage> images = FirmwareImages()) {
    auto form = std::make_unique<TForm1>(drives_, files, documents_, reporter_, images);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get())) return nullptr;
    return form;
  }
  // Selects a language the way a user does: the keyboard on the selector.
  static void ChooseLanguage(TForm1& form, int index) {
    form.ComboBoxEx1->setFocus();
    while (form.ComboBoxEx1->currentIndex() != index) {
      QTest::keyClick(form.ComboBoxEx1, index < form.ComboBoxEx1->currentIndex() ? Qt::Key_Up : Qt::Key_Down);
    }
  }
  static void CompareBox(const MessageBoxSpec& box, const QString& text, const QString& caption,
                         BoxIcon icon) {
    QCOMPARE(S(box.text), text);
    QCOMPARE(S(box.caption), caption);
    QCOMPARE(box.icon, icon);
  }

  ErrorReporter& reporter_;
  FakeDrives drives_;
  FakeDocuments documents_;
  FakeFileSystem fakeFiles_;
  std::vector<MessageBoxSpec> boxes_;
  std::function<void(const MessageBoxSpec&)> onBox_;
};

void WindowTest::init() {
  drives_ = FakeDrives();
  drives_.drives.emplace_back("/", 3);  // the system disk: never listed
  documents_ = FakeDocuments();
  fakeFiles_.files.clear();
  fakeFiles_.calls.clear();
  fakeFiles_.fault = nullptr;
  fakeFiles_.afterWrite = nullptr;
  boxes_.clear();
  onBox_ = nullptr;
  reporter_.SetPresenter([this](const MessageBoxSpec& box, QWidget*) {
    boxes_.push_back(box);
    if (onBox_) onBox_(box);
  });
}

void WindowTest::cleanup() {
  QToolTip::hideText();
}

void WindowTest::errorBeforeAnyWindowUsesTheProgramName() {
  // The program is qt_window_tests: its name up to the first full stop, the first character as it is and the
  // rest in lower case.
  QTimer::singleShot(0, [] { throw scaleboot::RaisedError("Cannot start"); });
  QTRY_COMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], U("Cannot start."), U("qt_window_tests"), BoxIcon::Error);
}

void WindowTest::startStateIsTheRussianWindowOfTheControlTable() {
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  TForm1& f = *form;

  QCOMPARE(f.windowTitle(), RussianTitle());
  QCOMPARE(S(reporter_.applicationTitle()), RussianTitle());
  QCOMPARE(f.Label1->text(), U("Выберите карту памяти"));
  QCOMPARE(f.Button1->text(), U("Записать загрузочный модуль на карту"));
  QCOMPARE(f.SpeedButton1->toolTip(), U("Версии ПО весов, включенные в модуль"));
  QCOMPARE(f.SpeedButton2->toolTip().split('\n'),
           QStringList({U("Инструкция по программированию весов с карты памяти"),
                        U("(для просмотра необходим Adobe Reader)")}));
  QCOMPARE(f.SpeedButton3->toolTip().split('\n'),
           QStringList({U("Изменения в ПО весов по сравнению с предыдущими версиями"),
                        U("(для просмотра необходим Adobe Reader)")}));

  QCOMPARE(f.ComboBoxEx1->count(), 2);
  QCOMPARE(f.ComboBoxEx1->itemText(0), U("ENG"));
  QCOMPARE(f.ComboBoxEx1->itemText(1), U("RUS"));
  QCOMPARE(f.ComboBoxEx1->currentIndex(), 1);
  QCOMPARE(f.state().Language, kRussian);
  QCOMPARE(f.state().CorruptCount, std::uint8_t{0});
  QVERIFY(!f.ComboBoxEx1->itemIcon(0).isNull());
  QVERIFY(!f.ComboBoxEx1->itemIcon(1).isNull());
  QCOMPARE(f.ComboBoxEx1->iconSize(), QSize(layout::kFlagWidth, layout::kFlagHeight));
  QCOMPARE(f.ComboBoxEx1->maxVisibleItems(), layout::kLanguageListRows);

  QCOMPARE(f.ComboBox1->count(), 0);
  QVERIFY(!f.ComboBox1->isEditable());
  QVERIFY(!f.Button1->isEnabled());
  QCOMPARE(f.Gauge1->model().position(), 0);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.ComboBox1));
  QVERIFY(f.Timer1->isActive());
  QCOMPARE(f.Timer1->interval(), 1000);

  // Geometry: the label sizes itself to its text, the drive list starts 10 pixels right of it and stays
  // clear of the language selector; every other control at its fixed rectangle.
  QCOMPARE(f.Label1->geometry(),
           QRect(layout::kLabel1.left, layout::kLabel1.top,
                 f.Label1->fontMetrics().horizontalAdvance(f.Label1->text()), layout::kLabel1.height));
  QCOMPARE(f.ComboBox1->geometry(), DriveListRect(f.Label1->width()));
  QVERIFY(f.ComboBox1->geometry().right() < layout::kComboBoxEx1.left);
  const std::pair<QWidget*, layout::Bounds> fixed[] = {
      {f.ComboBoxEx1, layout::kComboBoxEx1},   {f.Gauge1, layout::kGauge1},
      {f.Button1, layout::kButton1},           {f.SpeedButton2, layout::kSpeedButton2},
      {f.SpeedButton3, layout::kSpeedButton3}, {f.SpeedButton1, layout::kSpeedButton1}};
  for (const auto& [control, bounds] : fixed) QCOMPARE(control->geometry(), Rect(bounds));
  // Both languages' captions fit the button, with room for its bevel.
  for (const char* caption : {"Записать загрузочный модуль на карту", "Create module on card"}) {
    QVERIFY(f.Button1->fontMetrics().horizontalAdvance(U(caption)) + 8 <= f.Button1->width());
  }
  QCOMPARE(f.font().pixelSize(), layout::kFontPixels);

  // A fixed-size window with a close box and system menu, no minimise or maximise box, centred.
  const QSize client(layout::kClientWidth, layout::kClientHeight);
  QCOMPARE(f.size(), client);
  QCOMPARE(f.minimumSize(), client);
  QCOMPARE(f.maximumSize(), client);
  const Qt::WindowFlags flags = f.windowFlags();
  QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(flags & Qt::WindowCloseButtonHint);
  QVERIFY(flags & Qt::WindowSystemMenuHint);
  // The whole frame is centred on the available area. The offscreen platform draws a frame around windows; a
  // display without a window manager has none.
  if (QGuiApplication::platformName() == QLatin1String("offscreen"))
    QVERIFY(!f.windowHandle()->frameMargins().isNull());
  const QPoint offCentre = f.frameGeometry().center() - f.screen()->availableGeometry().center();
  QVERIFY2(std::abs(offCentre.x()) <= 1 && std::abs(offCentre.y()) <= 1,
           qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
  QVERIFY(!f.windowIcon().isNull());
  QCOMPARE(f.palette().color(f.backgroundRole()), f.palette().color(QPalette::Button));
  QVERIFY(f.autoFillBackground());

  // The image buttons: enabled, never focused, each glyph at its own size with its key colour transparent.
  const std::pair<TSpeedButton*, QSize> glyphs[] = {
      {f.SpeedButton2, QSize(13, 13)}, {f.SpeedButton3, QSize(16, 16)}, {f.SpeedButton1, QSize(16, 16)}};
  for (const auto& [button, size] : glyphs) {
    QVERIFY(button->isEnabled());
    QCOMPARE(button->focusPolicy(), Qt::NoFocus);
    QVERIFY(button->autoRaise());
    QCOMPARE(button->iconSize(), size);
    const QImage glyph = button->icon().pixmap(size).toImage();
    QCOMPARE(qAlpha(glyph.pixel(0, size.height() - 1)), 0);
    int opaque = 0;
    for (int y = 0; y < glyph.height(); ++y) {
      for (int x = 0; x < glyph.width(); ++x) opaque += qAlpha(glyph.pixel(x, y)) == 255;
    }
    QVERIFY(opaque > 10);
  }

  // The bar is empty: black frame, white inside.
  const QImage bar = f.Gauge1->grab().toImage();
  const QPoint last(layout::kGauge1.width - 1, layout::kGauge1.height - 1);
  QCOMPARE(bar.pixel(0, 0), kFrame);
  QCOMPARE(bar.pixel(last), kFrame);
  QCOMPARE(bar.pixel(1, 1), kBack);
  QCOMPARE(bar.pixel(last - QPoint(1, 1)), kBack);
}

void WindowTest::frameIsCentredOnTheAvailableArea_data() {
  QTest::addColumn<QRect>("available");
  QTest::addColumn<QMargins>("frame");
  QTest::newRow("no frame yet") << QRect(0, 0, 1024, 768) << QMargins();
  QTest::newRow("title bar and borders") << QRect(0, 0, 1024, 768) << QMargins(4, 23, 4, 4);
  QTest::newRow("panel at the top") << QRect(0, 32, 1920, 1048) << QMargins(1, 30, 1, 1);
  QTest::newRow("panel at the left") << QRect(64, 0, 1216, 1024) << QMargins(5, 29, 5, 5);
  QTest::newRow("second screen") << QRect(1920, 0, 1280, 984) << QMargins(0, 37, 0, 0);
}

void WindowTest::frameIsCentredOnTheAvailableArea() {
  QFETCH(QRect, available);
  QFETCH(QMargins, frame);
  const QSize client(layout::kClientWidth, layout::kClientHeight);
  const QRect whole(CentredFramePosition(available, client, frame), client.grownBy(frame));
  const QPoint offCentre = whole.center() - available.center();
  QVERIFY2(std::abs(offCentre.x()) <= 1 && std::abs(offCentre.y()) <= 1,
           qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
  QVERIFY(available.contains(whole));
}

void WindowTest::listItemsHaveTheirFixedHeights() {
  drives_.AddRemovable("/media/a/");
  drives_.AddRemovable("/media/b/");
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->Timer1Timer();
  const std::pair<QComboBox*, int> lists[] = {{form->ComboBox1, layout::kComboBox1ItemHeight},
                                              {form->ComboBoxEx1, layout::kComboBoxEx1ItemHeight}};
  for (const auto& [list, height] : lists) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    QTRY_VERIFY(view->isVisible());
    QCOMPARE(list->count(), 2);
    for (int row = 0; row < list->count(); ++row) {
      const QRect item = view->visualRect(list->model()->index(row, 0));
      QCOMPARE(item.height(), height);
      QVERIFY(item.width() > 0);
    }
    list->hidePopup();
  }
}

void WindowTest::accessibleNamesAndProgressValueFollowTheWindow() {
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  TForm1& f = *form;
  auto name = [](QWidget* widget) {
    QAccessibleInterface* object = QAccessible::queryAccessibleInterface(widget);
    return object != nullptr ? object->text(QAccessible::Name) : QStringLiteral("(no accessible object)");
  };
  // What a screen reader announces for each control, in the language shown.
  for (const int language : {kRussian, kEnglish}) {
    ChooseLanguage(f, language == kRussian ? 1 : 0);
    QCOMPARE(name(f.SpeedButton1), f.SpeedButton1->toolTip());
    QCOMPARE(name(f.SpeedButton2), f.SpeedButton2->toolTip().section('\n', 0, 0));
    QCOMPARE(name(f.SpeedButton3), f.SpeedButton3->toolTip().section('\n', 0, 0));
    QCOMPARE(name(f.ComboBox1), f.Label1->text());
  }
  QCOMPARE(name(f.SpeedButton2), U("Scales programming user manual"));
  QCOMPARE(name(f.SpeedButton3), U("Release notes - change log"));

  // The bar: a progress bar whose value is the whole percentage done.
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(f.Gauge1);
  QVERIFY(bar != nullptr);
  QCOMPARE(bar->role(), QAccessible::ProgressBar);
  QAccessibleValueInterface* value = bar->valueInterface();
  QVERIFY(value != nullptr);
  QCOMPARE(value->minimumValue().toInt(), 0);
  QCOMPARE(value->maximumValue().toInt(), 100);
  QCOMPARE(value->currentValue().toInt(), 0);
  f.Gauge1->SetMaximum(1754664);
  f.Gauge1->SetPosition(877332);
  QCOMPARE(value->currentValue().toInt(), 50);
  QCOMPARE(bar->text(QAccessible::Value), QStringLiteral("50%"));
}

void WindowTest::tabReachesOnlyTheButtonAndTheDriveList() {
  drives_.AddRemovable("/media/card/");
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->Timer1Timer();
  QVERIFY(form->Button1->isEnabled());

  form->Button1->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->ComboBox1));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->Button1));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->ComboBox1));

  // Clicking an image button leaves the focus where it was.
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->ComboBox1));
}

void WindowTest::languageSwitchRewritesTextsMovesTheListAndKeepsTheDrive() {
  drives_.AddRemovable("/media/a/");
  drives_.AddRemovable("/media/b/");
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  TForm1& f = *form;
  f.Timer1Timer();
  f.ComboBox1->setCurrentIndex(1);  // the user's choice
  const int russianListLeft = f.ComboBox1->x();
  const int russianLabelWidth = f.Label1->width();

  ChooseLanguage(f, 0);
  QCOMPARE(f.state().Language, kEnglish);
  QCOMPARE(f.windowTitle(), EnglishTitle());
  QCOMPARE(S(reporter_.applicationTitle()), EnglishTitle());
  QCOMPARE(f.Label1->text(), U("Select miniSD card"));
  QCOMPARE(f.Button1->text(), U("Create module on card"));
  QVERIFY(f.Label1->width() < russianLabelWidth);
  QCOMPARE(f.Label1->width(), f.Label1->fontMetrics().horizontalAdvance(f.Label1->text()));
  QCOMPARE(f.ComboBox1->geometry(), DriveListRect(f.Label1->width()));
  QVERIFY(f.ComboBox1->x() < russianListLeft);
  QCOMPARE(f.SpeedButton1->toolTip(), U("Included firmware versions"));
  QCOMPARE(f.SpeedButton2->toolTip(), U("Scales programming user manual\n(Adobe Reader needed)"));
  QCOMPARE(f.SpeedButton3->toolTip(), U("Release notes - change log\n(Adobe Reader needed)"));
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.ComboBox1));
  QCOMPARE(f.ComboBox1->currentIndex(), 1);
  QCOMPARE(f.ComboBox1->currentText(), U("/media/b/"));
  QCOMPARE(f.ComboBoxEx1->currentText(), U("ENG"));

  ChooseLanguage(f, 1);
  QCOMPARE(f.state().Language, kRussian);
  QCOMPARE(f.windowTitle(), RussianTitle());
  QCOMPARE(f.Label1->text(), U("Выберите карту памяти"));
  QCOMPARE(f.ComboBox1->x(), russianListLeft);
  QCOMPARE(f.SpeedButton1->toolTip(), U("Версии ПО весов, включенные в модуль"));
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.ComboBox1));
  QCOMPARE(f.ComboBox1->currentText(), U("/media/b/"));
  QVERIFY(boxes_.empty());
}

void WindowTest::removableDriveAppearsWithinATickAndIsSelected() {
  // The suite's one wait for the real drive scan: the timer's own tick, about a second after start.
  QElapsedTimer sinceStart;
  sinceStart.start();
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->Timer1Timer();  // only the system disk: nothing listed
  QCOMPARE(form->ComboBox1->count(), 0);
  QVERIFY(!form->Button1->isEnabled());
  const int readsBefore = drives_.listReads;

  drives_.AddRemovable("/media/user/CARD/");
  QTRY_COMPARE_WITH_TIMEOUT(form->ComboBox1->count(), 1, 2500);
  QVERIFY2(sinceStart.elapsed() >= 900, qPrintable(QString::number(sinceStart.elapsed())));
  QCOMPARE(drives_.listReads, readsBefore + 1);
  QCOMPARE(form->ComboBox1->currentText(), U("/media/user/CARD/"));
  QVERIFY(form->Button1->isEnabled());

  drives_.drives.pop_back();  // the card reader is unplugged
  form->Timer1Timer();
  QCOMPARE(form->ComboBox1->count(), 0);
  QVERIFY(!form->Button1->isEnabled());
}

void WindowTest::damagedImageKeepsTheButtonDisabledAndShowsTheCorruptionBox() {
  ImageTable damaged = FirmwareImages();
  std::vector<std::uint8_t> bytes = ImageBytes(1);
  bytes[100] ^= 0x01;
  damaged[1].bytes = bytes;
  drives_.AddRemovable("/media/card/");
  auto form = MakeForm(fakeFiles_, damaged);
  QVERIFY(form);
  QCOMPARE(form->state().CorruptCount, std::uint8_t{1});
  QVERIFY(boxes_.empty());  // start-up says nothing about it

  form->Timer1Timer();
  QCOMPARE(form->ComboBox1->count(), 1);
  QVERIFY(!form->Button1->isEnabled());

  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], U("Данные повреждены! Создание загрузочного модуля невозможно!"),
             U("Ошибка контрольных сумм"), BoxIcon::Error);
  ChooseLanguage(*form, 0);
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{2});
  CompareBox(boxes_[1], U("Data is corrupted! Unable to create module!"), U("Checksum error"),
             BoxIcon::Error);
}

void WindowTest::writeRunPutsExactFilesOnTheCardAndReportsSuccess() {
  QTemporaryDir card;
  QVERIFY(card.isValid());
  // An older, longer copy of one file is cut to the image's length.
  {
    QFile old(card.filePath("yk936.bin"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
  }
  const std::string root = card.path().toStdString() + "/";
  drives_.AddRemovable(root);
  platform::PosixByteFileSystem files(platform::OpenAnyFolder);  // a plain folder stands for the card
  auto form = MakeForm(files);
  QVERIFY(form);
  form->Timer1Timer();
  QCOMPARE(form->ComboBox1->currentText(), S(root));
  QVERIFY(form->Button1->isEnabled());

  bool enabledAtBox = false;
  int positionAtBox = -1;
  onBox_ = [&](const MessageBoxSpec&) {
    enabledAtBox = form->Button1->isEnabled();
    positionAtBox = form->Gauge1->model().position();
  };
  const int paintsBefore = form->Gauge1->paintCount();
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  const int paints = form->Gauge1->paintCount() - paintsBefore;

  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], U("Запись загрузочного модуля на карту завершена успешно"), U("Запись завершена"),
             BoxIcon::Information);
  QVERIFY(enabledAtBox);
  QCOMPARE(positionAtBox, 0);
  QVERIFY(form->Button1->isEnabled());
  QCOMPARE(form->Gauge1->model().position(), 0);
  QCOMPARE(form->Gauge1->model().maximum(), 1754664);
  // One repaint for the new range, one per whole percent, one for the return to empty.
  QVERIFY2(paints >= 100 && paints <= 105, qPrintable(QString::number(paints)));

  const std::uint32_t lengths[] = {422916, 15750, 422916, 15750};
  for (int i = 0; i < 4; ++i) {
    const std::vector<std::uint8_t> written = ReadWholeFile(card.filePath(kCardFiles[i]));
    QCOMPARE(written.size(), std::size_t{lengths[i]});
    QVERIFY2(written == ImageBytes(i), kCardFiles[i]);
  }
}

void WindowTest::writeRunPaintsTheBarInsideTheRunAndDropsItsInput() {
  drives_.AddRemovable("/media/card/");
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  ChooseLanguage(*form, 0);
  form->Timer1Timer();
  QVERIFY(form->Button1->isEnabled());
  form->Timer1->setInterval(20);  // ticks fall due often, so one does inside the run

  const int paintsBefore = form->Gauge1->paintCount();
  int paintsAtVerify = -1, percentAtVerify = -1, listReadsAtStart = -1, listReadsAtEnd = -1;
  bool enabledDuringRun = true;
  fakeFiles_.fault = [&](FakeFileSystem::Op op, const std::string& path, std::size_t index) {
    if (op == FakeFileSystem::Op::Create && path == "/media/card/32yk2368.bin") {
      listReadsAtStart = drives_.listReads;
      enabledDuringRun = form->Button1->isEnabled();
      // A click on the contents button and an Enter press, made while the run holds the window.
      const QPointF inside(5, 5);
      const QPointF global = form->SpeedButton1->mapToGlobal(inside);
      QCoreApplication::postEvent(
          form->SpeedButton1,
          new QMouseEvent(QEvent::MouseButtonPress, inside, global, Qt::LeftButton, Qt::LeftButton, {}));
      QCoreApplication::postEvent(
          form->SpeedButton1,
          new QMouseEvent(QEvent::MouseButtonRelease, inside, global, Qt::LeftButton, Qt::NoButton, {}));
      QCoreApplication::postEvent(form->ComboBox1, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, {}));
    }
    if (op == FakeFileSystem::Op::Open && path == "/media/card/32yk2368.bin") {
      paintsAtVerify = form->Gauge1->paintCount() - paintsBefore;
      percentAtVerify = form->Gauge1->model().PercentDone();
      QThread::msleep(100);  // several ticks fall due inside the run
    }
    if (op == FakeFileSystem::Op::Close && path == "/media/card/yk936.bin" && index == 0) {
      listReadsAtEnd = drives_.listReads;
    }
    return 0;
  };
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  QTest::qWait(50);  // anything still queued would be handled now

  QVERIFY(!enabledDuringRun);
  // Half way the bar has been repainted for the new range and each of the first fifty percent, without the
  // event loop having run.
  QCOMPARE(percentAtVerify, 50);
  QCOMPARE(paintsAtVerify, 51);
  QCOMPARE(listReadsAtEnd, listReadsAtStart);  // no tick during the run
  QCOMPARE(boxes_.size(), std::size_t{1});     // the click made during the run did nothing
  CompareBox(boxes_[0], U("Module creation completed successfully"), U("Creation completed"),
             BoxIcon::Information);
  QCOMPARE(form->ComboBox1->currentIndex(), 0);
}

void WindowTest::mismatchDeletesTheFilesAndShowsTheFailureBox() {
  drives_.AddRemovable("/media/card/");
  fakeFiles_.afterWrite = [](const std::string& path, std::vector<std::uint8_t>& data) {
    if (path == "/media/card/yk936.bin") data[15749] ^= 0xFF;  // the card damaged the last byte
  };
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->Timer1Timer();

  QTest::mouseClick(form->Button1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  const QString failed = U("Запись загрузочного модуля на карту завершена с ошибками!");
  CompareBox(boxes_[0], failed, failed, BoxIcon::Error);
  QVERIFY(fakeFiles_.files.empty());
  std::vector<std::string> deleted;
  for (const auto& call : fakeFiles_.calls) {
    if (call.op == FakeFileSystem::Op::Delete) deleted.push_back(call.path);
  }
  QCOMPARE(deleted.size(), std::size_t{4});
  for (int i = 0; i < 4; ++i) QCOMPARE(S(deleted[i]), U("/media/card/") + kCardFiles[i]);
  QVERIFY(form->Button1->isEnabled());
  QCOMPARE(form->Gauge1->model().position(), 0);
}

void WindowTest::ioErrorShowsItsTextUnderTheTitleAndDisablesTheButton_data() {
  QTest::addColumn<int>("op");
  QTest::addColumn<QString>("file");
  QTest::addColumn<int>("index");
  QTest::addColumn<int>("status");
  QTest::addColumn<int>("language");
  QTest::addColumn<QString>("text");
  using Op = FakeFileSystem::Op;
  QTest::newRow("create refused") << int(Op::Create) << QStringLiteral("32yk2368.bin") << 0 << 5 << 1
                                  << QStringLiteral("File access denied.");
  QTest::newRow("write-protected mid-file") << int(Op::Write) << QStringLiteral("yk2368.bin") << 200000 << 19
                                            << 0 << QStringLiteral("I/O error 19.");
  QTest::newRow("card gone at verify")
      << int(Op::Open) << QStringLiteral("32yk936.bin") << 0 << 21 << 1 << QStringLiteral("I/O error 21.");
  QTest::newRow("short read") << int(Op::Read) << QStringLiteral("yk936.bin") << 15000
                              << platform::ByteFileSystem::kShortTransfer << 0
                              << QStringLiteral("Read beyond end of file.");
  QTest::newRow("disk full") << int(Op::Write) << QStringLiteral("32yk936.bin") << 7
                             << platform::ByteFileSystem::kShortTransfer << 1 << QStringLiteral("Disk full.");
}

void WindowTest::ioErrorShowsItsTextUnderTheTitleAndDisablesTheButton() {
  QFETCH(int, op);
  QFETCH(QString, file);
  QFETCH(int, index);
  QFETCH(int, status);
  QFETCH(int, language);
  QFETCH(QString, text);
  const std::string failingPath = "/media/card/" + file.toStdString();
  fakeFiles_.fault = [&](FakeFileSystem::Op o, const std::string& path, std::size_t i) {
    return int(o) == op && path == failingPath && i == std::size_t(index) ? status : 0;
  };
  drives_.AddRemovable("/media/card/");
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  if (language == kEnglish) ChooseLanguage(*form, 0);
  form->Timer1Timer();

  QTest::mouseClick(form->Button1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], text, language == kEnglish ? EnglishTitle() : RussianTitle(), BoxIcon::Error);
  QVERIFY(!form->Button1->isEnabled());
  QVERIFY(form->Gauge1->model().position() > 0 || op == int(FakeFileSystem::Op::Create));
  for (const auto& call : fakeFiles_.calls) QVERIFY(call.op != FakeFileSystem::Op::Delete);

  // The button comes back only when the drive list changes.
  form->Timer1Timer();
  QVERIFY(!form->Button1->isEnabled());
  drives_.AddRemovable("/media/other/");
  form->Timer1Timer();
  QVERIFY(form->Button1->isEnabled());
}

void WindowTest::ioErrorFromTheRealFileLayer() {
  // A "card" whose root lies under a regular file: the system refuses the path itself.
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QFile blocker(dir.filePath("card"));
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  drives_.AddRemovable(dir.filePath("card").toStdString() + "/");
  platform::PosixByteFileSystem files(platform::OpenAnyFolder);  // a plain folder stands for the card
  auto form = MakeForm(files);
  QVERIFY(form);
  form->Timer1Timer();
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], U("Invalid filename."), RussianTitle(), BoxIcon::Error);
  QVERIFY(!form->Button1->isEnabled());
}

void WindowTest::writeClickWithNoDriveWritesNothing() {
  // A click that reaches the handler with the list empty: refused before the button or the bar change, and
  // nothing is written relative to the working folder.
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->Timer1Timer();
  QCOMPARE(form->ComboBox1->currentText(), QString());
  form->Button1->setEnabled(true);
  form->Button1Click();
  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], U("Invalid filename."), RussianTitle(), BoxIcon::Error);
  QVERIFY(fakeFiles_.calls.empty());
  QVERIFY(form->Button1->isEnabled());
  QCOMPARE(form->Gauge1->model().maximum(), 100);
}

void WindowTest::contentsBoxInBothLanguages() {
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  QVERIFY(!form->Button1->isEnabled());  // works with no drive and a disabled button
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0],
             U("Версии прошивок: \r\nP321835 - для весов ЮКС-Л(1)Д\r\nP282935 - для весов ЮКС-С(1), "
               "ЮКС-Л(1), ДГ..К5") +
                 TestLine(kRussian, "\r\n"),
             U("Содержимое модуля"), BoxIcon::Information);
  ChooseLanguage(*form, 0);
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{2});
  CompareBox(boxes_[1],
             U("Firmware versions: \r\nP321835 - for ZR-LN(E) scales\r\nP282935 - for ZR-SN(E) scales") +
                 TestLine(kEnglish, "\r\n"),
             U("Module contains"), BoxIcon::Information);
}

void WindowTest::documentButtonsPickTheFileByLanguage() {
  for (const char* name : {"Instruction", "Instruction_eng", "Changes"})
    documents_.resources[name] = {'%', 'P'};
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
  QTest::mouseClick(form->SpeedButton3, Qt::LeftButton);
  ChooseLanguage(*form, 0);
  QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
  QTest::mouseClick(form->SpeedButton3, Qt::LeftButton);
  QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);  // again: saved and opened again

  const std::vector<std::string> expected = {
      "/opt/scaleboot/Instruction.pdf", "/opt/scaleboot/Changes.pdf", "/opt/scaleboot/Instruction_eng.pdf",
      "/opt/scaleboot/Changes.pdf", "/opt/scaleboot/Instruction_eng.pdf"};
  QVERIFY(documents_.saved == expected);
  QVERIFY(documents_.opened == expected);
  QVERIFY(boxes_.empty());
}

void WindowTest::errorInAHandlerIsShownAndTheProgramGoesOn() {
  // The documents are missing from this build: the click ends in an error box, nothing is opened.
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{1});
  CompareBox(boxes_[0], U("Resource Instruction not found."), RussianTitle(), BoxIcon::Error);
  QVERIFY(documents_.opened.empty());

  // An error of any kind escaping an event handler reaches the box through the event dispatch.
  FailingWidget failing;
  failing.resize(40, 40);
  failing.show();
  QVERIFY(QTest::qWaitForWindowExposed(&failing));
  QTest::mousePress(&failing, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(&failing, Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(boxes_.size(), std::size_t{2});
  CompareBox(boxes_[1], U("vector::_M_range_check."), RussianTitle(), BoxIcon::Error);

  // And the program goes on: ticks still arrive (brought closer together here) and the buttons still work.
  form->Timer1->setInterval(20);
  drives_.AddRemovable("/media/card/");
  QTRY_COMPARE(form->ComboBox1->count(), 1);
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  QCOMPARE(boxes_.size(), std::size_t{3});
  QCOMPARE(S(boxes_[2].caption), U("Содержимое модуля"));
}

void WindowTest::realBoxIsApplicationModalAndTicksGoOn() {
  reporter_.SetPresenter(PresentMessageBox);
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);

  QPointer<QMessageBox> box;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  Qt::WindowModality modality = Qt::NonModal;
  int countWhileOpen = -1;
  bool secondBoxOpened = false;
  auto boxOpen = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; };
  PollUntil(boxOpen, 5000, [&] {
    box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    modality = box->windowModality();
    // Input to the window is blocked while the box is open, but the timer goes on ticking (closer together
    // here).
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, form->SpeedButton1->geometry().center());
    form->Timer1->setInterval(20);
    drives_.AddRemovable("/media/card/");
    PollUntil([&] { return form->ComboBox1->count() > 0; }, 5000,
              [&] {
                countWhileOpen = form->ComboBox1->count();
                secondBoxOpened = QApplication::activeModalWidget() != box;
                if (box) box->button(QMessageBox::Ok)->click();
              });
  });
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);

  QVERIFY(box.isNull());  // closed by its OK button, the only one
  QCOMPARE(title, U("Содержимое модуля"));
  QCOMPARE(
      text,
      U("Версии прошивок: \nP321835 - для весов ЮКС-Л(1)Д\nP282935 - для весов ЮКС-С(1), ЮКС-Л(1), ДГ..К5") +
          TestLine(kRussian, "\n"));
  QCOMPARE(icon, QMessageBox::Information);
  QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(modality, Qt::ApplicationModal);
  QCOMPARE(countWhileOpen, 1);
  QVERIFY(!secondBoxOpened);
  QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->ComboBox1));

  // An error box: the error icon, the title as caption.
  PollUntil(boxOpen, 5000, [&] {
    if (auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      title = open->windowTitle();
      text = open->text();
      icon = open->icon();
      open->button(QMessageBox::Ok)->click();
    }
  });
  QTest::mouseClick(form->SpeedButton3, Qt::LeftButton);
  QCOMPARE(title, RussianTitle());
  QCOMPARE(text, U("Resource Changes not found."));
  QCOMPARE(icon, QMessageBox::Critical);
}

void WindowTest::hintsShowQuicklyMoveAtOnceAndHideInTime() {
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  QStyle* style = form->SpeedButton2->style();
  QCOMPARE(style->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, form->SpeedButton2), 100);
  // The window's hints stay five seconds; here, to spare the wait, a shorter time of the same kind.
  constexpr int kHideMs = 600;
  for (TSpeedButton* button : {form->SpeedButton1, form->SpeedButton2, form->SpeedButton3}) {
    QCOMPARE(button->hintHideTime(), 5000);
    button->SetHintHideTime(kHideMs);
  }

  QTest::mouseMove(form.get(), QPoint(100, 40));
  QTest::mouseMove(form->SpeedButton2, QPoint(12, 12));
  QElapsedTimer sinceRest;
  sinceRest.start();
  QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 2000);
  // Well before the toolkit's own pause of 700 ms.
  QVERIFY2(sinceRest.elapsed() < 600, qPrintable(QString::number(sinceRest.elapsed())));
  QCOMPARE(QToolTip::text(),
           U("Инструкция по программированию весов с карты памяти\n(для просмотра необходим Adobe Reader)"));
  QElapsedTimer sinceShown;
  sinceShown.start();

  // The neighbour's hint replaces it at once.
  QTest::mouseMove(form->SpeedButton3, QPoint(12, 12));
  QVERIFY(QToolTip::isVisible());
  QCOMPARE(
      QToolTip::text(),
      U("Изменения в ПО весов по сравнению с предыдущими версиями\n(для просмотра необходим Adobe Reader)"));
  sinceShown.restart();

  QTest::qWait(kHideMs / 2);
  QVERIFY(QToolTip::isVisible());
  QTRY_VERIFY_WITH_TIMEOUT(!QToolTip::isVisible(), 4000);
  QVERIFY2(sinceShown.elapsed() >= kHideMs * 9 / 10, qPrintable(QString::number(sinceShown.elapsed())));

  // Resting on the same button does not bring it back; leaving and coming back does.
  QTest::mouseMove(form->SpeedButton3, QPoint(14, 14));
  QTest::qWait(400);
  QVERIFY(!QToolTip::isVisible());
  QTest::mouseMove(form.get(), QPoint(100, 40));
  QTest::mouseMove(form->SpeedButton1, QPoint(12, 12));
  QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 2000);
  QCOMPARE(QToolTip::text(), U("Версии ПО весов, включенные в модуль"));
}

void WindowTest::gaugePaintsFrameFillAndOnlyOnWholePercent() {
  TGauge gauge;
  const int width = layout::kGauge1.width, height = layout::kGauge1.height;
  gauge.resize(width, height);
  gauge.show();
  QVERIFY(QTest::qWaitForWindowExposed(&gauge));
  QApplication::processEvents();

  int paints = gauge.paintCount();
  gauge.SetMaximum(1000);  // same position, new range: redrawn at once
  QCOMPARE(gauge.paintCount(), paints + 1);
  gauge.SetPosition(500);
  QCOMPARE(gauge.paintCount(), paints + 2);
  gauge.SetPosition(509);  // still 50 %
  gauge.AddProgress(0);
  QCOMPARE(gauge.paintCount(), paints + 2);
  gauge.AddProgress(1);  // 51 %
  QCOMPARE(gauge.paintCount(), paints + 3);
  gauge.SetPosition(2000);  // clamped to the maximum
  QCOMPARE(gauge.model().position(), 1000);

  // 50 % of the inner width in whole pixels of teal (147 of 295 for the window's bar).
  const int innerWidth = width - 2, filled = innerWidth / 2;
  gauge.SetPosition(500);
  QImage image = gauge.grab().toImage();
  for (int x = 0; x < width; ++x) {
    QCOMPARE(image.pixel(x, 0), kFrame);
    QCOMPARE(image.pixel(x, height - 1), kFrame);
  }
  for (int y = 0; y < height; ++y) {
    QCOMPARE(image.pixel(0, y), kFrame);
    QCOMPARE(image.pixel(width - 1, y), kFrame);
  }
  for (int y = 1; y < height - 1; ++y) {
    QCOMPARE(image.pixel(1, y), kFill);
    QCOMPARE(image.pixel(filled, y), kFill);
    QCOMPARE(image.pixel(filled + 1, y), kBack);
    QCOMPARE(image.pixel(innerWidth, y), kBack);
  }
  gauge.SetPosition(1000);
  image = gauge.grab().toImage();
  QCOMPARE(image.pixel(innerWidth, height / 2), kFill);
  QCOMPARE(image.pixel(width - 1, height / 2), kFrame);
  gauge.SetPosition(0);
  image = gauge.grab().toImage();
  QCOMPARE(image.pixel(1, height / 2), kBack);
}

void WindowTest::driveListShowsLongPathsWholeWhenDroppedDown() {
  const std::string longPath = "/media/technician/FIRMWARE-CARD-2024-SPARE/";
  drives_.AddRemovable("/media/a/");
  drives_.AddRemovable(longPath);
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->Timer1Timer();
  QCOMPARE(form->ComboBox1->width(), layout::kComboBox1.width);
  form->ComboBox1->showPopup();
  QAbstractItemView* list = form->ComboBox1->view();
  QTRY_VERIFY(list->isVisible());
  QVERIFY(list->width() >= list->fontMetrics().horizontalAdvance(S(longPath)));
  form->ComboBox1->hidePopup();
  QCOMPARE(form->ComboBox1->itemText(1), S(longPath));
}

void WindowTest::driveListMenuEjectsTheSelectedDriveAndSaysSo() {
  struct RecordingEjector : platform::Ejector {
    platform::EjectResult answer;
    std::vector<std::string> roots;
    platform::EjectResult Eject(const std::string& root, const platform::EjectOptions&) override {
      roots.push_back(root);
      return answer;
    }
  } ejector;
  drives_.AddRemovable("/media/user/CARD/");
  auto form = MakeForm(fakeFiles_);
  QVERIFY(form);
  form->SetEjector(ejector);
  form->Timer1Timer();
  QCOMPARE(form->ComboBox1->currentText(), U("/media/user/CARD/"));

  using Status = platform::EjectResult::Status;
  const auto viaMouse = [&] {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            form->ComboBox1->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form->ComboBox1, &event);
  };
  const auto viaKey = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
    return [&, key, modifiers] { QTest::keyClick(form->ComboBox1, key, modifiers); };
  };
  const struct {
    std::function<void()> open;
    int language;
    platform::EjectResult answer;
    QString item, text;
    BoxIcon icon;
  } cases[] = {
      {viaKey(Qt::Key_F10, Qt::ShiftModifier),
       kRussian,
       {Status::Ejected},
       U("Извлечь"),
       U("Карту в /media/user/CARD/ можно извлечь."),
       BoxIcon::Information},
      {viaKey(Qt::Key_Menu, Qt::NoModifier),
       kEnglish,
       {Status::InUse, true, {"cat (5)"}},
       U("Eject"),
       U("The card in /media/user/CARD/ could not be ejected: in use by another program: cat (5)."),
       BoxIcon::Error},
      {viaMouse,
       kEnglish,
       {Status::Ejected, false},
       U("Eject"),
       U("The card in /media/user/CARD/ may be removed. The slot cannot push it out: pull it by hand."),
       BoxIcon::Information},
  };
  for (const auto& c : cases) {
    ChooseLanguage(*form, c.language);
    form->ComboBox1->setFocus();
    ejector.answer = c.answer;
    boxes_.clear();
    QString item;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      item = menu->actions().value(0)->text();
      menu->setActiveAction(menu->actions().value(0));
      QTest::keyClick(menu, Qt::Key_Return);
    });
    c.open();
    QTRY_COMPARE(boxes_.size(), std::size_t{1});
    QCOMPARE(item, c.item);
    QCOMPARE(S(boxes_[0].text), c.text);
    QCOMPARE(boxes_[0].icon, c.icon);
  }
  QCOMPARE(ejector.roots, std::vector<std::string>(3, "/media/user/CARD/"));
}

int main(int argc, char** argv) {
  ErrorReporter reporter(FallbackApplicationTitle(platform::OwnExecutablePath()));
  TApplication application(reporter, argv[0]);
  WindowTest test(reporter);
  return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
