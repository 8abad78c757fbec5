// The main window's display scale: the frame it is centred in, the layout, font, glyphs, flags
// (ImageList1) and icons it gets for a DPI, and the change of DPI when it moves to another monitor.
#pragma once
#include <windows.h>

namespace scaleboot::win32 {

inline constexpr DWORD kFormStyle = WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_CLIPCHILDREN;
inline constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// The window's font, "MS Sans Serif" 8 pt: `pixels` high characters, 11 at 96 DPI.
HFONT CreateFormFont(int pixels);

// The main icon at the size of the metrics `widthMetric` × `heightMetric` at `dpi`, from the image of that
// size in the icon resource. `flags` are LoadImageW's.
HICON LoadMainIcon(HINSTANCE instance, int widthMetric, int heightMetric, int dpi, UINT flags);

}  // namespace scaleboot::win32
