#include "main/win32/StationWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "main/win32/Dpi.h"
#include "main/win32/FormScale.h"
#include "main/win32/StandardControls.h"
#include "platform/AppendFile.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Errors.h"
#include "ui/ScaledLayout.h"
#include "ui/StationTexts.h"

namespace scaleboot::win32 {
namespace {

using platform::Narrow;
using platform::Widen;

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kTickTimerId = 1;
static_assert(kStationStopId == IDCANCEL);

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

using ShutdownBlockReasonCreateFunction = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyFunction = BOOL(WINAPI*)(HWND);

std::wstring Words(LanguageIndex language, StationText text) {
  return Widen(StationWords(language, text));
}

}  // namespace

StationWindow::StationWindow(HINSTANCE instance, LanguageIndex language, StationServices& services,
                             const std::string& selectedRoot)
    : instance_(instance),
      language_(language),
      services_(services),
      choices_(StationChoices(language, services.cardSlots, selectedRoot)) {}

StationWindow::~StationWindow() {
  if (hwnd_) Finish();
  session_.reset();
  if (font_) DeleteObject(font_);
}

void StationWindow::Run(HWND owner) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  const int systemDpi = WindowDpi(nullptr);
  wc.hIcon = LoadMainIcon(instance_, SM_CXICON, SM_CYICON, systemDpi, LR_SHARED);
  wc.hIconSm = LoadMainIcon(instance_, SM_CXSMICON, SM_CYSMICON, systemDpi, LR_SHARED);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kStationClassName;
  // Registered by the first window the program opens.
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw RaisedError("Cannot register the station window class");

  owner_ = owner;
  RECT ownerFrame{};
  GetWindowRect(owner, &ownerFrame);
  if (!CreateWindowExW(kExStyle, kStationClassName, Words(language_, StationText::WindowTitle).c_str(),
                       kStyle, ownerFrame.left, ownerFrame.top, 0, 0, owner, nullptr, instance_, this) ||
      !list_) {
    if (hwnd_) DestroyWindow(hwnd_);
    throw RaisedError("Cannot create the station window");
  }
  EnableWindow(owner_, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(watch_);
  Guarded([this] { StartSession(); });
  if (hwnd_) SetTimer(hwnd_, kTickTimerId, kStationTickMs, nullptr);

  // The window's own loop, with the dialog keyboard handling (Tab, Esc), until it is destroyed.
  MSG msg{};
  while (hwnd_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: the main loop must see the quit message too.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (hwnd_) Finish();
  session_.reset();
}

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

void StationWindow::ShowBox(const MessageBoxSpec& box) {
  const UINT icon = box.icon == BoxIcon::Error ? MB_ICONSTOP : MB_ICONINFORMATION;
  reporting_ = true;
  MessageBoxW(hwnd_, Widen(box.text).c_str(), Widen(box.caption).c_str(), MB_OK | icon);
  reporting_ = false;
}

// ---- The session ----

void StationWindow::StartSession() {
  session_.reset();
  StationSetup setup{language_, services_.cardSlots, services_.newFiles, services_.images};
  setup.reader = choices_[static_cast<std::size_t>(currentChoice_)].reader;
  setup.ejector = services_.ejector;
  setup.identifyFolder = services_.identifyFolder;
  setup.recordFacts = services_.recordFacts;
  setup.checkPresent = !std::exchange(presentChecked_, true);
  session_ = std::make_unique<StationSession>(std::move(setup));
  session_->SetEject(SendMessageW(eject_, BM_GETCHECK, 0, 0) == BST_CHECKED);
  if (!recordPath_.empty()) {
    platform::AppendRefusal refusal;
    if (auto file = platform::OpenAppendFile(recordPath_, refusal)) {
      session_->SetRecord(std::move(file), recordPath_);
    } else {
      const std::string path = std::exchange(recordPath_, {});
      SetWindowTextW(record_, L"");
      ShowBox(RecordRefusedBox(language_, path, refusal, StationWords(language_, StationText::WindowTitle)));
    }
  }
  Apply(session_->Start());
}

void StationWindow::Apply(const StationUpdate& update) {
  if (update.watching) SetWindowTextW(watching_, Widen(*update.watching).c_str());
  for (const StationRow& row : update.rows) {
    const int index = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    std::wstring texts[] = {Widen(row.time), Widen(row.drive), Widen(row.outcome), Widen(row.removal)};
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = texts[0].data();
    item.lParam = row.good ? 1 : 0;
    const auto inserted =
        static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0) throw RaisedError("Cannot add a row to the station's list");
    for (int column = 1; column < 4; ++column) {
      LVITEMW sub{};
      sub.iSubItem = column;
      sub.pszText = texts[column].data();
      SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(inserted), reinterpret_cast<LPARAM>(&sub));
    }
    SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(inserted), FALSE);
  }
  if (update.status) SetWindowTextW(status_, Widen(*update.status).c_str());
  for (const StationSound sound : update.sounds)
    MessageBeep(sound == StationSound::Once ? MB_OK : MB_ICONHAND);

  const bool busy = session_ && session_->Busy();
  const bool stopping = session_ && session_->Stopping();
  // The watched reader changes only between cards.
  if (GetFocus() == watch_ && (busy || stopping)) SetFocus(list_);
  EnableWindow(watch_, !busy && !stopping);
  if (blockingShutdown_ && !busy) {
    static const auto destroyReason =
        User32Function<ShutdownBlockReasonDestroyFunction>("ShutdownBlockReasonDestroy");
    if (destroyReason) destroyReason(hwnd_);
    blockingShutdown_ = false;
  }
  // While a card is written the machine does not go to sleep: a card cut off halfway is worse than a late
  // sleep.
  if (busy != keepingAwake_) {
    SetThreadExecutionState(busy ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
    keepingAwake_ = busy;
  }
  if (update.finished) Finish();
}

void StationWindow::Tick() {
  if (session_) Apply(session_->Tick());
}

void StationWindow::WatchChange() {
  const int chosen = static_cast<int>(SendMessageW(watch_, CB_GETCURSEL, 0, 0));
  if (chosen == currentChoice_ || chosen < 0 || chosen >= static_cast<int>(choices_.size())) return;
  if (session_ && (session_->Busy() || session_->Stopping())) {
    SendMessageW(watch_, CB_SETCURSEL, static_cast<WPARAM>(currentChoice_), 0);
    return;
  }
  currentChoice_ = chosen;
  StartSession();
}

void StationWindow::EjectClick() {
  if (session_) session_->SetEject(SendMessageW(eject_, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

// The chosen file is appended to, so the dialog does not ask whether to replace it; its title says so.
void StationWindow::KeepRecordClick() {
  std::wstring path(32768, L'\0');
  const std::wstring current = Widen(recordPath_);
  std::copy(current.begin(), current.end(), path.begin());
  const std::wstring title = Words(language_, StationText::RecordDialogTitle);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  reporting_ = true;
  const BOOL chosen = GetSaveFileNameW(&dialog);
  reporting_ = false;
  if (!chosen) return;
  path.resize(path.find(L'\0'));
  const std::string chosenPath = Narrow(path);
  platform::AppendRefusal refusal;
  auto file = platform::OpenAppendFile(chosenPath, refusal);
  if (!file) {
    ShowBox(
        RecordRefusedBox(language_, chosenPath, refusal, StationWords(language_, StationText::WindowTitle)));
    return;
  }
  if (session_) session_->SetRecord(std::move(file), chosenPath);
  recordPath_ = chosenPath;
  SetWindowTextW(record_,
                 Widen(Filled(StationWords(language_, StationText::RecordingTo), {chosenPath})).c_str());
}

// Stop, Esc and closing the window: the cards in progress are finished first; until then only the status
// line changes.
void StationWindow::StopClick() {
  if (!session_) {
    Finish();
    return;
  }
  if (session_->Stopping()) return;
  const StationUpdate update = session_->Stop();
  SetFocus(list_);
  for (HWND control : {watch_, eject_, keepRecord_, stop_}) EnableWindow(control, FALSE);
  Apply(update);
}

bool StationWindow::QueryEndSession() {
  if (!session_ || !session_->Busy()) return true;
  static const auto createReason =
      User32Function<ShutdownBlockReasonCreateFunction>("ShutdownBlockReasonCreate");
  if (createReason) createReason(hwnd_, Words(language_, StationText::BusyReason).c_str());
  blockingShutdown_ = true;
  return false;
}

// The owner is enabled before the window goes, so that the system activates it rather than another program.
void StationWindow::Finish() {
  KillTimer(hwnd_, kTickTimerId);
  if (std::exchange(keepingAwake_, false)) SetThreadExecutionState(ES_CONTINUOUS);
  EnableWindow(owner_, TRUE);
  DestroyWindow(hwnd_);
}

// ---- Message dispatch ----

void StationWindow::ReportUnhandled(const char* message) noexcept {
  reporting_ = true;
  try {
    MessageBoxW(hwnd_, Widen(ErrorBoxText(message)).c_str(),
                Words(language_, StationText::WindowTitle).c_str(), MB_OK | MB_ICONSTOP);
  } catch (...) {
    MessageBoxA(hwnd_, message, nullptr, MB_OK | MB_ICONSTOP);
  }
  reporting_ = false;
}

LRESULT StationWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      try {
        CreateControls();
        return 0;
      } catch (...) {
        return -1;
      }
    case WM_TIMER:
      // No tick while a box or the save dialog is open: its handler has not returned.
      if (wParam == kTickTimerId && !reporting_) Guarded([this] { Tick(); });
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == kStationStopId && code == BN_CLICKED) {
        Guarded([this] { StopClick(); });
      } else if (id == kStationEjectId && code == BN_CLICKED) {
        Guarded([this] { EjectClick(); });
      } else if (id == kStationKeepRecordId && code == BN_CLICKED) {
        Guarded([this] { KeepRecordClick(); });
      } else if (id == kStationWatchId && code == CBN_SELCHANGE) {
        Guarded([this] { WatchChange(); });
      }
      return 0;
    }
    case WM_NOTIFY: {
      // A row of a card that needs the user is drawn in red.
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
      if (draw->nmcd.hdr.hwndFrom != list_ || draw->nmcd.hdr.code != NM_CUSTOMDRAW) break;
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw->nmcd.lItemlParam == 0) {
        draw->clrText = RGB(192, 0, 0);
        return CDRF_NEWFONT;
      }
      return CDRF_DODEFAULT;
    }
    case WM_CLOSE:
      Guarded([this] { StopClick(); });
      return 0;
    case WM_QUERYENDSESSION: {
      bool mayEnd = true;
      Guarded([&] { mayEnd = QueryEndSession(); });
      return mayEnd ? TRUE : FALSE;
    }
    case WM_DPICHANGED: {
      const RECT suggested = *reinterpret_cast<const RECT*>(lParam);
      Guarded([&] {
        dpi_ = LOWORD(wParam);
        SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Layout(false);
      });
      return 0;
    }
    case WM_ACTIVATE:
      // Like a dialog: the focus goes back where it was, for example after a box.
      if (LOWORD(wParam) == WA_INACTIVE) {
        if (HWND focus = GetFocus(); focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
      } else if (lastFocus_ && IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
      } else {
        SetFocus(list_);
      }
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kTickTimerId);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT StationWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    return Dispatch(message, wParam, lParam);
  } catch (...) {
    ReportUnhandled("Unknown error");
    return 0;
  }
}

}  // namespace scaleboot::win32
