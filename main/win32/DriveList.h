// ComboBox1, the drive list: a drop-down list drawn by the window (owner-drawn) so its items are as high as
// the layout says whatever the font's own line height. The form hands it the WM_MEASUREITEM and WM_DRAWITEM
// messages it receives for the list.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/ScaledLayout.h"

namespace scaleboot::win32 {

HWND CreateDriveList(HWND parent, int id, HINSTANCE instance, const layout::WindowGeometry& geometry);

// Replaces the items with `drives` (kept in their order), selects `selected` (-1: none) and lets the list
// drop down as far as its items need.
void ShowDrives(HWND list, const std::vector<std::string>& drives, int selected,
                const layout::WindowGeometry& geometry);

// Gives the list the closed size, the item height and the drop-down height of `geometry`.
void SizeDriveList(HWND list, const layout::WindowGeometry& geometry);

void MeasureDriveItem(MEASUREITEMSTRUCT& measure, const layout::WindowGeometry& geometry);

// An item or the selection field: the drive root on the window colour, or highlighted when selected.
void DrawDriveItem(const DRAWITEMSTRUCT& item, HFONT font, const layout::WindowGeometry& geometry);

}  // namespace scaleboot::win32
