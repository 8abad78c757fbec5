// The drive list's context menu, from a right click, the menu key or Shift+F10: Eject for the selected drive,
// then the station ("Write every card inserted...").
#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/Eject.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot::win32 {

// Handles WM_CONTEXTMENU for `list`: shows the menu at the mouse, or under the list when the keyboard asked
// for it (`position` -1). Eject is greyed when no drive is selected, the station item when `stationEnabled`
// is false. When Eject is chosen, ejects the selected drive and returns the box that reports it; when the
// station is chosen, calls `openStation` with the selected drive's root (empty when none is); nothing when
// the menu was closed without a choice.
std::optional<MessageBoxSpec> RunEjectMenu(HWND owner, HWND list, LPARAM position, LanguageIndex language,
                                           platform::Ejector& ejector, bool stationEnabled,
                                           const std::function<void(const std::string& root)>& openStation);

}  // namespace scaleboot::win32
