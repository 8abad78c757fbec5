// The main window TForm1 in the plain Win32 API: its controls, its handlers and the error reporter. The
// program's logic comes from the core; this class puts its results on the window.
#pragma once
#include "platform/win32/Win32Platform.h"

#include <commctrl.h>

#include <string>
#include <string_view>

#include "main/Startup.h"
#include "main/win32/GaugeWindow.h"
#include "main/win32/HintWindow.h"
#include "main/win32/SpeedButton.h"
#include "main/win32/TopLevelWindow.h"
#include "platform/Eject.h"
#include "station/Services.h"
#include "ui/MessageBox.h"
#include "ui/ScaledLayout.h"

namespace scaleboot::win32 {

class StationWindow;

class TForm1 final : public TopLevelWindow {
 public:
  TForm1(HINSTANCE instance, platform::DriveSource& drives, platform::ByteFileSystem& files,
         platform::DocumentHost& documents);
  ~TForm1();

  // Registers the window classes and creates the window, centred on the desktop; FormCreate has run when it
  // returns. Raises RaisedError when the window cannot be created.
  HWND Create();
  void Show(int showCommand);
  // The message loop, with the dialog keyboard handling (Tab order); returns when the window is closed.
  int Run();

  // Event handlers.
  void FormCreate();
  void Timer1Timer();
  void Button1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void ComboBoxEx1Change();
  void ApplyLanguage();

  // The drive list's Eject menu item ejects through `ejector`; without one the list has no menu.
  void SetEjector(platform::Ejector* ejector) { ejector_ = ejector; }
  // The menu's station item opens the station window over these; without them it is greyed.
  void SetStation(const station::Services* station) { station_ = station; }

  // Shows an error that escaped a handler and returns; the program goes on.
  void ErrorReporter(std::string_view message);

 private:
  class WriterWindow;

  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
  void ShowErrorBox(std::string_view message) override { ErrorReporter(message); }
  HWND FirstFocus() const override { return ComboBox1_; }

  RECT CentredFrame(int dpi) const;
  void CreateControls();
  void CreateLanguageSelector();
  // Lays the window out for geometry_'s DPI: control rectangles, font, item heights, glyphs, flags and icons.
  void ApplyDpi();
  // WM_DPICHANGED: the window moved to a monitor of another scale, or the scale changed.
  void ChangeDpi(int dpi, const RECT& suggested);
  void SetIcons();
  int LabelTextWidth(const std::wstring& text) const;
  // Sizes Label1 to the drawn width of `text` and puts the drive list the gap after it.
  void PlaceLabel(const std::wstring& text);
  void SetButton1Enabled(bool enabled);
  // The station window for the drive `root` (empty: none selected); returns once it is closed.
  void OpenStation(const std::string& root);
  void DiscardPendingInput();
  void OnCommand(int id, int code, HWND control);
  std::wstring ApplicationTitle() const;

  HINSTANCE instance_;
  platform::DriveSource& drives_;
  platform::ByteFileSystem& files_;
  platform::DocumentHost& documents_;
  ProgramState state_;

  layout::WindowGeometry geometry_ = layout::GeometryForDpi(layout::kBaseDpi);
  HFONT font_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HIMAGELIST ImageList1_ = nullptr;
  HWND Label1_ = nullptr;
  HWND ComboBox1_ = nullptr;
  HWND ComboBoxEx1_ = nullptr;
  HWND Button1_ = nullptr;
  THintWindow hints_;
  TGauge Gauge1_;
  TSpeedButton SpeedButton1_;
  TSpeedButton SpeedButton2_;
  TSpeedButton SpeedButton3_;

  std::wstring applicationTitle_;  // empty until the first ApplyLanguage
  platform::Ejector* ejector_ = nullptr;
  const station::Services* station_ = nullptr;
  StationWindow* openStation_ = nullptr;  // while the station window is open
  bool closeAfterStation_ = false;        // a close came while it was open: the program ends after it
};

}  // namespace scaleboot::win32
