#include "main/win32/Form1.h"

#include <exception>
#include <new>
#include <span>
#include <string>
#include <utility>

#include "card/BootModuleWriter.h"
#include "card/DriveScan.h"
#include "images/FirmwareImages.h"
#include "main/win32/ControlIds.h"
#include "main/win32/Dpi.h"
#include "main/win32/DriveList.h"
#include "main/win32/EjectMenu.h"
#include "main/win32/FormScale.h"
#include "main/win32/ResourceIds.h"
#include "main/win32/StandardControls.h"
#include "main/win32/StationWindow.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Contents.h"
#include "ui/Documents.h"
#include "ui/Errors.h"
#include "ui/MessageTable.h"
#include "ui/ScaledLayout.h"
#include "ui/WindowTexts.h"
#include "ui/WriteResult.h"

namespace scaleboot::win32 {
namespace {

using platform::Narrow;
using platform::Widen;

}  // namespace

// What a write run drives: Button1 and Gauge1, repainted at once; then the window's input and message box.
class TForm1::WriterWindow final : public WriteWindow {
 public:
  explicit WriterWindow(TForm1& form) : form_(form) {}
  void SetWriteEnabled(bool enabled) override { form_.SetButton1Enabled(enabled); }
  void SetGaugeRange(int minimum, int maximum) override {
    form_.Gauge1_.SetMinimum(minimum);
    form_.Gauge1_.SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { form_.Gauge1_.SetPosition(position); }
  void AddGaugeProgress(int delta) override { form_.Gauge1_.AddProgress(delta); }
  void DiscardPendingInput() override { form_.DiscardPendingInput(); }
  void ShowBox(const MessageBoxSpec& box) override { form_.ShowBox(box); }

 private:
  TForm1& form_;
};

TForm1::TForm1(HINSTANCE instance, platform::DriveSource& drives, platform::ByteFileSystem& files,
               platform::DocumentHost& documents)
    : instance_(instance), drives_(drives), files_(files), documents_(documents) {}

TForm1::~TForm1() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (ImageList1_) ImageList_Destroy(ImageList1_);
  if (font_) DeleteObject(font_);
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

HWND TForm1::Create() {
  TGauge::Register(instance_);
  TSpeedButton::Register(instance_);

  RegisterTopLevelClass(instance_, kFormClassName);

  // Created where it goes at the system's DPI; the window's own DPI, known once it exists, decides its size.
  const RECT frame = CentredFrame(WindowDpi(nullptr));
  if (!CreateWindowExW(kFormExStyle, kFormClassName, L"", kFormStyle, frame.left, frame.top,
                       frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_,
                       this)) {
    throw RaisedError("Cannot create the main window");
  }
  const RECT placed = CentredFrame(geometry_.dpi);
  SetWindowPos(hwnd_, nullptr, placed.left, placed.top, placed.right - placed.left,
               placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return hwnd_;
}

void TForm1::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  if (lastFocus_) SetFocus(lastFocus_);
}

int TForm1::Run() {
  return MessageLoop(false);
}

void TForm1::CreateControls() {
  geometry_ = layout::GeometryForDpi(WindowDpi(hwnd_));
  const layout::WindowGeometry& g = geometry_;

  // Creation order is the Tab order: Button1, then ComboBox1; no other control is a Tab stop. Label1 comes
  // right before ComboBox1, so that it is the list's label for a screen reader.
  Button1_ = CreateControl(WC_BUTTONW, WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, g.button1, 0, hwnd_,
                           kButton1Id, instance_);
  Label1_ = CreateControl(WC_STATICW, SS_LEFT | SS_NOPREFIX, g.label1, 0, hwnd_, kLabel1Id, instance_);
  ComboBox1_ = CreateDriveList(hwnd_, kComboBox1Id, instance_, g);
  ComboBoxEx1_ =
      CreateControl(WC_COMBOBOXEXW, WS_VSCROLL | CBS_DROPDOWNLIST, g.comboBoxEx1,
                    DropDownHeight(static_cast<int>(kLanguageItems.size()), g.comboBoxEx1ItemHeight), hwnd_,
                    kComboBoxEx1Id, instance_);
  if (!Gauge1_.Create(hwnd_, kGauge1Id, RectOf(g.gauge1), instance_) ||
      !SpeedButton2_.Create(hwnd_, kSpeedButton2Id, RectOf(g.speedButton2), instance_) ||
      !SpeedButton3_.Create(hwnd_, kSpeedButton3Id, RectOf(g.speedButton3), instance_) ||
      !SpeedButton1_.Create(hwnd_, kSpeedButton1Id, RectOf(g.speedButton1), instance_)) {
    throw RaisedError("Cannot create the image buttons");
  }
  CreateLanguageSelector();
  ApplyDpi();
  hints_.Create(hwnd_, instance_, {SpeedButton1_.Handle(), SpeedButton2_.Handle(), SpeedButton3_.Handle()});
  lastFocus_ = ComboBox1_;
}

// ComboBoxEx1's items "ENG" and "RUS"; ApplyDpi gives them their flags.
void TForm1::CreateLanguageSelector() {
  for (int i = 0; i < static_cast<int>(kLanguageItems.size()); ++i) {
    std::wstring text = Widen(kLanguageItems[static_cast<std::size_t>(i)]);
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = i;
    item.pszText = text.data();
    item.iImage = i;
    item.iSelectedImage = i;
    if (SendMessageW(ComboBoxEx1_, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
      throw std::bad_alloc();
    }
  }
  if (HWND inner = reinterpret_cast<HWND>(SendMessageW(ComboBoxEx1_, CBEM_GETCOMBOCONTROL, 0, 0))) {
    SendMessageW(inner, CB_SETMINVISIBLE, layout::kLanguageListRows, 0);
  }
}

int TForm1::LabelTextWidth(const std::wstring& text) const {
  HDC dc = GetDC(Label1_);
  const int width = DrawnTextWidth(dc, font_, text);
  ReleaseDC(Label1_, dc);
  return width;
}

void TForm1::PlaceLabel(const std::wstring& text) {
  const layout::WindowGeometry& g = geometry_;
  const int width = LabelTextWidth(text);
  SetWindowPos(Label1_, nullptr, g.label1.left, g.label1.top, width, g.label1.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(ComboBox1_, nullptr, g.DriveListLeft(width), g.comboBox1.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::SetButton1Enabled(bool enabled) {
  // A disabled window keeps no focus; hand it to the drive list so the keyboard still works.
  if (!enabled && GetFocus() == Button1_) SetFocus(ComboBox1_);
  EnableWindow(Button1_, enabled);
}

void TForm1::OpenStation(const std::string& root) {
  StationWindow station(instance_, state_.Language, *station_, root);
  openStation_ = &station;
  try {
    station.Run(hwnd_);
  } catch (...) {
    openStation_ = nullptr;
    throw;
  }
  openStation_ = nullptr;
  // The close that came meanwhile is done now that every card in progress has its row and its record.
  if (std::exchange(closeAfterStation_, false)) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

// Input made while the writer held the thread is dropped rather than acted on after the run.
void TForm1::DiscardPendingInput() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK, PM_REMOVE)) {
  }
}

std::wstring TForm1::ApplicationTitle() const {
  if (!applicationTitle_.empty()) return applicationTitle_;
  return Widen(FallbackApplicationTitle(platform::OwnExecutablePath()));
}

// ---- Handlers ----

void TForm1::FormCreate() {
  state_ = StartProgram(FirmwareImages());
  hints_.SetTiming(kHintShowDelayMs, kHintHideDelayMs, kHintReshowDelayMs);
  SendMessageW(ComboBoxEx1_, CB_SETCURSEL, kInitialLanguageItem, 0);
  state_.Language = LanguageForItem(static_cast<int>(SendMessageW(ComboBoxEx1_, CB_GETCURSEL, 0, 0)));
  ApplyLanguage();
}

void TForm1::ApplyLanguage() {
  const WindowTexts texts = ComposeWindowTexts(
      state_.Language, FormatProgramVersion(platform::ReadOwnFileVersion()), IsTestBuild());
  std::wstring caption = Widen(texts.caption);
  SetWindowTextW(hwnd_, caption.c_str());
  applicationTitle_ = std::move(caption);

  // Sized before the text changes: the static control draws a new text at once, and a resize afterwards would
  // keep the pixels it drew wrapped at the old width.
  const std::wstring label = Widen(texts.label);
  PlaceLabel(label);
  SetWindowTextW(Label1_, label.c_str());
  SetWindowTextW(Button1_, Widen(texts.button).c_str());

  hints_.SetText(SpeedButton1_.Handle(), texts.versionsHint);
  hints_.SetText(SpeedButton2_.Handle(), texts.manualHint);
  hints_.SetText(SpeedButton3_.Handle(), texts.changesHint);
  SpeedButton1_.SetAccessibleName(texts.versionsName);
  SpeedButton2_.SetAccessibleName(texts.manualName);
  SpeedButton3_.SetAccessibleName(texts.changesName);
}

void TForm1::Timer1Timer() {
  const auto update = RescanDrives(drives_, state_.LastDriveStringsLength, state_.CorruptCount);
  if (!update) return;
  ShowDrives(ComboBox1_, update->drives, update->selectedIndex, geometry_);
  SetButton1Enabled(update->writeEnabled);
}

void TForm1::Button1Click() {
  // With no drive selected the root is empty, which the writer refuses.
  const bool selected = SendMessageW(ComboBox1_, CB_GETCURSEL, 0, 0) != CB_ERR;
  const std::string driveRoot = selected ? Narrow(WindowText(ComboBox1_)) : std::string();
  WriterWindow window(*this);
  WriteAndReport(driveRoot, FirmwareImages(), files_, state_.Language, window);
}

void TForm1::SpeedButton1Click() {
  ShowBox(ShowModuleContents(state_.Language, state_.CorruptCount, IsTestBuild()));
}

void TForm1::SpeedButton2Click() {
  OpenDocument(ManualDocument(state_.Language), documents_);
}

void TForm1::SpeedButton3Click() {
  OpenDocument(ChangesDocument(), documents_);
}

void TForm1::ComboBoxEx1Change() {
  state_.Language = LanguageForItem(static_cast<int>(SendMessageW(ComboBoxEx1_, CB_GETCURSEL, 0, 0)));
  ApplyLanguage();
  SetFocus(ComboBox1_);
}

void TForm1::ErrorReporter(std::string_view message) {
  MessageBoxW(hwnd_, Widen(ErrorBoxText(message)).c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONSTOP);
}

// ---- Message dispatch ----

void TForm1::OnCommand(int id, int code, HWND control) {
  if (code == BN_CLICKED) {
    switch (id) {
      case kButton1Id:
        Guarded([this] { Button1Click(); });
        return;
      case kSpeedButton1Id:
        Guarded([this] { SpeedButton1Click(); });
        return;
      case kSpeedButton2Id:
        Guarded([this] { SpeedButton2Click(); });
        return;
      case kSpeedButton3Id:
        Guarded([this] { SpeedButton3Click(); });
        return;
    }
  }
  if (code == CBN_SELCHANGE && control && control == ComboBoxEx1_) Guarded([this] { ComboBoxEx1Change(); });
}

LRESULT TForm1::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      Guarded([this] {
        CreateControls();
        FormCreate();
      });
      SetTimer(hwnd_, kTimer1Id, kDriveScanIntervalMs, nullptr);
      return 0;
    case WM_TIMER:
      if (wParam == kTimer1Id) Guarded([this] { Timer1Timer(); });
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure->CtlType != ODT_COMBOBOX || measure->CtlID != static_cast<UINT>(kComboBox1Id)) break;
      MeasureDriveItem(*measure, geometry_);
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_COMBOBOX || item->CtlID != static_cast<UINT>(kComboBox1Id)) break;
      DrawDriveItem(*item, font_, geometry_);
      return TRUE;
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) != ComboBox1_ || !ejector_) break;
      Guarded([&] {
        // Like the write button, the station is not offered when the images failed their start-up test.
        const bool stationEnabled = station_ && state_.CorruptCount == 0;
        if (const auto box =
                RunEjectMenu(hwnd_, ComboBox1_, lParam, state_.Language, *ejector_, stationEnabled,
                             [this](const std::string& root) { OpenStation(root); }))
          ShowBox(*box);
      });
      return 0;
    case WM_DPICHANGED: {
      const RECT suggested = *reinterpret_cast<const RECT*>(lParam);
      Guarded([&] { ChangeDpi(LOWORD(wParam), suggested); });
      return 0;
    }
    case WM_ACTIVATE:
      KeepFocus(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_CLOSE:
      // Closing the program (its close box, taskkill without /F) while the station window is open is the
      // station's Stop: the cards in progress are finished, shown and recorded, then the program ends.
      if (!openStation_) break;
      closeAfterStation_ = true;
      PostMessageW(openStation_->Handle(), WM_CLOSE, 0, 0);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kTimer1Id);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace scaleboot::win32
