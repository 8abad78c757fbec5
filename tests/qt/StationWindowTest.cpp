// The station window on the offscreen platform, opened from the main window's drive list menu, over scripted
// card slots and cards in memory: a card written, a stop that waits for the card in progress, the record
// file, and the menu item greyed when the images are damaged.
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#include "FakeDrives.h"
#include "FakeFileSystem.h"
#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"
#include "ui/MessageTable.h"
#pragma push_macro("slots")
#undef slots
#include "ui/StationTexts.h"
#pragma pop_macro("slots")

using namespace scaleboot;
using namespace scaleboot::qt;
using scaleboot::testing::FakeFileSystem;

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The readers as the test sets them; a card in one is a root and an identity.
struct ScriptedSlots : platform::CardSlotSource {
  std::vector<platform::CardSlot> now;
  std::vector<platform::CardSlot> Poll(std::span<const std::string>) override { return now; }
  platform::VolumeFacts Describe(const std::string&) override { return {}; }
};

struct AnsweringEjector : platform::Ejector {
  platform::EjectResult answer{platform::EjectResult::Status::Ejected};
  platform::EjectResult Eject(const std::string&, const platform::EjectOptions&) override { return answer; }
};

const platform::CardSlot kCard{"/media/card", "/media/card/", "card-1"};

}  // namespace

class StationWindowTest : public QObject {
  Q_OBJECT

 public:
  explicit StationWindowTest(ErrorReporter& reporter) : reporter_(reporter) {}

 private slots:
  void init();
  void cardInsertedAfterTheStartIsWrittenWithARowStatusAndSound();
  void stopButtonEscAndCloseWaitForTheCardInProgress();
  void recordFileIsAppendedToOrRefusedInABoxOverTheStation();
  void menuItemOpensTheStationUnlessTheImagesAreDamaged();

 private:
  // The main window in `language`, with the station's menu item.
  std::unique_ptr<TForm1> MakeForm(LanguageIndex language, std::span<const FirmwareImage> images) {
    auto form = std::make_unique<TForm1>(drives_, mainFiles_, documents_, reporter_, images);
    form->SetStation(services_);
    form->ComboBoxEx1->setCurrentIndex(language);
    form->ComboBoxEx1Change(language);
    form->Timer1Timer();
    form->show();
    return QTest::qWaitForWindowExposed(form.get()) ? std::move(form) : nullptr;
  }
  // Opens the drive list's menu from the keyboard; chooses the station's item when it is enabled. Returns
  // the item.
  static std::pair<QString, bool> ChooseStationItem(TForm1& form) {
    std::pair<QString, bool> item;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QAction* station = menu ? menu->actions().value(1) : nullptr;
      if (!station) return;
      item = {station->text(), station->isEnabled()};
      if (station->isEnabled()) menu->setActiveAction(station);
      QTest::keyClick(menu, station->isEnabled() ? Qt::Key_Return : Qt::Key_Escape);
    });
    form.ComboBox1->setFocus();
    QTest::keyClick(form.ComboBox1, Qt::Key_F10, Qt::ShiftModifier);
    return item;
  }
  TStationWindow* OpenStation(TForm1& form) {
    ChooseStationItem(form);
    TStationWindow* station = form.stationWindow();
    if (station) station->beep = [this] { beeps_.push_back(clock_.elapsed()); };
    return station;
  }

  ErrorReporter& reporter_;
  scaleboot::testing::FakeDrives drives_;
  FakeFileSystem mainFiles_;
  platform::LinuxDocumentHost documents_{"/opt/scaleboot/", [](const std::string&) {}};
  ScriptedSlots slots_;
  AnsweringEjector ejector_;
  StationServices services_;
  std::atomic<bool> hold_{false};               // every card's block writes wait while it is set
  std::chrono::steady_clock::time_point held_;  // and until then at most
  std::vector<std::pair<MessageBoxSpec, QWidget*>> boxes_;
  std::vector<qint64> beeps_;
  QElapsedTimer clock_;
};

void StationWindowTest::init() {
  drives_.Set({{"/", 3}});
  slots_.now.clear();
  ejector_.answer = {platform::EjectResult::Status::Ejected};
  hold_ = false;
  boxes_.clear();
  beeps_.clear();
  clock_.start();
  services_ = {
      &slots_, [this] {
        auto files = std::make_unique<FakeFileSystem>();
        files->fault = [this](FakeFileSystem::Op op, const std::string&, std::size_t) {
          // Held for 5 s at most: a window that waits for the card before its time fails, not hangs.
          while (op == FakeFileSystem::Op::WriteBlock && hold_ && std::chrono::steady_clock::now() < held_)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          return 0;
        };
        return files;
      }};
  services_.ejector = &ejector_;
  services_.recordFacts = {FirmwareImages(), {}, "2.18.0.0", "scaleboot"};
  reporter_.SetPresenter([this](const MessageBoxSpec& box, QWidget* parent) {
    boxes_.push_back({box, parent});
  });
}

void StationWindowTest::cardInsertedAfterTheStartIsWrittenWithARowStatusAndSound() {
  const struct {
    LanguageIndex language;
    platform::EjectResult::Status eject;
    std::size_t beeps;
    const char* shot;
  } cases[] = {
      {kEnglish, platform::EjectResult::Status::Ejected, 1, "station-window-linux.png"},
      {kRussian, platform::EjectResult::Status::Failed, 3, "station-window-linux-ru.png"},
  };
  for (const auto& c : cases) {
    init();
    ejector_.answer = {c.eject, true, {}, "busy"};
    auto form = MakeForm(c.language, FirmwareImages());
    QVERIFY(form);
    TStationWindow* station = OpenStation(*form);
    QVERIFY(station);
    QCOMPARE(station->windowTitle(), Q(StationWords(c.language, StationText::WindowTitle)));
    QCOMPARE(QApplication::activeModalWidget(), station);  // the main window takes no input
    slots_.now = {kCard};
    QTRY_COMPARE_WITH_TIMEOUT(station->CardList->topLevelItemCount(), 1, 5000);
    const QTreeWidgetItem* row = station->CardList->topLevelItem(0);
    const int late = std::abs(QTime::fromString(row->text(0)).secsTo(QTime::currentTime()));
    QVERIFY(std::min(late, 86400 - late) < 10);  // the local time of its end
    QCOMPARE(row->text(1), QStringLiteral("/media/card:"));
    QCOMPARE(row->text(2), Q(Text(c.language, Msg::WriteOkText)));
    QCOMPARE(station->StatusLine->text(), Q(WaitingText(c.language, 1, 0)));
    QCOMPARE(QAccessible::queryAccessibleInterface(station->StatusLine)->text(QAccessible::Name),
             station->StatusLine->text());
    QTRY_COMPARE(beeps_.size(), c.beeps);
    QVERIFY(beeps_.back() - beeps_.front() >= static_cast<qint64>(c.beeps - 1) * (kStationBeepGapMs - 20));
    if (const QString shots = qEnvironmentVariable("SCALEBOOT_STATION_SHOTS"); !shots.isEmpty())
      QVERIFY(station->grab().save(shots + "/" + c.shot));
  }
}

void StationWindowTest::stopButtonEscAndCloseWaitForTheCardInProgress() {
  const std::function<void(TStationWindow&)> stops[] = {
      [](TStationWindow& w) { QTest::mouseClick(w.StopButton, Qt::LeftButton); },
      [](TStationWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); },
      [](TStationWindow& w) { w.close(); },
  };
  for (const auto& stop : stops) {
    init();
    auto form = MakeForm(kEnglish, FirmwareImages());
    QVERIFY(form);
    QPointer<TStationWindow> station = OpenStation(*form);
    QVERIFY(station);
    int rowsAtTheEnd = -1;
    connect(station, &QDialog::finished, this,
            [&] { rowsAtTheEnd = station->CardList->topLevelItemCount(); });
    hold_ = true;
    held_ = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    slots_.now = {kCard};
    QTRY_VERIFY_WITH_TIMEOUT(!station->WatchList->isEnabled(), 5000);  // greyed while a card is written
    stop(*station);
    QTest::qWait(300);
    QVERIFY(station && station->isVisible());
    QCOMPARE(station->StatusLine->text(), Q(Filled(StationWords(kEnglish, StationText::Stopping), {"1"})));
    QCOMPARE(station->CardList->topLevelItemCount(), 0);
    hold_ = false;
    QTRY_VERIFY_WITH_TIMEOUT(!station, 5000);
    QCOMPARE(rowsAtTheEnd, 1);
    // The main window's boxes are its own again.
    form->SpeedButton1Click();
    QCOMPARE(boxes_.back().second, form.get());
  }
}

void StationWindowTest::recordFileIsAppendedToOrRefusedInABoxOverTheStation() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString fifo = dir.filePath("fifo"), log = dir.filePath("cards.jsonl");
  QVERIFY(mkfifo(fifo.toLocal8Bit().constData(), 0600) == 0);
  const struct {
    QString path;
    std::optional<StationText> refusal;
  } cases[] = {
      {dir.path(), StationText::RecordNotRegularFile}, {fifo, StationText::RecordNoReader}, {log, {}}};
  for (const auto& c : cases) {
    init();
    auto form = MakeForm(kEnglish, FirmwareImages());
    QVERIFY(form);
    TStationWindow* station = OpenStation(*form);
    QVERIFY(station);
    QString caption;
    station->askRecordPath = [&](QWidget*, const QString& title) { return caption = title, c.path; };
    QTest::mouseClick(station->RecordButton, Qt::LeftButton);
    QCOMPARE(caption, Q(StationWords(kEnglish, StationText::RecordDialogTitle)));
    if (c.refusal) {
      QCOMPARE(boxes_.size(), std::size_t{1});
      const std::string path = c.path.toStdString();
      QCOMPARE(Q(boxes_[0].first.text), Q(Filled(StationWords(kEnglish, StationText::RecordRefused),
                                                 {path, StationWords(kEnglish, *c.refusal)})));
      QCOMPARE(boxes_[0].second, station);
      QVERIFY(station->RecordLine->text().isEmpty());
      continue;
    }
    QVERIFY(boxes_.empty());
    QCOMPARE(station->RecordLine->text(), "Record: " + log);
    slots_.now = {kCard};
    QTRY_COMPARE_WITH_TIMEOUT(station->CardList->topLevelItemCount(), 1, 5000);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 2);  // one line and its line break
    QVERIFY(lines[0].contains("\"program\":\"scaleboot\""));
  }
}

void StationWindowTest::menuItemOpensTheStationUnlessTheImagesAreDamaged() {
  ImageTable damaged = FirmwareImages();
  std::vector<std::uint8_t> bytes(damaged[1].bytes.begin(), damaged[1].bytes.end());
  bytes[100] ^= 0x01;
  damaged[1].bytes = bytes;
  const struct {
    LanguageIndex language;
    std::span<const FirmwareImage> images;
    bool driveListed;
    QStringList choices;  // none: the item is greyed
  } cases[] = {
      {kRussian, FirmwareImages(), true, {"/media/card", "все съёмные диски"}},
      {kEnglish, FirmwareImages(), false, {"every removable drive"}},
      {kEnglish, damaged, true, {}},
  };
  for (const auto& c : cases) {
    init();
    if (c.driveListed) drives_.Set({{"/", 3}, {"/media/card/", platform::kDriveRemovable}});
    auto form = MakeForm(c.language, c.images);
    QVERIFY(form);
    const auto [text, enabled] = ChooseStationItem(*form);
    QCOMPARE(text, Q(StationWords(c.language, StationText::MenuItem)));
    QCOMPARE(enabled, !c.choices.empty());
    QCOMPARE(form->stationWindow() != nullptr, enabled);
    if (!enabled) continue;
    QStringList shown;
    for (int i = 0; i < form->stationWindow()->WatchList->count(); ++i)
      shown << form->stationWindow()->WatchList->itemText(i);
    QCOMPARE(shown, c.choices);
  }
}

int main(int argc, char** argv) {
  ErrorReporter reporter(FallbackApplicationTitle(platform::OwnExecutablePath()));
  TApplication application(reporter, argv[0]);
  StationWindowTest test(reporter);
  return QTest::qExec(&test, argc, argv);
}

#include "StationWindowTest.moc"
