#include "main/win32/DriveList.h"

#include <commctrl.h>

#include <new>
#include <string>

#include "main/win32/StandardControls.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::win32 {

HWND CreateDriveList(HWND parent, int id, HINSTANCE instance, const layout::WindowGeometry& geometry) {
  HWND list = CreateControl(
      WC_COMBOBOXW, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
      geometry.comboBox1, DropDownHeight(0, geometry.comboBox1ItemHeight), parent, id, instance);
  SendMessageW(list, CB_SETMINVISIBLE, layout::kLanguageListRows, 0);
  return list;
}

void ShowDrives(HWND list, const std::vector<std::string>& drives, int selected,
                const layout::WindowGeometry& geometry) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& drive : drives) {
    if (SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(platform::Widen(drive).c_str())) < 0) {
      throw std::bad_alloc();
    }
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  SetDropDownSize(list, geometry.comboBox1, static_cast<int>(drives.size()), geometry.comboBox1ItemHeight);
}

void SizeDriveList(HWND list, const layout::WindowGeometry& geometry) {
  SendMessageW(list, CB_SETITEMHEIGHT, 0, geometry.comboBox1ItemHeight);
  SetDropDownSize(list, geometry.comboBox1, static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0)),
                  geometry.comboBox1ItemHeight);
  FitComboHeight(list, geometry.comboBox1.height);
}

void MeasureDriveItem(MEASUREITEMSTRUCT& measure, const layout::WindowGeometry& geometry) {
  measure.itemHeight = static_cast<UINT>(geometry.comboBox1ItemHeight);
}

void DrawDriveItem(const DRAWITEMSTRUCT& item, HFONT font, const layout::WindowGeometry& geometry) {
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
      area.left += geometry.textInset;
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
