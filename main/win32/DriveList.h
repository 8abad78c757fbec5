// ComboBox1, the drive list: a drop-down list drawn by the window (owner-drawn) so its items are
// layout::kComboBox1ItemHeight pixels high whatever the font's own line height. The form hands it the
// WM_MEASUREITEM and WM_DRAWITEM messages it receives for the list.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace scaleboot::win32 {

HWND CreateDriveList(HWND parent, int id, HINSTANCE instance);

// Replaces the items with `drives` (kept in their order), selects `selected` (-1: none) and lets the list
// drop down as far as its items need.
void ShowDrives(HWND list, const std::vector<std::string>& drives, int selected);

void MeasureDriveItem(MEASUREITEMSTRUCT& measure);

// An item or the selection field: the drive root on the window colour, or highlighted when selected.
void DrawDriveItem(const DRAWITEMSTRUCT& item, HFONT font);

}  // namespace scaleboot::win32
