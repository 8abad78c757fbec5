// The one window procedure of the program's own window classes (the form, the progress bar and the image
// buttons). The object passed as CreateWindowExW's last argument is tied to its window at WM_NCCREATE, gets
// every message through HandleMessage and is let go at WM_NCDESTROY.
#pragma once
#include <windows.h>

namespace scaleboot::win32 {

class WindowObject {
 public:
  HWND Handle() const { return hwnd_; }

 protected:
  WindowObject() = default;
  ~WindowObject() = default;
  WindowObject(const WindowObject&) = delete;
  WindowObject& operator=(const WindowObject&) = delete;

  // The window procedure to register for the class; messages before WM_NCCREATE and after WM_NCDESTROY get
  // the default handling.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

  // Messages the object does not handle go to DefWindowProcW(hwnd_, ...). Never lets an exception out: the
  // caller is the system.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept = 0;

  // Registers a child control class served by WindowProc, with the arrow cursor and no background brush: the
  // control paints all of itself.
  static void RegisterChildClass(HINSTANCE instance, const wchar_t* className);

  HWND hwnd_ = nullptr;
};

}  // namespace scaleboot::win32
