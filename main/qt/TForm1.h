// The program's window: the drive list, the language selector, the progress bar, the write button and the
// three document buttons, with one handler per control event.
#pragma once
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QMargins>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <span>

#include "card/BootModuleWriter.h"
#include "images/FirmwareImages.h"
#include "main/Startup.h"
#include "main/qt/ErrorReporter.h"
#include "main/qt/StationWindow.h"
#include "main/qt/TGauge.h"
#include "platform/Eject.h"
#include "platform/Platform.h"

namespace scaleboot::qt {

// Top-left corner of a window frame `frame` thick around a client area of `client` that centres the whole
// frame on `available`.
QPoint CentredFramePosition(const QRect& available, const QSize& client, const QMargins& frame);

// A flat button with a centred glyph whose bottom-left pixel colour is transparent. It never takes the
// keyboard focus. Its hint shows after the application's hint pause, stays for the hint hide time and does
// not come back until the mouse has left the button; moving onto it while another hint is shown shows its own
// hint at once.
class TSpeedButton : public QToolButton {
 public:
  explicit TSpeedButton(QWidget* parent);
  void SetGlyph(const QString& resourcePath);
  // How long a shown hint stays, in milliseconds.
  int hintHideTime() const { return hintHideTime_; }
  void SetHintHideTime(int milliseconds) { hintHideTime_ = milliseconds; }

 protected:
  bool event(QEvent* event) override;

 private:
  void ShowHint(const QPoint& globalPos);

  bool hintShownHere_ = false;  // this button's hint has been shown since the mouse came onto it
  int hintHideTime_ = kHintHideDelayMs;
};

// The drive list: a drop-down list without typing whose field elides a long mount path at its start, while
// the dropped-down list is wide enough to show every path whole.
class TDriveComboBox : public QComboBox {
 public:
  explicit TDriveComboBox(QWidget* parent);
  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Transparent where the image has the colour of its bottom-left pixel; a null pixmap when the file is
// missing.
QPixmap LoadGlyph(const QString& resourcePath);

// The file of the bitmap `resourcePath` (a file of the 100 % set) drawn for the set `set` of the display
// scales (ui/ScaledLayout.h): the same name in the folder of that scale, 125/, 150/ or 200/, beside it.
QString BitmapForScale(const QString& resourcePath, int set);

// The set of bitmaps to draw at a device pixel ratio: the one the Windows program draws at that ratio × 96
// DPI.
int BitmapSetForScale(qreal devicePixelRatio);

// The bitmap `resourcePath` with its 125, 150 and 200 % drawings, each drawn at the scale made for it; made
// transparent where each has the colour of its bottom-left pixel when `keyed`. A null icon when the 100 %
// file is missing.
QIcon ScaledBitmapIcon(const QString& resourcePath, bool keyed);

// The window's font: the nearest sans-serif to the classic 8-point dialog font (11-pixel character height),
// made smaller only if the texts of either language would not fit their controls.
QFont WindowFont();

class TForm1 : public QWidget {
 public:
  // The services are used for the whole life of the window; `images` are the images to test and write.
  TForm1(platform::DriveSource& drives, platform::ByteFileSystem& files, platform::DocumentHost& documents,
         ErrorReporter& reporter, std::span<const FirmwareImage> images = FirmwareImages());
  ~TForm1() override;

  QLabel* Label1 = nullptr;
  TDriveComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBoxEx1 = nullptr;
  TGauge* Gauge1 = nullptr;
  QPushButton* Button1 = nullptr;
  TSpeedButton* SpeedButton2 = nullptr;  // manual
  TSpeedButton* SpeedButton3 = nullptr;  // change log
  TSpeedButton* SpeedButton1 = nullptr;  // contents
  QTimer* Timer1 = nullptr;

  const ProgramState& state() const { return state_; }

  // Gives the drive list its Eject menu item, which ejects through `ejector`.
  void SetEjector(platform::Ejector& ejector);
  // Instead of SetEjector: the Eject item through `services.ejector`, then the item that opens the station
  // window on `services`. The services are used for the whole life of the window.
  void SetStation(const station::Services& services);
  // The station window while it is open; none otherwise.
  TStationWindow* stationWindow() const { return station_.data(); }

  // Event handlers. Each runs under the error reporter: an error ends the handler and is shown in a box.
  void Timer1Timer();
  void Button1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void ComboBoxEx1Change(int index);
  void StationItemClick();

 private:
  class GaugeView;

  void CreateControls();
  void FormCreate();
  void ApplyLanguage();
  void ApplyHintTiming();
  // Centres the frame on the desktop's available area, with the frame as far as it is known.
  void CentreOnScreen();
  // Centres once more when the window system has made the frame known.
  void CentreOnceFrameKnown();
  bool event(QEvent* event) override;
  // Drops the clicks and key presses that queued up while a write run held the event loop, so that none of
  // them acts on the window or closes the box that reports the run.
  void DiscardInputOfRun();

  platform::DriveSource& drives_;
  platform::ByteFileSystem& files_;
  platform::DocumentHost& documents_;
  ErrorReporter& reporter_;
  std::span<const FirmwareImage> images_;
  ProgramState state_;
  bool awaitingFrame_ = true;  // centred before the frame was known
  QMargins centredFrame_;      // the frame the last centring allowed for
  station::Services stationServices_;
  QPointer<TStationWindow> station_;
};

}  // namespace scaleboot::qt
