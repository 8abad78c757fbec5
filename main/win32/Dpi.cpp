#include "main/win32/Dpi.h"

#include "ui/ScaledLayout.h"

namespace scaleboot::win32 {
namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : layout::kBaseDpi;
}

}  // namespace

int WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window); dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
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
