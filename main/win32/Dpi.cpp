#include "main/win32/Dpi.h"

#include "platform/win32/Win32Platform.h"
#include "ui/ScaledLayout.h"

namespace scaleboot::win32 {
namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
using GetDpiForMonitorFunction = decltype(DpiFunctions::getDpiForMonitor);

constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : layout::kBaseDpi;
}

}  // namespace

const DpiFunctions& SystemDpiFunctions() {
  static const DpiFunctions functions = [] {
    DpiFunctions found;
    found.getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    // Windows 7 has no shcore.dll.
    if (const HMODULE shcore = platform::LoadSystemLibrary(L"shcore.dll")) {
      found.getDpiForMonitor = reinterpret_cast<GetDpiForMonitorFunction>(
          reinterpret_cast<void (*)()>(GetProcAddress(shcore, "GetDpiForMonitor")));
    }
    return found;
  }();
  return functions;
}

int WindowDpi(HWND window, const DpiFunctions& functions) {
  if (window && functions.getDpiForWindow) {
    if (const UINT dpi = functions.getDpiForWindow(window); dpi > 0) return static_cast<int>(dpi);
  }
  if (window && functions.getDpiForMonitor) {
    UINT x = 0, y = 0;
    if (const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        monitor && SUCCEEDED(functions.getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) && x > 0) {
      return static_cast<int>(x);
    }
  }
  return SystemDpi();
}

int WindowDpi(HWND window) {
  return WindowDpi(window, SystemDpiFunctions());
}

SIZE FrameSizeForClient(int width, int height, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjustForDpi =
      User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, width, height};
  if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
    frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

int SystemMetricForDpi(int index, int dpi) {
  static const auto metricForDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
  if (metricForDpi) {
    if (const int value = metricForDpi(index, static_cast<UINT>(dpi)); value > 0) return value;
  }
  return GetSystemMetrics(index);
}

}  // namespace scaleboot::win32
