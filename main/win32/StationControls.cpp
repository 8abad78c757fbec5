// The station window's controls: their creation, in the Tab order, and their places for the window's DPI.
#include "main/win32/StationWindow.h"
// The header brings <windows.h>, which <commctrl.h> needs first.

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "common/Errors.h"
#include "main/win32/Dpi.h"
#include "main/win32/FormScale.h"
#include "main/win32/StandardControls.h"
#include "platform/win32/Win32Platform.h"
#include "ui/ScaledLayout.h"
#include "ui/StationTexts.h"

namespace scaleboot::win32 {
namespace {

using platform::Widen;

// The layout at 96 DPI, scaled for the window's DPI.
constexpr int kClientWidth = 720;
constexpr int kMargin = 8;
constexpr int kGap = 6;
constexpr int kComboTop = 8, kComboHeight = 21, kComboMinWidth = 200, kComboItemHeight = 13;
constexpr int kLabelTop = 12, kLineHeight = 13;
constexpr int kWatchingTop = 37;  // two lines
constexpr int kListTop = 67, kListHeight = 220;
constexpr int kStatusTop = 295;  // two lines
constexpr int kRecordTop = 323;
constexpr int kButtonTop = 344, kButtonHeight = 23, kButtonMinWidth = 75, kButtonPadding = 20;
constexpr int kCheckBoxExtra = 24;  // the box and the gap before its text
constexpr int kClientHeight = kButtonTop + kButtonHeight + kMargin;
constexpr int kColumnWidths[] = {62, 60, 370};  // time, drive, outcome; the card's column takes the rest

}  // namespace

// Creation order is the Tab order: the drop-down (after its label, which names it for a screen reader), the
// list, the check box, the two buttons.
void StationWindow::CreateControls() {
  const layout::Bounds none{0, 0, 0, 0};
  watchLabel_ =
      CreateControl(WC_STATICW, SS_LEFT | SS_NOPREFIX, none, 0, hwnd_, kStationWatchLabelId, instance_);
  watch_ = CreateControl(WC_COMBOBOXW, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, none, 0, hwnd_,
                         kStationWatchId, instance_);
  watching_ = CreateControl(WC_STATICW, SS_LEFT | SS_NOPREFIX, none, 0, hwnd_, kStationWatchingId, instance_);
  list_ = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | LVS_SINGLESEL,
      0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStationListId)), instance_, nullptr);
  if (!list_) throw RaisedError("Cannot create the station's list");
  status_ = CreateControl(WC_STATICW, SS_LEFT | SS_NOPREFIX, none, 0, hwnd_, kStationStatusId, instance_);
  record_ = CreateControl(WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, none, 0, hwnd_,
                          kStationRecordId, instance_);
  eject_ =
      CreateControl(WC_BUTTONW, WS_TABSTOP | BS_AUTOCHECKBOX, none, 0, hwnd_, kStationEjectId, instance_);
  keepRecord_ =
      CreateControl(WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON, none, 0, hwnd_, kStationKeepRecordId, instance_);
  stop_ = CreateControl(WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON, none, 0, hwnd_, kStationStopId, instance_);

  SetWindowTextW(watchLabel_, Words(language_, StationText::WatchLabel).c_str());
  SetWindowTextW(eject_, Words(language_, StationText::EjectEach).c_str());
  SetWindowTextW(keepRecord_, Words(language_, StationText::KeepRecord).c_str());
  SetWindowTextW(stop_, Words(language_, StationText::StopButton).c_str());
  SendMessageW(eject_, BM_SETCHECK, BST_CHECKED, 0);
  for (const StationChoice& choice : choices_) {
    SendMessageW(watch_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(choice.text).c_str()));
  }
  SendMessageW(watch_, CB_SETCURSEL, 0, 0);

  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  const StationText headers[] = {StationText::ColumnTime, StationText::ColumnDrive,
                                 StationText::ColumnOutcome, StationText::ColumnCard};
  for (int i = 0; i < 4; ++i) {
    std::wstring header = Words(language_, headers[i]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = header.data();
    column.iSubItem = i;
    if (SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column)) < 0)
      throw RaisedError("Cannot create the station's list");
  }
  dpi_ = WindowDpi(hwnd_);
  Layout(true);
  lastFocus_ = watch_;
}

int StationWindow::TextWidth(HWND control) const {
  HDC dc = GetDC(control);
  const int width = DrawnTextWidth(dc, font_, WindowText(control));
  ReleaseDC(control, dc);
  return width;
}

void StationWindow::Layout(bool centre) {
  const auto s = [this](int pixels) { return layout::ScaleForDpi(pixels, dpi_); };
  HFONT font = CreateFormFont(s(layout::kFontPixels));
  for (HWND control : {watchLabel_, watch_, watching_, list_, status_, record_, eject_, keepRecord_, stop_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (font_) DeleteObject(font_);
  font_ = font;

  const int width = s(kClientWidth), height = s(kClientHeight), inner = width - 2 * s(kMargin);
  const auto place = [](HWND control, int left, int top, int w, int h) {
    SetWindowPos(control, nullptr, left, top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  const int labelWidth = TextWidth(watchLabel_);
  place(watchLabel_, s(kMargin), s(kLabelTop), labelWidth, s(kLineHeight));
  int comboWidth = s(kComboMinWidth);
  {
    HDC dc = GetDC(watch_);
    for (const StationChoice& choice : choices_) {
      comboWidth = std::max(comboWidth, DrawnTextWidth(dc, font_, Widen(choice.text)) +
                                            SystemMetricForDpi(SM_CXVSCROLL, dpi_) + s(kButtonPadding));
    }
    ReleaseDC(watch_, dc);
  }
  const int comboLeft = s(kMargin) + labelWidth + s(kGap);
  comboWidth = std::min(comboWidth, width - s(kMargin) - comboLeft);
  const layout::Bounds combo{comboLeft, s(kComboTop), comboWidth, s(kComboHeight)};
  place(watch_, combo.left, combo.top, combo.width,
        combo.height + DropDownHeight(static_cast<int>(choices_.size()), s(kComboItemHeight)));
  SendMessageW(watch_, CB_SETITEMHEIGHT, 0, s(kComboItemHeight));
  FitComboHeight(watch_, combo.height);

  place(watching_, s(kMargin), s(kWatchingTop), inner, 2 * s(kLineHeight));
  place(list_, s(kMargin), s(kListTop), inner, s(kListHeight));
  for (int i = 0; i < 3; ++i)
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), s(kColumnWidths[i]));
  SendMessageW(list_, LVM_SETCOLUMNWIDTH, 3, LVSCW_AUTOSIZE_USEHEADER);
  place(status_, s(kMargin), s(kStatusTop), inner, 2 * s(kLineHeight));
  place(record_, s(kMargin), s(kRecordTop), inner, s(kLineHeight));

  const int buttonTop = s(kButtonTop), buttonHeight = s(kButtonHeight);
  const auto buttonWidth = [&](HWND button) {
    return std::max(s(kButtonMinWidth), TextWidth(button) + s(kButtonPadding));
  };
  place(eject_, s(kMargin), buttonTop, TextWidth(eject_) + s(kCheckBoxExtra), buttonHeight);
  const int stopWidth = buttonWidth(stop_), keepWidth = buttonWidth(keepRecord_);
  const int stopLeft = width - s(kMargin) - stopWidth;
  place(stop_, stopLeft, buttonTop, stopWidth, buttonHeight);
  place(keepRecord_, stopLeft - s(kGap) - keepWidth, buttonTop, keepWidth, buttonHeight);

  const SIZE frame = FrameSizeForClient(width, height, kStyle, kExStyle, dpi_);
  RECT at{};
  GetWindowRect(centre ? owner_ : hwnd_, &at);
  int left = at.left, top = at.top;
  if (centre) {
    left = (at.left + at.right - frame.cx) / 2;
    top = (at.top + at.bottom - frame.cy) / 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &monitor)) {
      const RECT& work = monitor.rcWork;
      left = std::max<int>(work.left, std::min<int>(left, work.right - frame.cx));
      top = std::max<int>(work.top, std::min<int>(top, work.bottom - frame.cy));
    }
  }
  SetWindowPos(hwnd_, nullptr, left, top, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace scaleboot::win32
