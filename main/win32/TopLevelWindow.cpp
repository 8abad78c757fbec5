#include "main/win32/TopLevelWindow.h"

#include <string>
#include <utility>

#include "common/Errors.h"
#include "main/win32/Dpi.h"
#include "main/win32/FormScale.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::win32 {

void TopLevelWindow::RegisterTopLevelClass(HINSTANCE instance, const wchar_t* className) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  const int systemDpi = WindowDpi(nullptr);
  wc.hIcon = LoadMainIcon(instance, SM_CXICON, SM_CYICON, systemDpi, LR_SHARED);
  wc.hIconSm = LoadMainIcon(instance, SM_CXSMICON, SM_CYSMICON, systemDpi, LR_SHARED);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = className;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw RaisedError("Cannot register the window class");
}

int TopLevelWindow::MessageLoop(bool untilDestroyed) {
  MSG msg{};
  while (!untilDestroyed || hwnd_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0 && untilDestroyed) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void TopLevelWindow::ReportUnhandled(const char* message) noexcept {
  const bool wasOpen = std::exchange(boxOpen_, true);
  try {
    ShowErrorBox(message);
  } catch (...) {
    MessageBoxA(hwnd_, message, nullptr, MB_OK | MB_ICONSTOP);
  }
  boxOpen_ = wasOpen;
}

void TopLevelWindow::ShowBox(const MessageBoxSpec& box) {
  const UINT icon = box.icon == BoxIcon::Error ? MB_ICONSTOP : MB_ICONINFORMATION;
  const std::wstring text = platform::Widen(box.text), caption = platform::Widen(box.caption);
  const bool wasOpen = std::exchange(boxOpen_, true);
  MessageBoxW(hwnd_, text.c_str(), caption.c_str(), MB_OK | icon);
  boxOpen_ = wasOpen;
}

void TopLevelWindow::KeepFocus(bool active) {
  if (!active) {
    if (HWND focus = GetFocus(); focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
    return;
  }
  RestoreFocus();
}

void TopLevelWindow::RestoreFocus() {
  if (lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
    SetFocus(lastFocus_);
  } else if (HWND first = FirstFocus()) {
    SetFocus(first);
  }
}

LRESULT TopLevelWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    return Dispatch(message, wParam, lParam);
  } catch (...) {
    // Every handler is guarded; this only keeps any other failure from unwinding into the system.
    ReportUnhandled("Unknown error");
    return 0;
  }
}

}  // namespace scaleboot::win32
