// The station window: watches a card reader (or every removable drive) and writes each card put in, one row
// per card, while the main window waits behind it.
#pragma once
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "images/FirmwareImages.h"
#include "main/qt/ErrorReporter.h"
#include "ui/StationWindow.h"

namespace scaleboot::qt {

// How often the program looks whether a signal asked it to end.
inline constexpr int kEndingCheckMs = 100;

// Pause between the beeps of a card that needs the user.
inline constexpr int kStationBeepGapMs = 200;

class TStationWindow : public QDialog {
 public:
  // Watches from the start, the reader of `selectedRoot` first when there is one. Window-modal over `owner`.
  TStationWindow(QWidget* owner, const station::Services& services, LanguageIndex language,
                 const std::string& selectedRoot, ErrorReporter& reporter);
  ~TStationWindow() override;

  QLabel* WatchLabel = nullptr;
  QComboBox* WatchList = nullptr;
  QLabel* WatchingLine = nullptr;
  QTreeWidget* CardList = nullptr;
  QLabel* StatusLine = nullptr;
  QCheckBox* EjectBox = nullptr;
  QPushButton* RecordButton = nullptr;
  QLabel* RecordLine = nullptr;
  QPushButton* StopButton = nullptr;
  QTimer* Ticker = nullptr;

  // The sound of a card; replaced in tests to count the beeps.
  std::function<void()> beep = [] { QApplication::beep(); };
  // Asks for the record file; an empty path when the user cancels. Replaced in tests.
  std::function<QString(QWidget* parent, const QString& caption)> askRecordPath = AskRecordPath;
  static QString AskRecordPath(QWidget* parent, const QString& caption);

  bool stopping() const { return session_ && session_->Stopping(); }

  // Event handlers, each under the error reporter.
  void TickerTimer();
  void WatchListChange(int index);
  void RecordButtonClick();
  void StopButtonClick();

 protected:
  // Esc and closing the window: the same as Stop; the window stays until the cards in progress are done.
  void reject() override;

 private:
  void CreateControls(const std::vector<StationChoice>& choices);
  void BeginSession(const std::string& reader);
  void Apply(const StationUpdate& update);
  void Beep(int count);

  const station::Services& services_;  // the program's, which outlive the window
  LanguageIndex language_;
  ErrorReporter& reporter_;
  std::vector<StationChoice> choices_;
  StationRecord record_;
  std::unique_ptr<StationSession> session_;
  int watched_ = 0;  // the drop-down's entry the session watches
  QTimer* beepGap_ = nullptr;
  int beepsDue_ = 0;
  bool ticking_ = false;  // a tick's error box is up: the ticks in its loop are skipped
  bool finished_ = false;
  bool presentChecked_ = false;  // the cards there at the start were checked by the first session
};

}  // namespace scaleboot::qt
