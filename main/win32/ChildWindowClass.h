// Window classes of the window's own child controls (the progress bar and the flat image buttons).
#pragma once
#include <windows.h>

namespace scaleboot::win32 {

// Registers a child control class with the arrow cursor and no background brush: the control paints all of
// itself.
inline void RegisterChildWindowClass(HINSTANCE instance, WNDPROC windowProc, const wchar_t* className) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = className;
  RegisterClassExW(&wc);
}

}  // namespace scaleboot::win32
