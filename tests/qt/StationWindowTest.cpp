// The station window offscreen, opened from the drive list's menu, over scripted slots and in-memory cards.
#include <sys/stat.h>

#include <QAccessible>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "FakeDrives.h"
#include "FakeFileSystem.h"
#include "images/FirmwareImages.h"
#include "main/qt/TForm1.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/StationTexts.h"
#include "ui/TestMark.h"

using namespace scaleboot;
using namespace scaleboot::qt;
using Status = platform::EjectResult::Status;
using Clock = std::chrono::steady_clock;
using StationServices = station::Services;

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct Fakes : platform::CardSlotSource, platform::Ejector {
  std::vector<platform::CardSlot> now;  // the readers and their cards
  Status status = Status::Ejected;      // every eject's answer
  std::vector<platform::CardSlot> Poll(std::span<const std::string>) override { return now; }
  platform::VolumeFacts Describe(const std::string&) override { return {}; }
  platform::EjectResult Eject(const std::string&, const platform::EjectOptions&) override {
    return {status, true, {}, "busy"};
  }
};

}  // namespace

class StationWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void cardInsertedAfterTheStartIsWrittenWithARowStatusAndSound();
  void stopEscAndCloseWaitForTheCardInProgress();
  void refusedRecordFileGivesABoxOverTheStation();

 private:
  // A main window with `drives`, and its menu's station item chosen when it is enabled; the station window.
  TStationWindow* Open(LanguageIndex language, bool drive = false, bool damaged = false) {
    hold_ = false;
    form_.reset();
    fakes_ = std::make_unique<Fakes>();
    boxes_.clear();
    beeps_.clear();
    drives_.Set({{"/", 3}, {drive ? "/media/card/" : "/x/", drive ? platform::kDriveRemovable : 3}});
    images_ = FirmwareImages();
    damaged_.assign(images_[1].bytes.begin(), images_[1].bytes.end());
    damaged_[100] ^= damaged ? 0x01 : 0x00;
    images_[1].bytes = damaged_;
    reporter_.SetPresenter([this](const MessageBoxSpec& box, QWidget* owner) {
      boxes_.push_back({box, owner});
    });
    form_ = std::make_unique<TForm1>(drives_, mainFiles_, documents_, reporter_, images_);
    StationServices services{fakes_.get(),
                             [this] {
                               auto files = std::make_unique<testing::FakeFileSystem>();
                               // A window that closes before the held card ends fails, and does not hang.
                               files->fault = [this](auto op, auto&, auto) {
                                 while (op == decltype(op)::WriteBlock && hold_ && Clock::now() < held_)
                                   std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                 return 0;
                               };
                               return files;
                             },
                             images_, fakes_.get()};
    services.recordFacts = {FirmwareImages(), {}, "2.18.0.0", "scaleboot"};
    form_->SetStation(services);
    form_->ComboBoxEx1Change(language);
    form_->Timer1Timer();
    form_->show();
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QAction* item = menu ? menu->actions().value(1) : nullptr;
      if (!item) return;
      item_ = item->isEnabled() ? item->text() : QString();
      menu->setActiveAction(item);
      QTest::keyClick(menu, item->isEnabled() ? Qt::Key_Return : Qt::Key_Escape);
    });
    QTest::keyClick(form_->ComboBox1, Qt::Key_F10, Qt::ShiftModifier);
    clock_.start();
    if (TStationWindow* station = form_->stationWindow())
      station->beep = [this] { beeps_.push_back(clock_.elapsed()); };
    return form_->stationWindow();
  }

  ErrorReporter reporter_{"ScaleBoot"};
  testing::FakeDrives drives_;
  testing::FakeFileSystem mainFiles_;
  platform::LinuxDocumentHost documents_{"/opt/scaleboot/", [](const std::string&) {}};
  ImageTable images_;
  std::vector<std::uint8_t> damaged_;  // the second image, a bit flipped when asked for
  std::unique_ptr<Fakes> fakes_;
  std::atomic<bool> hold_{false};  // every card's block writes wait while it is set, until `held_` at most
  Clock::time_point held_;
  std::vector<std::pair<MessageBoxSpec, QWidget*>> boxes_;
  std::vector<qint64> beeps_;
  QElapsedTimer clock_;
  QString item_;  // the menu's station item; empty when greyed
  std::unique_ptr<TForm1> form_;
};

void StationWindowTest::cardInsertedAfterTheStartIsWrittenWithARowStatusAndSound() {
  const struct {
    LanguageIndex language;
    bool drive, damaged;
    Status eject;
    std::size_t beeps;
    const char *choice, *shot;
  } cases[] = {
      {kEnglish, false, false, Status::Ejected, 1, "every removable drive", "station-window-linux.png"},
      {kRussian, true, false, Status::Failed, 3, "/media/card", "station-window-linux-ru.png"},
      {kEnglish, true, true, Status::Ejected, 0, "", ""}};
  for (const auto& c : cases) {
    TStationWindow* station = Open(c.language, c.drive, c.damaged);
    QCOMPARE(item_, c.damaged ? QString() : Q(StationWords(c.language, StationText::MenuItem)));
    QCOMPARE(station == nullptr, c.damaged);
    if (c.damaged) continue;
    QCOMPARE(station->WatchList->itemText(0), QString::fromUtf8(c.choice));
    QCOMPARE(station->windowTitle(),
             Q(MarkedTitle(c.language, StationWords(c.language, StationText::WindowTitle), IsTestBuild())));
    QCOMPARE(QApplication::activeModalWidget(), station);  // the main window takes no input
    fakes_->status = c.eject;
    fakes_->now = {{"/media/card", "/media/card/", "card-1"}};
    QTRY_COMPARE_WITH_TIMEOUT(station->CardList->topLevelItemCount(), 1, 5000);
    const QTreeWidgetItem* row = station->CardList->topLevelItem(0);
    const int late = std::abs(QTime::fromString(row->text(0)).secsTo(QTime::currentTime()));
    QVERIFY(std::min(late, 86400 - late) < 10);  // the local time of its end
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

void StationWindowTest::stopEscAndCloseWaitForTheCardInProgress() {
  const std::function<void(TStationWindow&)> stops[] = {
      [](TStationWindow& w) { QTest::mouseClick(w.StopButton, Qt::LeftButton); },
      [](TStationWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); }, [](TStationWindow& w) { w.close(); }};
  for (const auto& stop : stops) {
    QPointer<TStationWindow> station = Open(kEnglish);
    int rowsAtTheEnd = -1;
    connect(station, &QDialog::finished, this,
            [&] { rowsAtTheEnd = station->CardList->topLevelItemCount(); });
    hold_ = true;
    held_ = Clock::now() + std::chrono::seconds(5);
    fakes_->now = {{"/media/card", "/media/card/", "card-1"}};
    QTRY_VERIFY_WITH_TIMEOUT(!station->WatchList->isEnabled(), 5000);  // greyed while a card is written
    stop(*station);
    QTest::qWait(300);
    QVERIFY(station && station->isVisible());
    QCOMPARE(station->StatusLine->text(), Q(Filled(StationWords(kEnglish, StationText::Stopping), {"1"})));
    hold_ = false;
    QTRY_VERIFY_WITH_TIMEOUT(!station, 5000);
    QCOMPARE(rowsAtTheEnd, 1);
    form_->SpeedButton1Click();
    QCOMPARE(boxes_.back().second, form_.get());  // the main window's boxes are its own again
  }
}

void StationWindowTest::refusedRecordFileGivesABoxOverTheStation() {
  QTemporaryDir dir;
  QVERIFY(mkfifo(dir.filePath("fifo").toLocal8Bit().constData(), 0600) == 0);
  const std::pair<QString, StationText> cases[] = {{dir.path(), StationText::RecordNotRegularFile},
                                                   {dir.filePath("fifo"), StationText::RecordNoReader}};
  for (const auto& [path, why] : cases) {
    TStationWindow* station = Open(kEnglish);
    QString caption;
    station->askRecordPath = [&, path = path](QWidget*, const QString& title) {
      return caption = title, path;
    };
    QTest::mouseClick(station->RecordButton, Qt::LeftButton);
    QCOMPARE(caption, Q(StationWords(kEnglish, StationText::RecordDialogTitle)));
    QCOMPARE(boxes_.size(), std::size_t{1});
    QCOMPARE(Q(boxes_[0].first.text), Q(Filled(StationWords(kEnglish, StationText::RecordRefused),
                                               {path.toStdString(), StationWords(kEnglish, why)})));
    QCOMPARE(boxes_[0].second, station);
    QVERIFY(station->RecordLine->text().isEmpty());
  }
}

QTEST_MAIN(StationWindowTest)
#include "StationWindowTest.moc"
