#include "main/win32/StationWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "images/FirmwareImages.h"
#include "main/win32/Dpi.h"
#include "main/win32/FormScale.h"
#include "platform/AppendFile.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Errors.h"
#include "ui/StationTexts.h"
#include "ui/TestMark.h"

namespace scaleboot::win32 {
namespace {

using platform::Narrow;
using platform::Widen;

constexpr UINT_PTR kTickTimerId = 1;
static_assert(kStationStopId == IDCANCEL);

using ShutdownBlockReasonCreateFunction = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyFunction = BOOL(WINAPI*)(HWND);

}  // namespace

std::wstring StationWindow::Words(LanguageIndex language, StationText text) {
  return Widen(StationWords(language, text));
}

StationWindow::StationWindow(HINSTANCE instance, LanguageIndex language, const station::Services& services,
                             const std::string& selectedRoot)
    : instance_(instance),
      language_(language),
      services_(services),
      choices_(StationChoices(language, *services.cardSlots, selectedRoot)),
      recordFile_(language, platform::OpenAppendFile) {}

StationWindow::~StationWindow() {
  if (hwnd_) Finish();
  session_.reset();
  if (font_) DeleteObject(font_);
}

void StationWindow::Run(HWND owner) {
  RegisterTopLevelClass(instance_, kStationClassName);

  owner_ = owner;
  RECT ownerFrame{};
  GetWindowRect(owner, &ownerFrame);
  const std::wstring title =
      Widen(MarkedTitle(language_, StationWords(language_, StationText::WindowTitle), IsTestBuild()));
  if (!CreateWindowExW(kExStyle, kStationClassName, title.c_str(), kStyle, ownerFrame.left, ownerFrame.top, 0,
                       0, owner, nullptr, instance_, this) ||
      !list_) {
    if (hwnd_) DestroyWindow(hwnd_);
    throw RaisedError("Cannot create the station window");
  }
  EnableWindow(owner_, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(watch_);
  Guarded([this] { StartSession(); });
  if (hwnd_) SetTimer(hwnd_, kTickTimerId, kStationTickMs, nullptr);

  // The window's own loop, as a dialog box's, until it is destroyed.
  MessageLoop(true);
  if (hwnd_) Finish();
  session_.reset();
}

// ---- The session ----

void StationWindow::StartSession() {
  session_.reset();
  station::Options options;
  if (const std::string& reader = choices_[static_cast<std::size_t>(currentChoice_)].reader; !reader.empty())
    options.readers = {reader};
  options.checkPresent = !std::exchange(presentChecked_, true);
  session_ = std::make_unique<StationSession>(language_, services_, std::move(options));
  session_->SetEject(SendMessageW(eject_, BM_GETCHECK, 0, 0) == BST_CHECKED);
  recordFile_.Attach(*session_);
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
    item.lParam = RowColour(row) ? static_cast<LPARAM>(*RowColour(row)) : -1;
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
  const bool mayChange = session_ && session_->MayChangeReader();
  if (GetFocus() == watch_ && !mayChange) SetFocus(list_);
  EnableWindow(watch_, mayChange);
  if (blockingShutdown_ && !busy) {
    static const auto destroyReason =
        User32Function<ShutdownBlockReasonDestroyFunction>("ShutdownBlockReasonDestroy");
    if (destroyReason) destroyReason(hwnd_);
    blockingShutdown_ = false;
  }
  // The save dialog's owner stays until the dialog is closed: a later tick finishes.
  if (update.finished && !choosing_) Finish();
}

void StationWindow::Tick() {
  if (session_) Apply(session_->Tick());
}

void StationWindow::WatchChange() {
  const int chosen = static_cast<int>(SendMessageW(watch_, CB_GETCURSEL, 0, 0));
  if (chosen == currentChoice_ || chosen < 0 || chosen >= static_cast<int>(choices_.size())) return;
  if (session_ && !session_->MayChangeReader()) {
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
  const std::wstring current = Widen(recordFile_.Path());
  std::copy(current.begin(), current.end(), path.begin());
  const std::wstring title = Words(language_, StationText::RecordDialogTitle);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  choosing_ = true;
  const BOOL chosen = GetSaveFileNameW(&dialog);
  choosing_ = false;
  if (!chosen || !session_) return;
  path.resize(path.find(L'\0'));
  const auto refused =
      recordFile_.Choose(Narrow(path), *session_, StationWords(language_, StationText::WindowTitle));
  if (refused) {
    ShowBox(*refused);
    return;
  }
  SetWindowTextW(record_, Widen(recordFile_.Line()).c_str());
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
  const HWND controls[] = {watch_, eject_, keepRecord_, stop_};  // in StationControl's order
  for (const StationControl control : kDisabledByStop)
    EnableWindow(controls[static_cast<int>(control)], FALSE);
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
  EnableWindow(owner_, TRUE);
  DestroyWindow(hwnd_);
}

// ---- Message dispatch ----

void StationWindow::ShowErrorBox(std::string_view message) {
  MessageBoxW(hwnd_, Widen(ErrorBoxText(message)).c_str(), Words(language_, StationText::WindowTitle).c_str(),
              MB_OK | MB_ICONSTOP);
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
      if (wParam == kTickTimerId && !BoxOpen()) Guarded([this] { Tick(); });
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
      // A row of a card that needs the user is drawn in its colour.
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
      if (draw->nmcd.hdr.hwndFrom != list_ || draw->nmcd.hdr.code != NM_CUSTOMDRAW) break;
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw->nmcd.lItemlParam >= 0) {
        const auto colour = static_cast<std::uint32_t>(draw->nmcd.lItemlParam);
        draw->clrText = RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
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
      KeepFocus(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kTickTimerId);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace scaleboot::win32
