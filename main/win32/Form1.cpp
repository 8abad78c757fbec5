#include "main/win32/Form1.h"

#include <algorithm>
#include <exception>
#include <new>
#include <span>
#include <string>

#include "card/BootModuleWriter.h"
#include "card/DriveScan.h"
#include "images/FirmwareImages.h"
#include "main/win32/ControlIds.h"
#include "main/win32/ResourceIds.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Contents.h"
#include "ui/Documents.h"
#include "ui/Errors.h"
#include "ui/MessageTable.h"
#include "ui/WindowTexts.h"
#include "ui/WriteResult.h"

namespace scaleboot::win32 {
namespace {

using platform::Narrow;
using platform::Widen;

constexpr int kClientWidth = 311;
constexpr int kClientHeight = 83;
constexpr DWORD kFormStyle = WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// Control rectangles in client pixels: left, top, width, height.
struct Bounds {
  int left, top, width, height;
  RECT rect() const { return {left, top, left + width, top + height}; }
};
constexpr Bounds kLabel1{8, 8, 0, 13};  // the width follows the text
constexpr Bounds kComboBox1{136, 5, 81, 21};
constexpr Bounds kComboBoxEx1{224, 5, 81, 22};
constexpr Bounds kGauge1{8, 32, 297, 12};
constexpr Bounds kButton1{8, 52, 217, 25};
constexpr Bounds kSpeedButton2{232, 52, 25, 25};
constexpr Bounds kSpeedButton3{256, 52, 25, 25};
constexpr Bounds kSpeedButton1{280, 52, 25, 25};

constexpr int kComboBox1ItemHeight = 13;
constexpr int kComboBoxEx1ItemHeight = 16;
constexpr int kDropDownCount = 8;
constexpr int kFlagWidth = 24;
constexpr int kFlagHeight = 16;
// Wide enough that a hint breaks only at its CR LF.
constexpr int kHintMaxWidth = 1000;

// "MS Sans Serif" 8 pt: 11 pixels character height. Russian charset, so that a system whose own MS Sans Serif
// has no Cyrillic letters maps the Russian texts to a face that has them.
HFONT CreateFormFont() {
  return CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

HWND CreateControl(const wchar_t* className, DWORD style, const Bounds& bounds, int dropDownHeight,
                   HWND parent, int id, HINSTANCE instance) {
  HWND control = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
                                 bounds.width, bounds.height + dropDownHeight, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (!control) throw RaisedError("Cannot create control " + std::to_string(id));
  return control;
}

// Height of a drop-down list showing `items` items, at most kDropDownCount of them (scrolled beyond).
int DropDownHeight(int items, int itemHeight) {
  return std::clamp(items, 1, kDropDownCount) * itemHeight + 2;
}

HBITMAP LoadBitmapResource(HINSTANCE instance, int id) {
  auto* bitmap = static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bitmap) throw RaisedError("Bitmap resource " + std::to_string(id) + " not found");
  return bitmap;
}

HICON LoadMainIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINICON), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                       LR_SHARED));
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

// What the writer drives: Button1 and Gauge1, repainted at once.
class TForm1::WriterWindow final : public WriterView {
 public:
  explicit WriterWindow(TForm1& form) : form_(form) {}
  void SetWriteEnabled(bool enabled) override { form_.SetButton1Enabled(enabled); }
  void SetGaugeRange(int minimum, int maximum) override {
    form_.Gauge1_.SetMinimum(minimum);
    form_.Gauge1_.SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { form_.Gauge1_.SetPosition(position); }
  void AddGaugeProgress(int delta) override { form_.Gauge1_.AddProgress(delta); }

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
}

HWND TForm1::Create() {
  TGauge::Register(instance_);
  TSpeedButton::Register(instance_);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadMainIcon(instance_, SM_CXICON, SM_CYICON);
  wc.hIconSm = LoadMainIcon(instance_, SM_CXSMICON, SM_CYSMICON);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kFormClassName;
  if (!RegisterClassExW(&wc)) throw RaisedError("Cannot register the window class");

  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (!CreateWindowExW(kFormExStyle, kFormClassName, L"", kFormStyle, left, top, width, height, nullptr,
                       nullptr, instance_, this)) {
    throw RaisedError("Cannot create the main window");
  }
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(wc.hIcon));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(wc.hIconSm));
  return hwnd_;
}

void TForm1::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  if (lastFocus_) SetFocus(lastFocus_);
}

int TForm1::Run() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void TForm1::CreateControls() {
  font_ = CreateFormFont();

  // Creation order is the Tab order: Button1, then ComboBox1; no other control is a Tab stop.
  Button1_ = CreateControl(WC_BUTTONW, WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, kButton1, 0, hwnd_,
                           kButton1Id, instance_);
  // Drawn by the window so its items are 13 pixels high whatever the font's own line height.
  ComboBox1_ = CreateControl(
      WC_COMBOBOXW, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
      kComboBox1, DropDownHeight(0, kComboBox1ItemHeight), hwnd_, kComboBox1Id, instance_);
  ComboBoxEx1_ =
      CreateControl(WC_COMBOBOXEXW, WS_VSCROLL | CBS_DROPDOWNLIST, kComboBoxEx1,
                    DropDownHeight(static_cast<int>(kLanguageItems.size()), kComboBoxEx1ItemHeight), hwnd_,
                    kComboBoxEx1Id, instance_);
  Label1_ = CreateControl(WC_STATICW, SS_LEFT | SS_NOPREFIX, kLabel1, 0, hwnd_, kLabel1Id, instance_);
  if (!Gauge1_.Create(hwnd_, kGauge1Id, kGauge1.rect(), instance_) ||
      !SpeedButton2_.Create(hwnd_, kSpeedButton2Id, kSpeedButton2.rect(), instance_, IDB_GLYPH_MANUAL) ||
      !SpeedButton3_.Create(hwnd_, kSpeedButton3Id, kSpeedButton3.rect(), instance_, IDB_GLYPH_CHANGES) ||
      !SpeedButton1_.Create(hwnd_, kSpeedButton1Id, kSpeedButton1.rect(), instance_, IDB_GLYPH_CONTENTS)) {
    throw RaisedError("Cannot create the image buttons");
  }
  for (HWND control : {Button1_, ComboBox1_, ComboBoxEx1_, Label1_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }

  // ComboBox1: items keep the order they are added in; 21 pixels high when closed.
  SendMessageW(ComboBox1_, CB_SETMINVISIBLE, kDropDownCount, 0);
  FitComboHeight(ComboBox1_, kComboBox1.height);

  // ComboBoxEx1 with ImageList1: the two flags, "ENG" and "RUS".
  ImageList1_ = ImageList_Create(kFlagWidth, kFlagHeight, ILC_COLOR24, 2, 0);
  for (const int flag : {IDB_FLAG_UK, IDB_FLAG_RUSSIA}) {
    HBITMAP bitmap = LoadBitmapResource(instance_, flag);
    ImageList_Add(ImageList1_, bitmap, nullptr);
    DeleteObject(bitmap);
  }
  SendMessageW(ComboBoxEx1_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList1_));
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
  SendMessageW(ComboBoxEx1_, CB_SETITEMHEIGHT, 0, kComboBoxEx1ItemHeight);
  if (HWND inner = reinterpret_cast<HWND>(SendMessageW(ComboBoxEx1_, CBEM_GETCOMBOCONTROL, 0, 0))) {
    SendMessageW(inner, CB_SETMINVISIBLE, kDropDownCount, 0);
  }
  FitComboHeight(ComboBoxEx1_, kComboBoxEx1.height);

  CreateHints();
  lastFocus_ = ComboBox1_;
}

// A closed combo box is as high as its selection field makes it. Set the field once to learn the frame the
// control adds around it, then set it so the whole box is `height` pixels high.
void TForm1::FitComboHeight(HWND combo, int height) {
  auto boxHeight = [combo] {
    RECT rect;
    GetWindowRect(combo, &rect);
    return static_cast<int>(rect.bottom - rect.top);
  };
  if (boxHeight() == height) return;
  const LRESULT field = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (field == CB_ERR) return;
  SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  const int frame = boxHeight() - static_cast<int>(field);
  SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - frame);
}

void TForm1::CreateHints() {
  hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                           instance_, nullptr);
  if (!hints_) throw RaisedError("Cannot create the hint window");
  for (const TSpeedButton* button : {&SpeedButton1_, &SpeedButton2_, &SpeedButton3_}) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(button->Handle());
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(hints_, TTM_SETMAXTIPWIDTH, 0, kHintMaxWidth);
}

void TForm1::SetHintTiming() {
  SendMessageW(hints_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(kHintShowDelayMs, 0));
  SendMessageW(hints_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kHintHideDelayMs, 0));
  SendMessageW(hints_, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(kHintReshowDelayMs, 0));
}

void TForm1::SetHint(HWND tool, const std::string& text) {
  std::wstring wide = Widen(text);
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = hwnd_;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = wide.data();
  SendMessageW(hints_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

int TForm1::LabelTextWidth(const std::wstring& text) const {
  HDC dc = GetDC(Label1_);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(Label1_, dc);
  return size.cx;
}

void TForm1::SetButton1Enabled(bool enabled) {
  // A disabled window keeps no focus; hand it to the drive list so the keyboard still works.
  if (!enabled && GetFocus() == Button1_) SetFocus(ComboBox1_);
  EnableWindow(Button1_, enabled);
}

void TForm1::ShowMessageBox(const MessageBoxSpec& box) {
  const UINT icon = box.icon == BoxIcon::Error ? MB_ICONSTOP : MB_ICONINFORMATION;
  MessageBoxW(hwnd_, Widen(box.text).c_str(), Widen(box.caption).c_str(), MB_OK | icon);
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

// ComboBox1's items and selection field: the drive root on the window colour, or highlighted when selected.
void TForm1::DrawDriveItem(const DRAWITEMSTRUCT& item) {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != static_cast<UINT>(-1)) {
    const LRESULT length = SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0);
    if (length > 0) {
      std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
      SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
      text.resize(static_cast<std::size_t>(length));
      HGDIOBJ oldFont = SelectObject(dc, font_);
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

std::wstring TForm1::ApplicationTitle() const {
  if (!applicationTitle_.empty()) return applicationTitle_;
  return Widen(FallbackApplicationTitle(platform::OwnExecutablePath()));
}

// ---- Handlers ----

void TForm1::FormCreate() {
  state_ = StartProgram(FirmwareImages());
  SetHintTiming();
  SendMessageW(ComboBoxEx1_, CB_SETCURSEL, kInitialLanguageItem, 0);
  state_.Language = LanguageForItem(static_cast<int>(SendMessageW(ComboBoxEx1_, CB_GETCURSEL, 0, 0)));
  ApplyLanguage();
}

void TForm1::ApplyLanguage() {
  const WindowTexts texts =
      ComposeWindowTexts(state_.Language, FormatProgramVersion(platform::ReadOwnFileVersion()));
  std::wstring caption = Widen(texts.caption);
  SetWindowTextW(hwnd_, caption.c_str());
  applicationTitle_ = std::move(caption);

  const std::wstring label = Widen(texts.label);
  SetWindowTextW(Label1_, label.c_str());
  const int labelWidth = LabelTextWidth(label);
  SetWindowPos(Label1_, nullptr, kLabel1.left, kLabel1.top, labelWidth, kLabel1.height,
               SWP_NOZORDER | SWP_NOACTIVATE);

  SetWindowTextW(Button1_, Widen(texts.button).c_str());
  SetWindowPos(ComboBox1_, nullptr, DriveListLeft(kLabel1.left, labelWidth), kComboBox1.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  SetHint(SpeedButton1_.Handle(), texts.versionsHint);
  SetHint(SpeedButton2_.Handle(), texts.manualHint);
  SetHint(SpeedButton3_.Handle(), texts.changesHint);
}

void TForm1::Timer1Timer() {
  const auto update = RescanDrives(drives_, state_.LastDriveStringsLength, state_.CorruptCount);
  if (!update) return;
  SendMessageW(ComboBox1_, CB_RESETCONTENT, 0, 0);
  for (const std::string& drive : update->drives) {
    if (SendMessageW(ComboBox1_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(drive).c_str())) < 0) {
      throw std::bad_alloc();
    }
  }
  SendMessageW(ComboBox1_, CB_SETCURSEL, static_cast<WPARAM>(update->selectedIndex), 0);
  // The list drops down as far as its items need, up to eight of them.
  SetWindowPos(
      ComboBox1_, nullptr, 0, 0, kComboBox1.width,
      kComboBox1.height + DropDownHeight(static_cast<int>(update->drives.size()), kComboBox1ItemHeight),
      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetButton1Enabled(update->writeEnabled);
}

void TForm1::Button1Click() {
  // Only reachable with a drive selected; never write relative to the working folder.
  if (SendMessageW(ComboBox1_, CB_GETCURSEL, 0, 0) == CB_ERR) return;
  const std::string driveRoot = Narrow(WindowText(ComboBox1_));
  WriterWindow view(*this);
  WriteOutcome outcome;
  try {
    outcome = WriteBootModule(driveRoot, FirmwareImages(), files_, view);
  } catch (...) {
    DiscardPendingInput();
    throw;
  }
  // The result box comes after the input that queued up during the run has been dropped.
  DiscardPendingInput();
  ShowMessageBox(WriteResultBox(outcome, state_.Language));
}

void TForm1::SpeedButton1Click() {
  ShowMessageBox(ShowModuleContents(state_.Language, state_.CorruptCount));
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

template <class Handler>
void TForm1::Guarded(Handler&& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& e) {
    ReportUnhandled(e.what());
  } catch (...) {
    ReportUnhandled("Unknown error");
  }
}

void TForm1::ReportUnhandled(const char* message) noexcept {
  try {
    ErrorReporter(message);
  } catch (...) {
    // Composing the box failed (out of memory): show the bare text with what is at hand.
    MessageBoxA(hwnd_, message, nullptr, MB_OK | MB_ICONSTOP);
  }
}

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

// Like a dialog: the control that had the focus gets it back when the window is activated again (for example
// after a message box).
void TForm1::OnActivate(bool active) {
  if (!active) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
    return;
  }
  RestoreFocus();
}

void TForm1::RestoreFocus() {
  if (lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
    SetFocus(lastFocus_);
  } else if (ComboBox1_) {
    SetFocus(ComboBox1_);
  }
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
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
      measure->itemHeight = kComboBox1ItemHeight;
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_COMBOBOX || item->CtlID != static_cast<UINT>(kComboBox1Id)) break;
      DrawDriveItem(*item);
      return TRUE;
    }
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kTimer1Id);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      const HWND self = hwnd_;
      SetWindowLongPtrW(self, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return DefWindowProcW(self, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Every handler is guarded; this only keeps any other failure from unwinding into the system.
    form->ReportUnhandled("Unknown error");
    return 0;
  }
}

}  // namespace scaleboot::win32
