// The station window: writes card after card as they are inserted, opened from the drive list's menu. It is
// owned by the main window, which takes no input while it is open, and runs its own message loop until it
// closes (as a dialog box does), so that the main window goes on rescanning its drives meanwhile.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "main/win32/ControlIds.h"
#include "main/win32/TopLevelWindow.h"
#include "ui/StationTexts.h"
#include "ui/StationWindow.h"

namespace scaleboot::win32 {

class StationWindow final : public TopLevelWindow {
 public:
  // `selectedRoot`: the drive selected in the main window ("E:\"), empty when none is.
  StationWindow(HINSTANCE instance, LanguageIndex language, const station::Services& services,
                const std::string& selectedRoot);
  ~StationWindow();

  // Opens the window over `owner`, disables the owner and returns once the window is closed and the owner
  // enabled again. Raises RaisedError when the window cannot be created.
  void Run(HWND owner);

 private:
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
  void ShowErrorBox(std::string_view message) override;
  HWND FirstFocus() const override { return list_; }
  static std::wstring Words(LanguageIndex language, StationText text);

  static constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_CLIPCHILDREN;
  static constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

  void CreateControls();
  // Places the controls for dpi_ and sizes the window around them, centred over the owner or where it is.
  void Layout(bool centre);
  int TextWidth(HWND control) const;

  // (Re)builds the session for the drop-down's choice; the record file kept, if any, goes on for it.
  void StartSession();
  void Apply(const StationUpdate& update);
  void Tick();
  void WatchChange();
  void EjectClick();
  void KeepRecordClick();
  void StopClick();
  // Refuses the end of the session while a card is being written; true when it may end.
  bool QueryEndSession();
  void Finish();

  HINSTANCE instance_;
  LanguageIndex language_;
  const station::Services& services_;
  std::vector<StationChoice> choices_;
  std::unique_ptr<StationSession> session_;
  StationRecord recordFile_;
  HWND owner_ = nullptr;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  HWND watchLabel_ = nullptr, watch_ = nullptr, watching_ = nullptr, list_ = nullptr, status_ = nullptr,
       record_ = nullptr, eject_ = nullptr, keepRecord_ = nullptr, stop_ = nullptr;
  int currentChoice_ = 0;
  bool blockingShutdown_ = false;
  bool choosing_ = false;        // the record's save dialog is open: ticks go on, but none closes the window
  bool presentChecked_ = false;  // the cards there at the start were checked by the first session
};

}  // namespace scaleboot::win32
