// Helpers for the standard controls the window is built from (static, button, combo boxes).
#pragma once
#include <windows.h>

#include <string>

#include "ui/WindowLayout.h"

namespace scaleboot::win32 {

RECT RectOf(const layout::Bounds& bounds);

// Creates a visible child control at `bounds`, `dropDownHeight` pixels higher for a combo box's list. Raises
// RaisedError when it cannot be created.
HWND CreateControl(const wchar_t* className, DWORD style, const layout::Bounds& bounds, int dropDownHeight,
                   HWND parent, int id, HINSTANCE instance);

// Height of a drop-down list showing `items` items, at most layout::kLanguageListRows of them (scrolled
// beyond).
int DropDownHeight(int items, int itemHeight);

// Sizes the window of a drop-down combo box: `closed`'s width, and as high as the closed box with its list of
// `items` items of `itemHeight` dropped below it. It stays where it is.
void SetDropDownSize(HWND combo, const layout::Bounds& closed, int items, int itemHeight);

// Makes a closed combo box `height` pixels high.
void FitComboHeight(HWND combo, int height);

std::wstring WindowText(HWND hwnd);

// The width `text` covers when drawn on one line in `font` from x = 0: at least the sum of its advances, and
// as far right as any of its pixels reaches. A smoothed glyph may draw a pixel or two beyond its advance,
// which a control only as wide as the advances would clip. `dc` is a device context of the screen the text
// shows on.
int DrawnTextWidth(HDC dc, HFONT font, const std::wstring& text);

}  // namespace scaleboot::win32
