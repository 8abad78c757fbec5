// The drive list's context menu: one item, Eject, for the selected drive, from a right click, the menu key or
// Shift+F10.
#pragma once
#include <windows.h>

#include <optional>

#include "platform/Eject.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot::win32 {

// Handles WM_CONTEXTMENU for `list`: shows the menu at the mouse, or under the list when the keyboard asked
// for it (`position` -1); the item is greyed when no drive is selected. When Eject is chosen, ejects the
// selected drive and returns the box that reports it; nothing when the menu was closed without a choice.
std::optional<MessageBoxSpec> RunEjectMenu(HWND owner, HWND list, LPARAM position, LanguageIndex language,
                                           platform::Ejector& ejector);

}  // namespace scaleboot::win32
