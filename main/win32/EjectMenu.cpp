#include "main/win32/EjectMenu.h"

#include <windowsx.h>

#include <string>

#include "platform/win32/Win32Platform.h"
#include "ui/EjectTexts.h"
#include "ui/StationTexts.h"

namespace scaleboot::win32 {
namespace {

constexpr UINT kEjectItem = 1;
constexpr UINT kStationItem = 2;

std::string SelectedRoot(HWND list) {
  const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return {};
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return platform::Narrow(text);
}

}  // namespace

std::optional<MessageBoxSpec> RunEjectMenu(HWND owner, HWND list, LPARAM position, LanguageIndex language,
                                           platform::Ejector& ejector, bool stationEnabled,
                                           const std::function<void(const std::string& root)>& openStation) {
  const std::string root = SelectedRoot(list);
  POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (position == -1) {
    // From the keyboard: under the list's left edge.
    RECT frame{};
    GetWindowRect(list, &frame);
    at = {frame.left, frame.bottom};
  }
  HMENU menu = CreatePopupMenu();
  if (!menu) return std::nullopt;
  const std::wstring item = platform::Widen(EjectMenuText(language));
  AppendMenuW(menu, MF_STRING | (root.empty() ? MF_GRAYED : 0u), kEjectItem, item.c_str());
  const std::wstring station = platform::Widen(StationWords(language, StationText::MenuItem));
  AppendMenuW(menu, MF_STRING | (stationEnabled ? 0u : MF_GRAYED), kStationItem, station.c_str());
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
  DestroyMenu(menu);
  if (chosen == kStationItem && stationEnabled) {
    openStation(root);
    return std::nullopt;
  }
  if (chosen != kEjectItem || root.empty()) return std::nullopt;
  return EjectResultBox(language, root, ejector.Eject(root, {}));
}

}  // namespace scaleboot::win32
