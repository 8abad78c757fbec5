// The display scale of the window. The functions that give each window its own DPI came with Windows 10;
// they are looked up at run time, so the program still starts on Windows 7, where every window has the
// system's DPI and the older functions below stand in for them.
#pragma once
#include <windows.h>

namespace scaleboot::win32 {

// The DPI the window is shown at: GetDpiForWindow, else (and for no window) the system's DPI.
int WindowDpi(HWND window);

// The outer size of a window whose client area is `width` × `height` at `dpi`: AdjustWindowRectExForDpi,
// else AdjustWindowRectEx (which measures the frame at the system's DPI, the only one there is then).
SIZE FrameSizeForClient(int width, int height, DWORD style, DWORD exStyle, int dpi);

// A system metric at `dpi`: GetSystemMetricsForDpi, else GetSystemMetrics.
int SystemMetricForDpi(int index, int dpi);

}  // namespace scaleboot::win32
