#include "main/win32/DriveList.h"

#include <commctrl.h>

#include <new>
#include <string>

#include "main/win32/StandardControls.h"
#include "platform/win32/Win32Platform.h"
#include "ui/WindowLayout.h"

namespace scaleboot::win32 {

HWND CreateDriveList(HWND parent, int id, HINSTANCE instance) {
  HWND list = CreateControl(
      WC_COMBOBOXW, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
      layout::kComboBox1, DropDownHeight(0, layout::kComboBox1ItemHeight), parent, id, instance);
  SendMessageW(list, CB_SETMINVISIBLE, layout::kLanguageListRows, 0);
  return list;
}

void ShowDrives(HWND list, const std::vector<std::string>& drives, int selected) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& drive : drives) {
    if (SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(platform::Widen(drive).c_str())) < 0) {
      throw std::bad_alloc();
    }
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  const int dropDown = DropDownHeight(static_cast<int>(drives.size()), layout::kComboBox1ItemHeight);
  SetWindowPos(list, nullptr, 0, 0, layout::kComboBox1.width, layout::kComboBox1.height + dropDown,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MeasureDriveItem(MEASUREITEMSTRUCT& measure) {
  measure.itemHeight = layout::kComboBox1ItemHeight;
}

void DrawDriveItem(const DRAWITEMSTRUCT& item, HFONT font) {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != static_cast<UINT>(-1)) {
    const LRESULT length = SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0);
    if (length > 0) {
      std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
      SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
      text.resize(static_cast<std::size_t>(length));
      HGDIOBJ oldFont = SelectObject(dc, font);
      const int oldMode = SetBkMode(dc, TRANSPARENT);
      const COLORREF oldColour =
          SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
      RECT area = item.rcItem;
      area.left += 2;
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
      SetTextColor(dc, oldColour);
      SetBkMode(dc, oldMode);
      SelectObject(dc, oldFont);
    }
  }
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &item.rcItem);
}

}  // namespace scaleboot::win32
