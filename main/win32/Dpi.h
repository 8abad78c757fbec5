// The display scale of the window. The functions that give each window its own DPI came with Windows 10, and
// the one that gives each monitor its own with Windows 8.1; they are looked up at run time, so the program
// still starts on Windows 7, where every window has the system's DPI and the older functions below stand in
// for them.
#pragma once
#include <windows.h>

namespace scaleboot::win32 {

// A function of user32.dll by name, or nullptr where this Windows has none.
template <class Function>
Function User32Function(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  // Through void(*)() so that the cast between function types is one the compiler accepts without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

// The functions that tell a window's DPI, where this Windows has them: GetDpiForWindow (user32.dll, Windows
// 10 1607 and later) and GetDpiForMonitor (shcore.dll, Windows 8.1 and later; its second argument is the kind
// of DPI, 0 for the effective one that scaling follows).
struct DpiFunctions {
  UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
  HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

// Those of this Windows, looked up once at run time (shcore.dll from the system folder).
const DpiFunctions& SystemDpiFunctions();

// The DPI the window is shown at: GetDpiForWindow; else (Windows 8.1, which has no DPI per window) the
// effective DPI of the monitor that shows most of it; else (Windows 7, and for no window) the system's DPI.
int WindowDpi(HWND window, const DpiFunctions& functions);
int WindowDpi(HWND window);

// The outer size of a window whose client area is `width` × `height` at `dpi`: AdjustWindowRectExForDpi,
// else AdjustWindowRectEx (which measures the frame at the system's DPI, the only one there is then).
SIZE FrameSizeForClient(int width, int height, DWORD style, DWORD exStyle, int dpi);

// A system metric at `dpi`: GetSystemMetricsForDpi, else GetSystemMetrics.
int SystemMetricForDpi(int index, int dpi);

}  // namespace scaleboot::win32
