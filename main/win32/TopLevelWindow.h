// What the program's top-level windows (the main window and the station window) share: their class (the
// program's icon, the arrow cursor, the dialog face), a message loop with the dialog keys (Tab, Esc), every
// handler guarded so that nothing it raises reaches the system, boxes with their icon, and the focus given
// back like a dialog's when the window is active again.
#pragma once
#include <windows.h>

#include <string_view>

#include "main/win32/Guarded.h"
#include "main/win32/WindowObject.h"
#include "ui/MessageBox.h"

namespace scaleboot::win32 {

class TopLevelWindow : public WindowObject {
 protected:
  TopLevelWindow() = default;
  ~TopLevelWindow() = default;

  // Registers the window class `className` once for the program: a second window of the class finds it
  // registered. Raises RaisedError when it cannot.
  static void RegisterTopLevelClass(HINSTANCE instance, const wchar_t* className);

  // Runs the thread's messages until WM_QUIT, whose code it returns; with `untilDestroyed`, only until this
  // window is destroyed, and a WM_QUIT that comes first is posted again so that the main loop ends too.
  int MessageLoop(bool untilDestroyed);

  // The window's own messages; whatever escapes them is reported, not passed to the system.
  virtual LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  template <class Handler>
  void Guarded(Handler&& handler) noexcept {
    RunGuarded(handler, [this](const char* message) { ReportUnhandled(message); });
  }
  // An error that escaped a handler, in ShowErrorBox's box or, should that fail (out of memory), the bare
  // text.
  void ReportUnhandled(const char* message) noexcept;
  virtual void ShowErrorBox(std::string_view message) = 0;

  // A box over the window, with the icon of its kind; `BoxOpen` while it is shown.
  void ShowBox(const MessageBoxSpec& box);
  bool BoxOpen() const { return boxOpen_; }

  // Like a dialog: the control that had the focus as the window went inactive gets it back when it is active
  // again (after a box, say), or `FirstFocus` when that control is gone or disabled.
  void KeepFocus(bool active);
  void RestoreFocus();
  virtual HWND FirstFocus() const = 0;

  HWND lastFocus_ = nullptr;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept final;

  bool boxOpen_ = false;
};

}  // namespace scaleboot::win32
