#include "main/win32/WindowObject.h"

namespace scaleboot::win32 {

LRESULT CALLBACK WindowObject::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* object = static_cast<WindowObject*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    object->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  }
  auto* object = reinterpret_cast<WindowObject*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!object) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    object->HandleMessage(message, wParam, lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    object->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return object->HandleMessage(message, wParam, lParam);
}

void WindowObject::RegisterChildClass(HINSTANCE instance, const wchar_t* className) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = className;
  RegisterClassExW(&wc);
}

}  // namespace scaleboot::win32
