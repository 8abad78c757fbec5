// Drives the real ScaleBoot.exe from outside, the way a user would see it: finds its window in the same Wine
// prefix, reads its controls, clicks, waits for message boxes and checks what they say. Each stage is one
// invocation; the shell script around it changes the drives and files between stages.
//
// Output: one line per check ("ok - ..." or "FAIL - ..."), figures as "figure: name = value", and a last line
// "RESULT passed=N failed=M". The exit code is non-zero when any check failed.
#include <windows.h>
// After <windows.h>:
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <oleacc.h>
#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BuildInfo.h"
#include "images/FirmwareImages.h"
#include "main/Startup.h"
#include "main/win32/ControlIds.h"
#include "main/win32/Dpi.h"
#include "ui/Contents.h"
#include "ui/Documents.h"
#include "ui/Errors.h"
#include "ui/MessageTable.h"
#include "ui/ScaledLayout.h"
#include "ui/StationTexts.h"
#include "ui/TestMark.h"
#include "ui/WindowTexts.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using scaleboot::win32::ControlId;
namespace layout = scaleboot::layout;

// ---- Reporting ----

int g_passed = 0;
int g_failed = 0;

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

// Control characters shown visibly, so a CR LF in a text is seen in the log.
std::string Visible(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\n') {
      out += L"\\n";
    } else {
      out += c;
    }
  }
  return Utf8(out);
}

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

bool Check(bool ok, const std::string& name, const std::string& detail = {}) {
  if (ok) {
    ++g_passed;
    Say("ok - " + name);
  } else {
    ++g_failed;
    Say("FAIL - " + name + (detail.empty() ? "" : ": " + detail));
  }
  return ok;
}

bool CheckText(std::wstring_view actual, std::wstring_view expected, const std::string& name) {
  return Check(actual == expected, name,
               "got \"" + Visible(actual) + "\", expected \"" + Visible(expected) + "\"");
}

bool CheckInt(long long actual, long long expected, const std::string& name) {
  return Check(actual == expected, name,
               "got " + std::to_string(actual) + ", expected " + std::to_string(expected));
}

void Figure(const std::string& name, const std::string& value) {
  Say("figure: " + name + " = " + value);
}

// Polls `condition` every 20 ms until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(20ms);
  }
}

// ---- What the window must show ----

// The texts the window shows in one language, from the program's own message table.
struct Language {
  std::wstring title, label, button, versionsHint, manualHint, changesHint, versionsName, manualName,
      changesName, driveListName, contentsCaption, contentsText, corruptCaption, corruptText, writeOkCaption,
      writeOkText;
};

Language TextsOf(scaleboot::LanguageIndex language, const std::wstring& version) {
  using scaleboot::Msg;
  const scaleboot::WindowTexts texts =
      scaleboot::ComposeWindowTexts(language, Utf8(version), scaleboot::IsTestBuild());
  auto text = [language](Msg row) { return Wide(scaleboot::Text(language, row)); };
  const scaleboot::MessageBoxSpec contents =
      scaleboot::ShowModuleContents(language, 0, scaleboot::IsTestBuild());
  const scaleboot::MessageBoxSpec corrupt =
      scaleboot::ShowModuleContents(language, 1, scaleboot::IsTestBuild());
  return {
      Wide(texts.caption),     Wide(texts.label),         Wide(texts.button),        Wide(texts.versionsHint),
      Wide(texts.manualHint),  Wide(texts.changesHint),   Wide(texts.versionsName),  Wide(texts.manualName),
      Wide(texts.changesName), Wide(texts.driveListName), Wide(contents.caption),    Wide(contents.text),
      Wide(corrupt.caption),   Wide(corrupt.text),        text(Msg::WriteOkCaption), text(Msg::WriteOkText)};
}

Language Russian(const std::wstring& version) {
  return TextsOf(scaleboot::kRussian, version);
}

Language English(const std::wstring& version) {
  return TextsOf(scaleboot::kEnglish, version);
}

// The version the build stamps into the program.
const std::wstring kVersion = Wide(scaleboot::FormatProgramVersion(scaleboot::build::kFileVersionHigh));

// A control's rectangle in client pixels.
using Box = layout::Bounds;

// ---- Reading another process's windows ----

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  return std::wstring(text, std::min<std::size_t>(copied, 4095));
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) return -1;
  return static_cast<LRESULT>(result);
}

RECT ScreenRect(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  return rect;
}

// The rectangle of a control in its parent's client coordinates.
Box ClientBox(HWND control) {
  RECT rect = ScreenRect(control);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::string Describe(const Box& box) {
  return std::to_string(box.left) + "," + std::to_string(box.top) + "," + std::to_string(box.width) + "," +
         std::to_string(box.height);
}

bool CheckBox(HWND control, const Box& expected, const std::string& name) {
  const Box actual = ClientBox(control);
  const bool same = actual.left == expected.left && actual.top == expected.top &&
                    actual.width == expected.width && actual.height == expected.height;
  return Check(same, name, "got " + Describe(actual) + ", expected " + Describe(expected));
}

DWORD ThreadOf(HWND hwnd) {
  return GetWindowThreadProcessId(hwnd, nullptr);
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(ThreadOf(window), &info)) return nullptr;
  return info.hwndFocus;
}

// Memory in the other process, for the control messages that pass pointers.
class RemoteMemory {
 public:
  RemoteMemory(HWND window, std::size_t size) : size_(size) {
    process_ =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(window));
    if (process_) base_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteMemory() {
    if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;

  bool valid() const { return base_ != nullptr; }
  void* at(std::size_t offset) const { return static_cast<char*>(base_) + offset; }
  void Write(std::size_t offset, const void* data, std::size_t size) const {
    WriteProcessMemory(process_, at(offset), data, size, nullptr);
  }
  void Read(std::size_t offset, void* data, std::size_t size) const {
    ReadProcessMemory(process_, at(offset), data, size, nullptr);
  }
  std::wstring ReadText(std::size_t offset, std::size_t maxChars) const {
    std::vector<wchar_t> text(maxChars + 1, L'\0');
    Read(offset, text.data(), maxChars * sizeof(wchar_t));
    return text.data();
  }

 private:
  HANDLE process_ = nullptr;
  void* base_ = nullptr;
  std::size_t size_;
};

struct ComboExItem {
  std::wstring text;
  int image = -1;
};

ComboExItem ComboExItemAt(HWND comboEx, int index) {
  RemoteMemory memory(comboEx, 8192);
  if (!memory.valid()) return {};
  constexpr std::size_t kTextOffset = 1024;
  constexpr int kTextChars = 256;
  COMBOBOXEXITEMW item{};
  item.mask = CBEIF_TEXT | CBEIF_IMAGE;
  item.iItem = index;
  item.pszText = static_cast<wchar_t*>(memory.at(kTextOffset));
  item.cchTextMax = kTextChars;
  memory.Write(0, &item, sizeof(item));
  Send(comboEx, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.at(0)));
  memory.Read(0, &item, sizeof(item));
  return {memory.ReadText(kTextOffset, kTextChars), item.iImage};
}

std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  const LRESULT count = Send(combo, CB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    if (Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i)) < 512) {
      Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    }
    items.emplace_back(text);
  }
  return items;
}

std::wstring Joined(const std::vector<std::wstring>& items) {
  std::wstring out = L"[";
  for (const auto& item : items) out += (out.size() > 1 ? L", " : L"") + item;
  return out + L"]";
}

// ---- The program's windows ----

struct WindowSearch {
  std::wstring className;
  std::wstring caption;  // empty: any
  DWORD process = 0;     // 0: any
  HWND owner = nullptr;  // nullptr: any
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  if (!IsWindowVisible(hwnd) || ClassOf(hwnd) != search->className) return TRUE;
  if (search->process && ProcessOf(hwnd) != search->process) return TRUE;
  if (search->owner && GetWindow(hwnd, GW_OWNER) != search->owner) return TRUE;
  if (!search->caption.empty() && TextOf(hwnd) != search->caption) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindTopLevel(WindowSearch search) {
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMainWindow(std::chrono::milliseconds timeout) {
  HWND main = nullptr;
  WaitFor(
      [&] {
        return (main = FindTopLevel({scaleboot::win32::kFormClassName, L"", 0, nullptr})) != nullptr;
      },
      timeout);
  return main;
}

HWND Control(HWND main, ControlId id) {
  return GetDlgItem(main, id);
}

// A message box of the program, owned by its main window.
HWND FindBox(HWND main, const std::wstring& caption) {
  return FindTopLevel({L"#32770", caption, ProcessOf(main), main});
}

HWND WaitForBox(HWND main, const std::wstring& caption, std::chrono::milliseconds timeout) {
  HWND box = nullptr;
  WaitFor([&] { return (box = FindBox(main, caption)) != nullptr; }, timeout);
  return box;
}

HWND AnyBox(HWND main) {
  return FindTopLevel({L"#32770", L"", ProcessOf(main), main});
}

struct BoxContents {
  std::wstring text;
  HWND icon = nullptr;
  int buttons = 0;
  HWND okButton = nullptr;
};

BOOL CALLBACK CollectBoxChild(HWND child, LPARAM lParam) {
  auto* contents = reinterpret_cast<BoxContents*>(lParam);
  const std::wstring className = ClassOf(child);
  if (_wcsicmp(className.c_str(), L"Button") == 0) {
    ++contents->buttons;
    if (GetDlgCtrlID(child) == IDOK) contents->okButton = child;
  } else if (_wcsicmp(className.c_str(), L"Static") == 0) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      contents->icon = child;
    } else {
      const std::wstring text = TextOf(child);
      if (text.size() > contents->text.size()) contents->text = text;
    }
  }
  return TRUE;
}

BoxContents ReadBox(HWND box) {
  BoxContents contents;
  EnumChildWindows(box, CollectBoxChild, reinterpret_cast<LPARAM>(&contents));
  return contents;
}

void CloseBox(HWND box) {
  const BoxContents contents = ReadBox(box);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(contents.okButton));
}

// ---- Pixels on the screen ----

struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> data;  // RGB() values, row by row
  COLORREF at(int x, int y) const { return data[static_cast<std::size_t>(y * width + x)]; }
};

// The format of a 32-bit bitmap of `width` × `height` pixels, top row first.
BITMAPINFO Rgb32TopDown(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The pixels of such a bitmap as RGB() values.
std::vector<COLORREF> ColourRefs(const std::uint32_t* raw, std::size_t count) {
  std::vector<COLORREF> colours(count);
  for (std::size_t i = 0; i < count; ++i) {
    colours[i] = RGB((raw[i] >> 16) & 0xFF, (raw[i] >> 8) & 0xFF, raw[i] & 0xFF);
  }
  return colours;
}

Pixels CaptureScreen(const RECT& rect) {
  Pixels pixels;
  pixels.width = rect.right - rect.left;
  pixels.height = rect.bottom - rect.top;
  if (pixels.width <= 0 || pixels.height <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  const BITMAPINFO info = Rgb32TopDown(pixels.width, pixels.height);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  pixels.data = ColourRefs(static_cast<const std::uint32_t*>(bits),
                           static_cast<std::size_t>(pixels.width * pixels.height));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

constexpr COLORREF ColourRef(layout::Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}
constexpr COLORREF kTeal = ColourRef(layout::kGaugeFill);
constexpr COLORREF kWhite = ColourRef(layout::kGaugeBackground);
constexpr COLORREF kBlack = ColourRef(layout::kGaugeFrame);

struct GaugeLook {
  bool frameBlack = false;
  int tealWidth = 0;       // teal pixels from the inner left edge along the middle row
  bool restWhite = false;  // every inner pixel after the teal part is white
};

GaugeLook LookAtGauge(HWND gauge) {
  const Pixels pixels = CaptureScreen(ScreenRect(gauge));
  GaugeLook look;
  if (pixels.width < 3 || pixels.height < 3) return look;
  look.frameBlack = true;
  for (int x = 0; x < pixels.width; ++x) {
    look.frameBlack &= pixels.at(x, 0) == kBlack && pixels.at(x, pixels.height - 1) == kBlack;
  }
  for (int y = 0; y < pixels.height; ++y) {
    look.frameBlack &= pixels.at(0, y) == kBlack && pixels.at(pixels.width - 1, y) == kBlack;
  }
  const int middle = pixels.height / 2;
  while (1 + look.tealWidth < pixels.width - 1 && pixels.at(1 + look.tealWidth, middle) == kTeal) {
    ++look.tealWidth;
  }
  look.restWhite = true;
  for (int y = 1; y < pixels.height - 1; ++y) {
    for (int x = 1 + look.tealWidth; x < pixels.width - 1; ++x) look.restWhite &= pixels.at(x, y) == kWhite;
    for (int x = 1; x < 1 + look.tealWidth; ++x) look.restWhite &= pixels.at(x, y) == kTeal;
  }
  return look;
}

// The colour family of a message box's icon: 'r' when reddish pixels dominate (the error icon), 'b' when
// bluish ones do (the information icon), '?' otherwise.
char IconColour(HWND icon) {
  const Pixels pixels = CaptureScreen(ScreenRect(icon));
  int red = 0, blue = 0;
  for (COLORREF c : pixels.data) {
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    if (r > 150 && g < 110 && b < 110) ++red;
    if (b > 150 && r < 110) ++blue;
  }
  if (red > 20 && red > 2 * blue) return 'r';
  if (blue > 20 && blue > 2 * red) return 'b';
  return '?';
}

// A box's contents once its icon has been painted (a box paints after it appears).
BoxContents ReadBoxWithIcon(HWND box) {
  BoxContents contents;
  WaitFor(
      [&] {
        contents = ReadBox(box);
        return contents.icon && IconColour(contents.icon) != '?';
      },
      3s);
  return contents;
}

// ---- Checks shared by the stages ----

// FindTopLevel only sees visible windows; the hint window is hidden until a hint shows.
BOOL CALLBACK MatchHidden(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  if (ClassOf(hwnd) == search->className && ProcessOf(hwnd) == search->process &&
      GetWindow(hwnd, GW_OWNER) == search->owner) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindHintWindow(HWND main) {
  WindowSearch search{TOOLTIPS_CLASSW, L"", ProcessOf(main), main};
  EnumWindows(MatchHidden, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring HintText(HWND hints, HWND main, HWND tool) {
  RemoteMemory memory(hints, 16384);
  if (!memory.valid()) return L"<no memory>";
  constexpr std::size_t kTextOffset = 1024;
  constexpr int kTextChars = 4096;
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = main;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = static_cast<wchar_t*>(memory.at(kTextOffset));
  memory.Write(0, &info, sizeof(info));
  Send(hints, TTM_GETTEXTW, kTextChars, reinterpret_cast<LPARAM>(memory.at(0)));
  return memory.ReadText(kTextOffset, kTextChars);
}

// The tool whose hint is showing, or nullptr.
HWND CurrentHintTool(HWND hints) {
  RemoteMemory memory(hints, 4096);
  if (!memory.valid()) return nullptr;
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  memory.Write(0, &info, sizeof(info));
  if (!Send(hints, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(memory.at(0)))) return nullptr;
  memory.Read(0, &info, sizeof(info));
  return reinterpret_cast<HWND>(info.uId);
}

// A window of this driver showing `text` in the window's font on the window's background, in a static control
// far wider than the text: nothing of it can be clipped. The font and the label's height are those of the
// window at the DPI of `geometry`.
class ReferenceLabel {
 public:
  ReferenceLabel(const std::wstring& text, const layout::WindowGeometry& geometry)
      : height_(geometry.label1.height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = L"ReferenceLabel";
    RegisterClassExW(&wc);
    font_ = CreateFontW(-geometry.fontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                        L"MS Sans Serif");
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP, 0, 0,
                              kWidth, height_, nullptr, nullptr, wc.hInstance, nullptr);
    label_ = CreateWindowExW(0, L"Static", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0,
                             kWidth, height_, window_, nullptr, wc.hInstance, nullptr);
    SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    // Shown without taking the activation from the program: Wine then leaves the window to itself rather than
    // to a window manager, and does not wait for one when the window goes.
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    GdiFlush();
  }
  ~ReferenceLabel() {
    DestroyWindow(window_);
    DeleteObject(font_);
  }
  ReferenceLabel(const ReferenceLabel&) = delete;
  ReferenceLabel& operator=(const ReferenceLabel&) = delete;

  Pixels Capture(int width) const { return CaptureScreen({0, 0, width, height_}); }

 private:
  static constexpr int kWidth = 400;
  int height_;
  HFONT font_ = nullptr;
  HWND window_ = nullptr;
  HWND label_ = nullptr;
};

// The rightmost column of `pixels` holding a pixel unlike the top-right one (the background), or -1.
int InkRight(const Pixels& pixels) {
  if (pixels.data.empty()) return -1;
  const COLORREF background = pixels.at(pixels.width - 1, 0);
  for (int x = pixels.width - 1; x >= 0; --x) {
    for (int y = 0; y < pixels.height; ++y) {
      if (pixels.at(x, y) != background) return x;
    }
  }
  return -1;
}

// Label1 on the screen, from its left edge up to the drive list, must show exactly the ink of the same text
// drawn where nothing clips it; the label must hold all of that ink, and the drive list must start the gap
// after the label; all at the DPI of `g`.
void CheckLabelInk(HWND main, const std::wstring& text, const std::string& prefix,
                   const layout::WindowGeometry& g = layout::GeometryForDpi(layout::kBaseDpi)) {
  const HWND label = Control(main, scaleboot::win32::kLabel1Id);
  const HWND combo = Control(main, scaleboot::win32::kComboBox1Id);
  const Box labelBox = ClientBox(label);
  const Box comboBox = ClientBox(combo);
  CheckInt(labelBox.left, g.label1.left, prefix + "Label1 left edge");
  CheckInt(labelBox.top, g.label1.top, prefix + "Label1 top edge");
  CheckInt(labelBox.height, g.label1.height, prefix + "Label1 height");
  CheckInt(comboBox.left, labelBox.right() + g.driveListGap,
           prefix + "ComboBox1 starts the gap right of the label");
  Check(comboBox.top == g.comboBox1.top && comboBox.width == g.comboBox1.width &&
            comboBox.height == g.comboBox1.height,
        prefix + "ComboBox1 top and closed size", Describe(comboBox));

  const int width = comboBox.left - labelBox.left;
  if (!Check(width > 0, prefix + "room between the label and the list")) return;
  POINT origin{labelBox.left, labelBox.top};
  ClientToScreen(main, &origin);
  const ReferenceLabel reference(text, g);
  const Pixels whole = reference.Capture(width);
  Pixels shown;
  int differing = 0;
  // A label whose text just changed repaints when its window next has time for it.
  WaitFor(
      [&] {
        shown = CaptureScreen({origin.x, origin.y, origin.x + width, origin.y + labelBox.height});
        differing = 0;
        for (std::size_t i = 0; i < shown.data.size() && i < whole.data.size(); ++i) {
          differing += shown.data[i] != whole.data[i] ? 1 : 0;
        }
        return differing == 0;
      },
      2s);
  const int inkRight = InkRight(whole);
  std::string columns;
  for (int x = 0; x < shown.width && x < whole.width; ++x) {
    for (int y = 0; y < shown.height && y < whole.height; ++y) {
      if (shown.at(x, y) != whole.at(x, y)) {
        columns += ' ';
        columns += std::to_string(x);
        break;
      }
    }
  }
  Check(inkRight > 0 && differing == 0 && shown.data.size() == whole.data.size(),
        prefix + "Label1 shows the whole text (pixels equal the unclipped text)",
        std::to_string(differing) + " pixels differ, in columns" + columns +
            "; the text's ink ends at column " + std::to_string(inkRight) + ", label " +
            std::to_string(labelBox.width) + " px wide");
  Check(inkRight < labelBox.width, prefix + "Label1 holds all of the text's ink",
        "ink ends at column " + std::to_string(inkRight) + ", label " + std::to_string(labelBox.width) +
            " px wide");
}

// The name a screen reader gets for `control` through its accessible object.
std::wstring AccessibleName(HWND control) {
  static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(com)) return L"<no COM>";
  IAccessible* accessible = nullptr;
  const HRESULT found = AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                   reinterpret_cast<void**>(&accessible));
  if (FAILED(found) || !accessible) {
    wchar_t code[32];
    swprintf(code, 32, L"%08lx", static_cast<unsigned long>(found));
    return L"<no accessible object: " + std::wstring(code) + L">";
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  const HRESULT result = accessible->get_accName(self, &name);
  std::wstring out = SUCCEEDED(result) && name ? std::wstring(name, SysStringLen(name)) : L"";
  if (name) SysFreeString(name);
  accessible->Release();
  return out;
}

// Each image button is named by its hint's first line, the drive list by the label before it.
void CheckAccessibleNames(HWND main, const Language& lang, const std::string& prefix) {
  using namespace scaleboot::win32;
  const struct {
    ControlId id;
    const std::wstring& name;
    const char* control;
  } named[] = {
      {kSpeedButton1Id, lang.versionsName, "SpeedButton1"},
      {kSpeedButton2Id, lang.manualName, "SpeedButton2"},
      {kSpeedButton3Id, lang.changesName, "SpeedButton3"},
  };
  for (const auto& n : named) {
    CheckText(AccessibleName(Control(main, n.id)), n.name, prefix + n.control + " accessible name");
  }
  const HWND combo = Control(main, kComboBox1Id);
  const HWND before = GetWindow(combo, GW_HWNDPREV);
  Check(before == Control(main, kLabel1Id) && TextOf(before) == lang.driveListName,
        prefix + "ComboBox1 labelled by the label right before it",
        "window before it: \"" + Utf8(before ? TextOf(before) : L"<none>") + "\"");
}

// Texts that follow the language: caption, label, button, hints, and the drive list's place.
void CheckLanguageTexts(HWND main, const Language& lang, const std::string& prefix) {
  CheckText(TextOf(main), lang.title, prefix + "window caption");
  const HWND label = Control(main, scaleboot::win32::kLabel1Id);
  CheckText(TextOf(label), lang.label, prefix + "Label1 caption");
  CheckLabelInk(main, lang.label, prefix);
  CheckAccessibleNames(main, lang, prefix);
  CheckText(TextOf(Control(main, scaleboot::win32::kButton1Id)), lang.button, prefix + "Button1 caption");
  const HWND hints = FindHintWindow(main);
  if (!Check(hints != nullptr, prefix + "hint window exists")) return;
  CheckText(HintText(hints, main, Control(main, scaleboot::win32::kSpeedButton1Id)), lang.versionsHint,
            prefix + "SpeedButton1 hint");
  CheckText(HintText(hints, main, Control(main, scaleboot::win32::kSpeedButton2Id)), lang.manualHint,
            prefix + "SpeedButton2 hint (two lines)");
  CheckText(HintText(hints, main, Control(main, scaleboot::win32::kSpeedButton3Id)), lang.changesHint,
            prefix + "SpeedButton3 hint (two lines)");
}

// Selects a language the way the user's choice arrives: the selection moves, then the parent hears of it.
void SelectLanguage(HWND main, int item) {
  const HWND comboEx = Control(main, scaleboot::win32::kComboBoxEx1Id);
  Send(comboEx, CB_SETCURSEL, static_cast<WPARAM>(item));
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(scaleboot::win32::kComboBoxEx1Id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(comboEx));
}

void PostKey(HWND window, WPARAM key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// Selects a language as a user does: a click drops the selector's list (and gives it the focus), an arrow key
// moves to the item, Enter closes the list.
void SelectLanguageWithKeyboard(HWND main, int item) {
  const HWND comboEx = Control(main, scaleboot::win32::kComboBoxEx1Id);
  const HWND inner = reinterpret_cast<HWND>(Send(comboEx, CBEM_GETCOMBOCONTROL));
  const Box box = ClientBox(inner);
  const LPARAM point = MAKELPARAM(box.width - 8, box.height / 2);
  PostMessageW(inner, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(inner, WM_LBUTTONUP, 0, point);
  WaitFor([&] { return Send(inner, CB_GETDROPPEDSTATE) != 0; }, 2s);
  const LRESULT current = Send(comboEx, CB_GETCURSEL);
  PostKey(inner, item < current ? VK_UP : VK_DOWN);
  PostKey(inner, VK_RETURN);
}

bool WaitForCaption(HWND main, const std::wstring& caption) {
  return WaitFor([&] { return TextOf(main) == caption; }, 5s);
}

// Presses and releases the left mouse button over a control (client coordinates of its centre).
void ClickWithMouse(HWND control) {
  const Box box = ClientBox(control);
  const LPARAM point = MAKELPARAM(box.width / 2, box.height / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(control, WM_LBUTTONUP, 0, point);
}

// Clicks `button`, waits for the box with `caption`, checks its text and icon, closes it, and checks that the
// window was disabled meanwhile and gets its focus back.
void CheckBoxAfterClick(HWND main, HWND button, bool mouse, const std::wstring& caption,
                        const std::wstring& text, char iconColour, const std::string& name) {
  const HWND focusBefore = FocusOf(main);
  if (mouse) {
    ClickWithMouse(button);
  } else {
    PostMessageW(button, BM_CLICK, 0, 0);
  }
  const HWND box = WaitForBox(main, caption, 10s);
  if (!Check(box != nullptr, name + ": box with caption \"" + Utf8(caption) + "\" appears",
             AnyBox(main) ? "another box: \"" + Utf8(TextOf(AnyBox(main))) + "\"" : "no box")) {
    return;
  }
  const BoxContents contents = ReadBoxWithIcon(box);
  CheckText(contents.text, text, name + ": box text");
  CheckInt(contents.buttons, 1, name + ": box has only an OK button");
  Check(contents.icon && IconColour(contents.icon) == iconColour, name + ": box icon",
        std::string("icon colour ") + (contents.icon ? IconColour(contents.icon) : '-') + ", expected " +
            iconColour);
  Check(!IsWindowEnabled(main), name + ": main window disabled while the box is open");
  CloseBox(box);
  Check(WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5s), name + ": box closes");
  Check(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s), name + ": main window enabled again");
  Check(WaitFor([&] { return FocusOf(main) == focusBefore; }, 3s), name + ": focus back where it was");
}

// ---- Drives ----

// Wine's mount manager request that adds or removes a drive letter while programs run (what Wine does when a
// card reader is plugged in). Layout of Wine's struct mountmgr_unix_drive.
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};

// Maps `letter` to the Unix folder as a removable drive, or removes the letter when the folder is empty.
bool DefineDrive(wchar_t letter, const std::wstring& unixFolder) {
  const std::string folder = Utf8(unixFolder);
  std::vector<char> request(sizeof(UnixDriveRequest) + folder.size() + 1, '\0');
  auto* header = reinterpret_cast<UnixDriveRequest*>(request.data());
  header->size = static_cast<ULONG>(request.size());
  header->type = folder.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_REMOVABLE;
  header->letter = letter;
  if (!folder.empty()) {
    header->mountPointOffset = sizeof(UnixDriveRequest);
    std::copy(folder.begin(), folder.end(), request.begin() + sizeof(UnixDriveRequest));
  }
  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                                  static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return ok != FALSE;
}

// ---- Stages ----

// Starts the program (so the time to its window is measured) and returns when the window is up.
int StageStart(const std::wstring& exe) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + exe + L"\"";
  std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
  const auto begin = Clock::now();
  if (!Check(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &startup, &process) != FALSE,
             "ScaleBoot.exe starts", "CreateProcessW error " + std::to_string(GetLastError()))) {
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const HWND main = FindMainWindow(30s);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
  if (!Check(main != nullptr, "main window TForm1 appears")) return 1;
  Figure("start-up time to a visible window (ms)", std::to_string(elapsed.count()));
  // Ready when the first paint has been done and the window takes messages.
  Send(main, WM_NULL);
  return 0;
}

void StageLayout(HWND main) {
  const Language rus = Russian(kVersion);

  // The window.
  const LONG style = GetWindowLongW(main, GWL_STYLE);
  Check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU), "window has caption and system menu");
  Check(!(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)), "window cannot be resized or maximised",
        "style " + std::to_string(style));
  RECT client{};
  GetClientRect(main, &client);
  CheckInt(client.right, layout::kClientWidth, "client width");
  CheckInt(client.bottom, layout::kClientHeight, "client height");
  const RECT frame = ScreenRect(main);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const int dx = frame.left - (screenWidth - (frame.right - frame.left)) / 2;
  const int dy = frame.top - (screenHeight - (frame.bottom - frame.top)) / 2;
  Check(std::abs(dx) <= 1 && std::abs(dy) <= 1, "window centred on the desktop",
        "off by " + std::to_string(dx) + "," + std::to_string(dy));
  // The strip between the bar and the button row shows the window's own background.
  POINT strip{layout::kGauge1.left, layout::kGauge1.bottom() + 2};
  ClientToScreen(main, &strip);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const auto faceOnly = [&] {
    const Pixels background = CaptureScreen({strip.x, strip.y, strip.x + layout::kGauge1.width,
                                             strip.y + layout::kButton1.top - layout::kGauge1.bottom() - 4});
    return std::all_of(background.data.begin(), background.data.end(), [&](COLORREF c) { return c == face; });
  };
  Check(WaitFor(faceOnly, 3s), "background is the button-face colour");

  // Controls: class and rectangle.
  struct Expected {
    ControlId id;
    const wchar_t* className;
    Box box;
    const char* name;
  };
  using namespace scaleboot::win32;
  const Expected fixed[] = {
      {kComboBoxEx1Id, L"ComboBoxEx32", layout::kComboBoxEx1, "ComboBoxEx1"},
      {kGauge1Id, kGaugeClassName, layout::kGauge1, "Gauge1"},
      {kButton1Id, L"Button", layout::kButton1, "Button1"},
      {kSpeedButton2Id, kSpeedButtonClassName, layout::kSpeedButton2, "SpeedButton2"},
      {kSpeedButton3Id, kSpeedButtonClassName, layout::kSpeedButton3, "SpeedButton3"},
      {kSpeedButton1Id, kSpeedButtonClassName, layout::kSpeedButton1, "SpeedButton1"},
  };
  for (const Expected& e : fixed) {
    const HWND control = Control(main, e.id);
    if (!Check(control != nullptr, std::string(e.name) + " exists")) continue;
    CheckText(ClassOf(control), e.className, std::string(e.name) + " class");
    CheckBox(control, e.box, std::string(e.name) + " rectangle");
    const LONG controlStyle = GetWindowLongW(control, GWL_STYLE);
    Check(((controlStyle & WS_TABSTOP) != 0) == (e.id == kButton1Id),
          std::string(e.name) + (e.id == kButton1Id ? " is a Tab stop" : " is not a Tab stop"));
  }
  CheckText(ClassOf(Control(main, kLabel1Id)), L"Static", "Label1 class");
  const HWND combo = Control(main, kComboBox1Id);
  CheckText(ClassOf(combo), L"ComboBox", "ComboBox1 class");
  const LONG comboStyle = GetWindowLongW(combo, GWL_STYLE);
  Check((comboStyle & 3) == CBS_DROPDOWNLIST && !(comboStyle & CBS_SORT) && (comboStyle & WS_TABSTOP),
        "ComboBox1 is an unsorted drop-down list and a Tab stop");
  CheckInt(Send(combo, CB_GETITEMHEIGHT, 0), layout::kComboBox1ItemHeight, "ComboBox1 item height");
  const HWND comboEx = Control(main, kComboBoxEx1Id);
  CheckInt(GetWindowLongW(comboEx, GWL_STYLE) & 3, CBS_DROPDOWNLIST, "ComboBoxEx1 is a drop-down list");
  CheckInt(Send(comboEx, CB_GETITEMHEIGHT, 0), layout::kComboBoxEx1ItemHeight, "ComboBoxEx1 item height");
  CheckLanguageTexts(main, rus, "");

  // Initial state.
  CheckInt(Send(comboEx, CB_GETCOUNT), static_cast<long long>(scaleboot::kLanguageItems.size()),
           "ComboBoxEx1 has one item per language");
  const ComboExItem eng = ComboExItemAt(comboEx, 0), rusItem = ComboExItemAt(comboEx, 1);
  CheckText(eng.text, Wide(scaleboot::kLanguageItems[0]), "ComboBoxEx1 item 0 text");
  CheckText(rusItem.text, Wide(scaleboot::kLanguageItems[1]), "ComboBoxEx1 item 1 text");
  Check(eng.image == 0 && rusItem.image == 1, "ComboBoxEx1 items show flags 0 and 1");
  CheckInt(Send(comboEx, CB_GETCURSEL), scaleboot::kRussian, "RUS selected");
  Check(!IsWindowEnabled(Control(main, kButton1Id)), "Button1 disabled at start");
  Check(FocusOf(main) == combo, "keyboard focus on ComboBox1");
  GaugeLook gauge;
  WaitFor([&] { return (gauge = LookAtGauge(Control(main, kGauge1Id))).frameBlack; }, 3s);
  Check(gauge.frameBlack && gauge.tealWidth == 0 && gauge.restWhite,
        "Gauge1 drawn empty: black frame, white inside", "teal " + std::to_string(gauge.tealWidth));
  // After the first tick the list stays empty: the prefix has no removable drive yet.
  std::this_thread::sleep_for(1500ms);
  CheckInt(Send(combo, CB_GETCOUNT), 0, "drive list empty without a removable drive");
  Check(!IsWindowEnabled(Control(main, kButton1Id)), "Button1 stays disabled without a drive");
  // Tab with only the drive list enabled keeps the focus there.
  PostMessageW(combo, WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(combo, WM_KEYUP, VK_TAB, 0);
  std::this_thread::sleep_for(300ms);
  Check(FocusOf(main) == combo, "Tab with Button1 disabled stays on ComboBox1");
}

void StageLanguage(HWND main) {
  const Language eng = English(kVersion), rus = Russian(kVersion);
  const HWND combo = Control(main, scaleboot::win32::kComboBox1Id);
  const auto drivesBefore = ComboItems(combo);
  const LRESULT selectedBefore = Send(combo, CB_GETCURSEL);

  SelectLanguageWithKeyboard(main, 0);
  Check(WaitForCaption(main, eng.title), "ENG: caption changes");
  CheckInt(Send(Control(main, scaleboot::win32::kComboBoxEx1Id), CB_GETCURSEL), 0, "ENG: ENG selected");
  CheckLanguageTexts(main, eng, "ENG: ");
  Check(FocusOf(main) == combo, "ENG: focus moves to ComboBox1");
  Check(ComboItems(combo) == drivesBefore && Send(combo, CB_GETCURSEL) == selectedBefore,
        "ENG: drive list and selection unchanged");
  const HWND comboEx = Control(main, scaleboot::win32::kComboBoxEx1Id);
  CheckText(ComboExItemAt(comboEx, 0).text, Wide(scaleboot::kLanguageItems[0]),
            "ENG: selector items unchanged");
  CheckText(ComboExItemAt(comboEx, 1).text, Wide(scaleboot::kLanguageItems[1]),
            "ENG: selector items unchanged (RUS)");

  SelectLanguage(main, 1);
  Check(WaitForCaption(main, rus.title), "RUS again: caption changes back");
  CheckLanguageTexts(main, rus, "RUS again: ");
}

void StageHints(HWND main) {
  const HWND hints = FindHintWindow(main);
  if (!Check(hints != nullptr, "hint window exists")) return;
  CheckInt(Send(hints, TTM_GETDELAYTIME, TTDT_INITIAL), scaleboot::kHintShowDelayMs, "hint show delay");
  CheckInt(Send(hints, TTM_GETDELAYTIME, TTDT_AUTOPOP), scaleboot::kHintHideDelayMs, "hint hide delay");
  CheckInt(Send(hints, TTM_GETDELAYTIME, TTDT_RESHOW), scaleboot::kHintReshowDelayMs, "hint reshow delay");
  CheckInt(Send(hints, TTM_GETTOOLCOUNT), 3, "three hinted buttons");

  // Rest the mouse on each image button; its hint must show with its own text, two lines for the documents.
  int oneLineHeight = 0;
  for (const ControlId id : {scaleboot::win32::kSpeedButton1Id, scaleboot::win32::kSpeedButton2Id,
                             scaleboot::win32::kSpeedButton3Id}) {
    const HWND button = Control(main, id);
    const RECT rect = ScreenRect(button);
    SetCursorPos(rect.left + 12, rect.top + 12);
    const std::string name = "hint over button " + std::to_string(id - scaleboot::win32::kSpeedButton1Id + 1);
    const bool shown =
        WaitFor([&] { return IsWindowVisible(hints) && CurrentHintTool(hints) == button; }, 3s);
    if (!Check(shown, name + " shows")) continue;
    const RECT tip = ScreenRect(hints);
    const int height = tip.bottom - tip.top;
    if (id == scaleboot::win32::kSpeedButton1Id) {
      oneLineHeight = height;
    } else {
      Check(height >= oneLineHeight + 8, name + " is two lines high",
            std::to_string(height) + " px against " + std::to_string(oneLineHeight) + " for one line");
    }
  }
  // Away from the buttons the hint goes.
  const RECT frame = ScreenRect(main);
  SetCursorPos(frame.left + 100, frame.top + 38);
  Check(WaitFor([&] { return !IsWindowVisible(hints); }, 3s), "hint hides when the mouse leaves");
}

void StageContents(HWND main, bool corrupt) {
  const Language rus = Russian(kVersion), eng = English(kVersion);
  const HWND button = Control(main, scaleboot::win32::kSpeedButton1Id);
  if (corrupt) {
    CheckBoxAfterClick(main, button, true, rus.corruptCaption, rus.corruptText, 'r',
                       "corrupt contents (RUS)");
    return;
  }
  CheckBoxAfterClick(main, button, true, rus.contentsCaption, rus.contentsText, 'b', "contents (RUS)");
  SelectLanguage(main, 0);
  WaitForCaption(main, eng.title);
  CheckBoxAfterClick(main, button, false, eng.contentsCaption, eng.contentsText, 'b', "contents (ENG)");
  SelectLanguage(main, 1);
  WaitForCaption(main, rus.title);
}

void StageContentsOf(HWND main, const std::vector<std::wstring>& versions) {
  ClickWithMouse(Control(main, scaleboot::win32::kSpeedButton1Id));
  const HWND box = WaitForBox(main, Russian(kVersion).contentsCaption, 10s);
  const std::wstring text = box ? ReadBoxWithIcon(box).text : L"(no contents box)";
  for (const auto& v : versions)
    Check(text.find(v + L" - ") != text.npos, "box names " + Utf8(v), Utf8(text));
  if (box) CloseBox(box);
}

std::wstring DocumentFile(const scaleboot::DocumentChoice& document) {
  return Wide(document.fileName);
}

std::wstring ExpectedDocumentPath(const std::wstring& folder, const std::wstring& name) {
  return folder + (folder.empty() || folder.back() == L'\\' ? L"" : L"\\") + name;
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Clicks a document button and waits for the file to appear next to the program; no error box may show.
void ClickDocument(HWND main, ControlId id, const std::wstring& file, const std::string& name) {
  DeleteFileW(file.c_str());
  ClickWithMouse(Control(main, id));
  Check(WaitFor([&] { return FileSize(file) > 0; }, 10s), name + ": " + Utf8(file) + " written");
  // Answered once the click's handler has returned, or once it shows a box.
  Send(main, WM_NULL);
  Check(AnyBox(main) == nullptr, name + ": no error box");
  Check(IsWindowEnabled(main) != FALSE, name + ": window usable afterwards");
}

void StageDocuments(HWND main, const std::wstring& folder) {
  using namespace scaleboot::win32;
  const Language rus = Russian(kVersion), eng = English(kVersion);
  ClickDocument(main, kSpeedButton2Id,
                ExpectedDocumentPath(folder, DocumentFile(scaleboot::ManualDocument(scaleboot::kRussian))),
                "manual (RUS)");
  ClickDocument(main, kSpeedButton3Id,
                ExpectedDocumentPath(folder, DocumentFile(scaleboot::ChangesDocument())), "change log (RUS)");
  SelectLanguage(main, 0);
  WaitForCaption(main, eng.title);
  ClickDocument(main, kSpeedButton2Id,
                ExpectedDocumentPath(folder, DocumentFile(scaleboot::ManualDocument(scaleboot::kEnglish))),
                "manual (ENG)");
  Check(FileSize(ExpectedDocumentPath(folder, DocumentFile(scaleboot::ManualDocument(scaleboot::kRussian)))) <
                0 ||
            FileSize(ExpectedDocumentPath(folder,
                                          DocumentFile(scaleboot::ManualDocument(scaleboot::kEnglish)))) > 0,
        "manual (ENG) writes the English file");
  ClickDocument(main, kSpeedButton3Id,
                ExpectedDocumentPath(folder, DocumentFile(scaleboot::ChangesDocument())), "change log (ENG)");
  SelectLanguage(main, 1);
  WaitForCaption(main, rus.title);
  Check(FocusOf(main) == Control(main, kComboBox1Id), "image buttons leave the focus on ComboBox1");
}

// The manual's file cannot be created (a folder stands in its place, access denied) beside the program nor in
// %LOCALAPPDATA%\ScaleBoot\, where it goes next: the error reporter shows the second place and the system's
// reason under the window's caption, with a full stop. Once the second place is free, the manual goes there.
void StageDocumentError(HWND main, const std::wstring& folder) {
  const Language rus = Russian(kVersion);
  wchar_t local[MAX_PATH] = {};
  GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  CreateDirectoryW((std::wstring(local) + L"\\ScaleBoot").c_str(), nullptr);
  const std::wstring file = DocumentFile(scaleboot::ManualDocument(scaleboot::kRussian));
  const std::wstring path = std::wstring(local) + L"\\ScaleBoot\\" + file;
  DeleteFileW(path.c_str());  // a copy an earlier run saved there
  const DWORD first = GetFileAttributesW(ExpectedDocumentPath(folder, file).c_str());
  Check(first != INVALID_FILE_ATTRIBUTES && (first & FILE_ATTRIBUTE_DIRECTORY) &&
            CreateDirectoryW(path.c_str(), nullptr),
        "document error: a folder in the file's place in both folders");
  const std::wstring prefix = L"Cannot create file \"" + path + L"\". ";
  ClickWithMouse(Control(main, scaleboot::win32::kSpeedButton2Id));
  const HWND box = WaitForBox(main, rus.title, 10s);
  if (!Check(box != nullptr, "document error: box under the window caption")) return;
  const BoxContents contents = ReadBoxWithIcon(box);
  const std::wstring& text = contents.text;
  Check(text.rfind(prefix, 0) == 0, "document error: text names the file",
        "got \"" + Visible(text) + "\", expected it to start with \"" + Visible(prefix) + "\"");
  const std::wstring reason = text.size() > prefix.size() ? text.substr(prefix.size()) : L"";
  Check(reason.size() >= 2 && reason.back() == L'.' && reason[reason.size() - 2] != L'.' &&
            reason[reason.size() - 2] > L' ',
        "document error: system reason, trimmed, one full stop", "reason \"" + Visible(reason) + "\"");
  Check(contents.icon && IconColour(contents.icon) == 'r', "document error: error icon");
  CloseBox(box);
  Check(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s), "document error: window usable again");
  RemoveDirectoryW(path.c_str());
  ClickWithMouse(Control(main, scaleboot::win32::kSpeedButton2Id));
  Check(WaitFor([&] { return FileSize(path) > 0; }, 10s) && !WaitForBox(main, rus.title, 1s),
        "document refused beside the program: saved into %LOCALAPPDATA%\\ScaleBoot\\, no error box");
  DeleteFileW(path.c_str());
}

// The card E: is inserted: it must be listed, selected and writable within two seconds; a click
// writes and verifies with the bar moving, then the success box shows.
void StageCard(HWND main, const std::wstring& unixFolder) {
  using namespace scaleboot::win32;
  const Language rus = Russian(kVersion);
  const HWND combo = Control(main, kComboBox1Id);
  const HWND button = Control(main, kButton1Id);
  const HWND gauge = Control(main, kGauge1Id);
  if (!Check(DefineDrive(L'E', unixFolder), "card inserted as removable drive E:")) return;
  const auto begin = Clock::now();
  const bool listed = WaitFor(
      [&] { return ComboItems(combo) == std::vector<std::wstring>{L"E:\\"} && IsWindowEnabled(button); },
      2500ms);
  Figure("time until E:\\ is listed (ms)",
         std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count()));
  if (!Check(listed, "E:\\ listed within two seconds and Button1 enabled",
             "items " + Utf8(Joined(ComboItems(combo))))) {
    return;
  }
  CheckInt(Send(combo, CB_GETCURSEL), 0, "E:\\ selected");
  const Box comboBox = ClientBox(combo);
  Check(comboBox.width == layout::kComboBox1.width && comboBox.height == layout::kComboBox1.height,
        "ComboBox1 keeps its closed size with a drive listed", Describe(comboBox));
  CheckText(TextOf(combo), L"E:\\", "drive list shows E:\\");

  // Tab order: Button1, then ComboBox1 (the language selector and the image buttons are skipped).
  PostMessageW(combo, WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(combo, WM_KEYUP, VK_TAB, 0);
  Check(WaitFor([&] { return FocusOf(main) == button; }, 2s), "Tab from ComboBox1 goes to Button1");
  // A box gives the focus back to the control that had it, here Button1, not to the drive list.
  CheckBoxAfterClick(main, Control(main, scaleboot::win32::kSpeedButton1Id), false, rus.contentsCaption,
                     rus.contentsText, 'b', "contents from Button1 (RUS)");
  PostMessageW(button, WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(button, WM_KEYUP, VK_TAB, 0);
  Check(WaitFor([&] { return FocusOf(main) == combo; }, 2s), "Tab from Button1 goes back to ComboBox1");

  // The run: sample the bar on the screen until the box shows.
  PostMessageW(button, BM_CLICK, 0, 0);
  const auto runBegin = Clock::now();
  std::vector<int> widths;
  bool frameKept = true;
  bool disabledWhileMoving = false;
  HWND box = nullptr;
  const bool finished = WaitFor(
      [&] {
        // The bar first, then the box: the bar is cleared just before the box shows, and a look taken right
        // before the box is found is the best chance to see that. A look at a box over the bar is not kept.
        const GaugeLook look = LookAtGauge(gauge);
        const bool disabled = !IsWindowEnabled(button);
        const bool boxShown = (box = FindBox(main, rus.writeOkCaption)) != nullptr || AnyBox(main) != nullptr;
        if (!boxShown || look.frameBlack) {
          frameKept &= look.frameBlack;
          if (look.tealWidth > 0 && disabled) disabledWhileMoving = true;
          if (widths.empty() || widths.back() != look.tealWidth) widths.push_back(look.tealWidth);
        }
        return boxShown;
      },
      180s);
  // A box seen while it was still being set up may not have had its caption yet.
  if (finished && !box) box = WaitForBox(main, rus.writeOkCaption, 2s);
  const auto runMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - runBegin).count();
  Figure("write and verify run until the box (ms)", std::to_string(runMs));
  std::string seen;
  for (int w : widths) seen += std::to_string(w) + " ";
  Figure("bar fill widths seen during the run (px)", seen);
  if (!Check(finished && box != nullptr, "success box \"Запись завершена\" appears",
             AnyBox(main)
                 ? "other box: " + Utf8(TextOf(AnyBox(main))) + " / " + Visible(ReadBox(AnyBox(main)).text)
                 : "timed out")) {
    return;
  }
  const int inner = layout::kGauge1.width - 2;
  const bool rising = std::is_sorted(widths.begin(), widths.end()) ||
                      (widths.size() > 1 && std::is_sorted(widths.begin(), widths.end() - 1));
  const auto partial = std::count_if(widths.begin(), widths.end(), [&](int w) { return w > 0 && w < inner; });
  Check(partial >= 3, "bar seen moving during the run (at least three partial fills)", seen);
  Check(rising, "bar only grows during the run", seen);
  Check(std::any_of(widths.begin(), widths.end(), [&](int w) { return w > inner / 2 && w < inner; }),
        "bar passes half way (verify phase)", seen);
  Check(frameKept, "bar keeps its black frame during the run");
  Check(disabledWhileMoving, "Button1 disabled while the bar moves");

  const BoxContents contents = ReadBoxWithIcon(box);
  CheckText(contents.text, rus.writeOkText, "success box text");
  Check(contents.icon && IconColour(contents.icon) == 'b', "success box has the information icon");
  Check(!IsWindowEnabled(main), "window disabled while the success box is open");
  // The bar is cleared before the box opens, but under load the screen may show that only after the box is
  // up, over the bar; so the empty bar is checked once the box has closed (below), and the order by the
  // core's tests.
  Check(IsWindowEnabled(button) != FALSE, "Button1 enabled again");
  // The box lets the timer through: taking the card out and putting it back shows in the list meanwhile.
  DefineDrive(L'E', L"");
  Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 0; }, 2500ms) && IsWindow(box),
        "drive list follows a removed card while the box is open");
  DefineDrive(L'E', unixFolder);
  Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 1; }, 2500ms) && IsWindow(box),
        "drive list follows a re-inserted card while the box is open");
  CloseBox(box);
  Check(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s), "window usable after the box");
  // Once the area the box covered has been repainted, the bar shows empty.
  GaugeLook after;
  WaitFor(
      [&] {
        after = LookAtGauge(gauge);
        return after.tealWidth == 0 && after.restWhite && after.frameBlack;
      },
      5s);
  Check(after.tealWidth == 0 && after.restWhite && after.frameBlack, "bar drawn empty after the run",
        "teal " + std::to_string(after.tealWidth) + (after.restWhite ? "" : ", inside not white") +
            (after.frameBlack ? "" : ", frame not black"));
}

// A folder stands where the first card file goes: the error reporter shows "File access denied." under the
// window caption; the button stays disabled while the drive list does not change.
void StageCardError(HWND main) {
  using namespace scaleboot::win32;
  const Language rus = Russian(kVersion);
  const HWND button = Control(main, kButton1Id);
  if (!Check(WaitFor([&] { return IsWindowEnabled(button) != FALSE; }, 3s), "card error: Button1 enabled"))
    return;
  PostMessageW(button, BM_CLICK, 0, 0);
  const HWND box = WaitForBox(main, rus.title, 30s);
  if (!Check(box != nullptr, "card error: error box under the window caption")) return;
  const BoxContents contents = ReadBoxWithIcon(box);
  CheckText(contents.text, Wide(scaleboot::ErrorBoxText(scaleboot::IoError::TextFor(5))), "card error: text");
  Check(contents.icon && IconColour(contents.icon) == 'r', "card error: error icon");
  CloseBox(box);
  Check(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s), "card error: window usable again");
  std::this_thread::sleep_for(1500ms);
  Check(!IsWindowEnabled(button), "card error: Button1 stays disabled while the drives do not change");
}

// The card is taken out: the list empties and the button stays disabled.
void StageCardRemoved(HWND main) {
  using namespace scaleboot::win32;
  const HWND combo = Control(main, kComboBox1Id);
  if (!Check(DefineDrive(L'E', L""), "card removed from drive E:")) return;
  Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 0; }, 2500ms), "card removed: drive list empties");
  Check(!IsWindowEnabled(Control(main, kButton1Id)), "card removed: Button1 disabled");
}

// The card's drive letter goes away while the first file is being written: the run stops with an I/O error
// box when it reaches for the next file. (The shell script checks that no later file was written anywhere.)
void StageCardUnmapped(HWND main, const std::wstring& unixFolder, const std::wstring& firstFile) {
  using namespace scaleboot::win32;
  const Language rus = Russian(kVersion);
  const HWND combo = Control(main, kComboBox1Id);
  const HWND button = Control(main, kButton1Id);
  if (!Check(DefineDrive(L'E', unixFolder), "unmapped: card inserted as E:")) return;
  if (!Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 1 && IsWindowEnabled(button); }, 2500ms),
             "unmapped: E:\\ listed and Button1 enabled")) {
    return;
  }
  const long long firstLength = static_cast<long long>(scaleboot::FirmwareImages()[0].bytes.size());
  PostMessageW(button, BM_CLICK, 0, 0);
  const bool halfWritten = WaitFor([&] { return FileSize(firstFile) >= firstLength / 2; }, 30s);
  Check(halfWritten, "unmapped: the first file is being written");
  Check(DefineDrive(L'E', L""), "unmapped: drive letter E: removed during the run");
  const HWND box = WaitForBox(main, rus.title, 60s);
  if (!Check(box != nullptr, "unmapped: error box under the window caption",
             AnyBox(main) ? "other box: " + Utf8(TextOf(AnyBox(main))) : "no box")) {
    return;
  }
  const BoxContents contents = ReadBoxWithIcon(box);
  Figure("box text after the drive went away", Visible(contents.text));
  // The codes a path on a drive that is gone gives: file or path not found, invalid drive, not ready.
  bool known = false;
  for (const int code : {2, 3, 15, 21}) {
    known |= contents.text == Wide(scaleboot::ErrorBoxText(scaleboot::IoError::TextFor(code)));
  }
  Check(known, "unmapped: the box names an I/O error of a missing drive",
        "text \"" + Visible(contents.text) + "\"");
  Check(contents.icon && IconColour(contents.icon) == 'r', "unmapped: error icon");
  CloseBox(box);
  Check(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s), "unmapped: window usable again");
  Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 0 && !IsWindowEnabled(button); }, 2500ms),
        "unmapped: drive list empty and Button1 disabled");
}

// A build whose images failed the start-up test: a listed card does not enable writing.
void StageCorruptCard(HWND main, const std::wstring& unixFolder) {
  using namespace scaleboot::win32;
  const HWND combo = Control(main, kComboBox1Id);
  if (!Check(DefineDrive(L'E', unixFolder), "card inserted as removable drive E:")) return;
  // The tick that lists the card also decides the button; later ticks see no change and leave both alone.
  Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 1; }, 2500ms), "corrupt: E:\\ listed");
  Check(!IsWindowEnabled(Control(main, kButton1Id)), "corrupt: Button1 stays disabled with a card listed");
}

// ---- The station window ----

// Opens the drive list's menu as the menu key does; its window, "#32768", once it shows.
HWND OpenDriveMenu(HWND main) {
  PostMessageW(main, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Control(main, scaleboot::win32::kComboBox1Id)),
               -1);
  HWND menu = nullptr;
  WaitFor([&] { return (menu = FindTopLevel({L"#32768", L"", ProcessOf(main), nullptr})) != nullptr; }, 5s);
  Send(main, WM_NULL);
  return menu;
}

// Whether the menu's second (last) item is drawn in the menu's text colour, not greyed: dark pixels inside
// its lower half, away from the frame. The menu window exists before it is painted: this waits until the
// item's text is drawn at all (any pixel darker than the menu's face, grey or black) before it looks at its
// colour.
bool LastItemInked(HWND menu) {
  RECT rect = ScreenRect(menu);
  rect = {rect.left + 4, (rect.top + rect.bottom) / 2, rect.right - 4, rect.bottom - 4};
  Pixels shot;
  const auto any = [&](int below) {
    return std::any_of(shot.data.begin(), shot.data.end(), [below](COLORREF c) {
      return GetRValue(c) < below && GetGValue(c) < below && GetBValue(c) < below;
    });
  };
  WaitFor(
      [&] {
        shot = CaptureScreen(rect);
        return any(160);
      },
      5s);
  return any(64);
}

// Up from no selection goes to the last item, the station's; Enter chooses it.
HWND ChooseStation(HWND main, HWND menu) {
  PostKey(menu, VK_UP);
  PostKey(menu, VK_RETURN);
  HWND station = nullptr;
  const std::wstring title = Wide(scaleboot::MarkedTitle(
      scaleboot::kRussian, scaleboot::StationWords(scaleboot::kRussian, scaleboot::StationText::WindowTitle),
      scaleboot::IsTestBuild()));
  WaitFor(
      [&] {
        return (station = FindTopLevel({scaleboot::win32::kStationClassName, title, ProcessOf(main), main}));
      },
      3s);
  return station;
}

std::wstring ListText(HWND list, int row, int column) {
  RemoteMemory memory(list, 4096);
  if (!memory.valid()) return {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = static_cast<wchar_t*>(memory.at(1024));
  item.cchTextMax = 512;
  memory.Write(0, &item, sizeof(item));
  Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.at(0)));
  return memory.ReadText(1024, 512);
}

// With no drive listed: the menu's station item opens the window, owned by the main window, which takes no
// input meanwhile; the record goes to RECORD_FILE; a card whose drive appears is written and listed; Esc
// stops and closes. With `keep` the window stays open (for a screenshot).
void StageStation(HWND main, const std::wstring& unixFolder, const std::wstring& record, bool keep) {
  using namespace scaleboot::win32;
  using scaleboot::StationText;
  const auto words = [](StationText text) {
    return Wide(scaleboot::StationWords(scaleboot::kRussian, text));
  };
  const HWND menu = OpenDriveMenu(main);
  if (!Check(menu != nullptr, "station: the drive list's menu opens")) return;
  Check(LastItemInked(menu), "station: its item is enabled with no drive listed");
  const HWND station = ChooseStation(main, menu);
  if (!Check(station != nullptr, "station: the window opens, titled and owned by the main window")) return;
  Check(!IsWindowEnabled(main), "station: main window disabled while it is open");
  CheckText(Joined(ComboItems(GetDlgItem(station, kStationWatchId))),
            L"[" + words(StationText::EveryRemovableDrive) + L"]",
            "station: the only choice is every removable drive");
  // Tab goes round the drop-down, the list, the check box and both buttons.
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) {
    const HWND from = FocusOf(station);
    PostKey(from, VK_TAB);
    WaitFor([&] { return FocusOf(station) != from; }, 2s);
    order.push_back(GetDlgCtrlID(FocusOf(station)));
  }
  Check(order == std::vector<int>{kStationListId, kStationEjectId, kStationKeepRecordId, kStationStopId,
                                  kStationWatchId},
        "station: Tab reaches every control in turn");
  // Under Wine an eject would reach the host's device: the card is left in.
  const HWND eject = GetDlgItem(station, kStationEjectId);
  CheckInt(Send(eject, BM_GETCHECK), BST_CHECKED, "station: each card is ejected by default");
  ClickWithMouse(eject);
  Check(WaitFor([&] { return Send(eject, BM_GETCHECK) == BST_UNCHECKED; }, 2s), "station: eject unticked");
  // The record goes to a file that exists: it is appended to, with no question whether to replace it.
  PostMessageW(GetDlgItem(station, kStationKeepRecordId), BM_CLICK, 0, 0);
  HWND dialog = nullptr;
  WaitFor(
      [&] {
        return (dialog = FindTopLevel({L"#32770", words(StationText::RecordDialogTitle), 0, station}));
      },
      5s);
  if (Check(dialog != nullptr, "station: the record's save dialog opens, titled and owned by the window")) {
    // The file name's box (cmb13) is a ComboBoxEx32 whose combo box holds the edit a user types in.
    const HWND name = FindWindowExW(FindWindowExW(GetDlgItem(dialog, 0x47C), nullptr, L"ComboBox", nullptr),
                                    nullptr, L"Edit", nullptr);
    Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(record.c_str()));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    const std::wstring recording = Wide(scaleboot::Filled(
        scaleboot::StationWords(scaleboot::kRussian, StationText::RecordingTo), {Utf8(record)}));
    Check(WaitFor([&] { return TextOf(GetDlgItem(station, kStationRecordId)) == recording; }, 10s),
          "station: the window names the record file",
          Visible(TextOf(GetDlgItem(station, kStationRecordId))));
  }
  Send(station, WM_NULL);
  if (!Check(DefineDrive(L'E', unixFolder), "station: card inserted as removable drive E:")) return;
  const HWND list = GetDlgItem(station, kStationListId);
  // While the card is written Windows may not end the session; once it is done, it may.
  bool refused = false;
  const bool listed = WaitFor(
      [&] {
        refused |= Send(station, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == FALSE;
        return Send(list, LVM_GETITEMCOUNT) == 1;
      },
      30s);
  if (!Check(listed, "station: a row for the card")) return;
  Check(refused, "station: the end of the session is refused while the card is written");
  CheckInt(Send(station, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE,
           "station: and allowed once it is written");
  CheckText(ListText(list, 0, 1) + L" | " + ListText(list, 0, 2) + L" | " + ListText(list, 0, 3),
            L"E: | " + Russian(kVersion).writeOkText + L" | " + words(StationText::RemoveCard),
            "station: the row says the card was written and can be removed");
  CheckText(TextOf(GetDlgItem(station, kStationStatusId)),
            Wide(scaleboot::WaitingText(scaleboot::kRussian, 1, 0)), "station: the status line counts it");
  if (keep) return;
  PostKey(FocusOf(station), VK_ESCAPE);
  Check(WaitFor([&] { return !IsWindow(station); }, 5s), "station: Esc closes the window");
  Check(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 2s), "station: main window enabled again");
}

// A build whose images failed the start-up test: the item is greyed and choosing it opens nothing.
void StageCorruptStation(HWND main) {
  const HWND menu = OpenDriveMenu(main);
  if (!Check(menu != nullptr, "corrupt: the drive list's menu opens")) return;
  Check(!LastItemInked(menu), "corrupt: the station item is greyed");
  Check(ChooseStation(main, menu) == nullptr, "corrupt: choosing it opens no station window");
  PostKey(menu, VK_ESCAPE);
  Check(WaitFor([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 3s), "corrupt: the menu closes");
}

// ---- Display scales ----

// This driver measures and clicks in the screen's own pixels, whatever the DPI of the program's window: were
// it unaware of DPI, the system would scale what it sees of other windows to 96 DPI.
void BecomeDpiAware() {
  using SetContext = BOOL(WINAPI*)(HANDLE);
  const auto setContext = scaleboot::win32::User32Function<SetContext>("SetProcessDpiAwarenessContext");
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  if (setContext && setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
  SetProcessDPIAware();
}

// The manifest of the program `exe` (its RT_MANIFEST resource 1), or empty.
std::string ManifestOf(const std::wstring& exe) {
  std::string text;
  if (HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    if (HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
      const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, info)));
      if (bytes) text.assign(bytes, SizeofResource(module, info));
    }
    FreeLibrary(module);
  }
  return text;
}

// A bitmap file's pixels, top row first; empty when it cannot be read.
Pixels ReadBitmapFile(const std::wstring& path) {
  Pixels pixels;
  auto* bitmap = static_cast<HBITMAP>(
      LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!bitmap) return pixels;
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  BITMAPINFO format = Rgb32TopDown(info.bmWidth, info.bmHeight);
  std::vector<std::uint32_t> raw(static_cast<std::size_t>(info.bmWidth * info.bmHeight));
  HDC screen = GetDC(nullptr);
  const int rows =
      GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), raw.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  if (rows != info.bmHeight) return pixels;
  pixels.width = info.bmWidth;
  pixels.height = info.bmHeight;
  pixels.data = ColourRefs(raw.data(), raw.size());
  return pixels;
}

// Where `image` shows in `shown` pixel for pixel, pixels of `image` in its bottom-left pixel's colour
// matching anything when `keyed`; {-1, -1} when nowhere.
POINT FindImage(const Pixels& shown, const Pixels& image, bool keyed) {
  if (image.data.empty()) return {-1, -1};
  const COLORREF key = image.at(0, image.height - 1);
  for (int top = 0; top + image.height <= shown.height; ++top) {
    for (int left = 0; left + image.width <= shown.width; ++left) {
      bool same = true;
      for (int y = 0; y < image.height && same; ++y) {
        for (int x = 0; x < image.width && same; ++x) {
          const COLORREF c = image.at(x, y);
          same = (keyed && c == key) || shown.at(left + x, top + y) == c;
        }
      }
      if (same) return {left, top};
    }
  }
  return {-1, -1};
}

// The bitmap `name` of `kind` (glyphs, flags) as the program draws it at `dpi`: the file of the set made for
// that display scale, in the repository's resources folder.
std::wstring BitmapFile(const std::wstring& resources, const std::wstring& kind, const std::wstring& name,
                        int dpi) {
  const int scale = layout::kBitmapScales[layout::BitmapSetForDpi(dpi)];
  return resources + L"\\" + kind + L"\\" + (scale == 100 ? L"" : std::to_wstring(scale) + L"\\") + name +
         L".bmp";
}

struct ScaledControl {
  ControlId id;
  const char* name;
  Box at96;    // the layout's rectangle
  Box scaled;  // the same at the DPI under test
};

std::vector<ScaledControl> FixedControls(const layout::WindowGeometry& g) {
  using namespace scaleboot::win32;
  return {{kComboBoxEx1Id, "ComboBoxEx1", layout::kComboBoxEx1, g.comboBoxEx1},
          {kGauge1Id, "Gauge1", layout::kGauge1, g.gauge1},
          {kButton1Id, "Button1", layout::kButton1, g.button1},
          {kSpeedButton2Id, "SpeedButton2", layout::kSpeedButton2, g.speedButton2},
          {kSpeedButton3Id, "SpeedButton3", layout::kSpeedButton3, g.speedButton3},
          {kSpeedButton1Id, "SpeedButton1", layout::kSpeedButton1, g.speedButton1}};
}

// How two rectangles lie to each other: which starts further left and higher, and whether one lies wholly
// left of or above the other.
std::string Relation(const Box& a, const Box& b) {
  auto order = [](int x, int y) { return x < y ? '<' : x > y ? '>' : '='; };
  return {order(a.left, b.left),           order(a.top, b.top),
          a.right() <= b.left ? 'L' : '-', a.bottom() <= b.top ? 'A' : '-',
          b.right() <= a.left ? 'R' : '-', b.bottom() <= a.top ? 'B' : '-'};
}

// The window laid out for the DPI of `g`: every rectangle of the layout scaled, inside the client area, in
// the same order and proportions as at 96 DPI; item heights scaled; the label's whole text in the scaled
// font; the glyphs and the flag from the bitmaps drawn for that scale.
void CheckScaledLayout(HWND main, const layout::WindowGeometry& g, const std::wstring& resources,
                       const std::string& at) {
  using namespace scaleboot::win32;
  RECT client{};
  GetClientRect(main, &client);
  const double factor = g.dpi / 96.0;
  const std::vector<ScaledControl> controls = FixedControls(g);
  std::vector<Box> shown;
  for (const ScaledControl& c : controls) {
    const HWND control = Control(main, c.id);
    CheckBox(control, c.scaled, at + c.name + " rectangle scaled");
    const Box box = ClientBox(control);
    shown.push_back(box);
    Check(box.left >= 0 && box.top >= 0 && box.right() <= client.right && box.bottom() <= client.bottom,
          at + c.name + " inside the client area", Describe(box));
    // The image buttons keep their scaled widths but move left, by up to two pixels, to overlap by one.
    const double across = c.id == kSpeedButton2Id || c.id == kSpeedButton3Id ? 2.0 : 1.0;
    const double edges[][3] = {{static_cast<double>(box.left), c.at96.left * factor, across},
                               {static_cast<double>(box.top), c.at96.top * factor, 1.0},
                               {static_cast<double>(box.right()), c.at96.right() * factor, across},
                               {static_cast<double>(box.bottom()), c.at96.bottom() * factor, 1.0}};
    Check(std::all_of(std::begin(edges), std::end(edges),
                      [](const double* e) { return std::abs(e[0] - e[1]) <= e[2]; }),
          at + c.name + " in the proportions of 96 DPI (each edge within a pixel)", Describe(box));
  }
  std::string changed;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      if (Relation(shown[i], shown[j]) != Relation(controls[i].at96, controls[j].at96)) {
        changed += std::string(" ") + controls[i].name + "/" + controls[j].name;
      }
    }
  }
  Check(changed.empty(), at + "controls in the order of 96 DPI", "changed:" + changed);
  CheckInt(Send(Control(main, kComboBox1Id), CB_GETITEMHEIGHT, 0), g.comboBox1ItemHeight,
           at + "ComboBox1 item height");
  CheckInt(Send(Control(main, kComboBoxEx1Id), CB_GETITEMHEIGHT, 0), g.comboBoxEx1ItemHeight,
           at + "ComboBoxEx1 item height");
  CheckLabelInk(main, Russian(kVersion).label, at, g);

  // Each glyph centred on its button, pixel for pixel as drawn for this scale.
  const struct {
    ControlId id;
    const wchar_t* glyph;
  } glyphs[] = {{kSpeedButton2Id, L"manual"}, {kSpeedButton3Id, L"changes"}, {kSpeedButton1Id, L"contents"}};
  for (const auto& glyph : glyphs) {
    const Pixels image = ReadBitmapFile(BitmapFile(resources, L"glyphs", glyph.glyph, g.dpi));
    const HWND button = Control(main, glyph.id);
    if (!Check(!image.data.empty(), at + "glyph " + Utf8(glyph.glyph) + " read")) continue;
    POINT found{-1, -1};
    WaitFor([&] { return (found = FindImage(CaptureScreen(ScreenRect(button)), image, true)).x >= 0; }, 2s);
    const Box box = ClientBox(button);
    Check(
        found.x == (box.width - image.width) / 2 && found.y == (box.height - image.height) / 2,
        at + "glyph " + Utf8(glyph.glyph) + " (" + std::to_string(image.width) + " px) centred on its button",
        "found at " + std::to_string(found.x) + "," + std::to_string(found.y));
  }
  const Pixels flag = ReadBitmapFile(BitmapFile(resources, L"flags", L"russia", g.dpi));
  const HWND comboEx = Control(main, kComboBoxEx1Id);
  Check(!flag.data.empty() &&
            WaitFor([&] { return FindImage(CaptureScreen(ScreenRect(comboEx)), flag, false).x >= 0; }, 2s),
        at + "ComboBoxEx1 shows the flag drawn for this scale (" + std::to_string(flag.width) + " x " +
            std::to_string(flag.height) + ")");
}

// A real click of the left mouse button at a point of the screen.
void ClickAt(POINT point) {
  SetCursorPos(point.x, point.y);
  INPUT inputs[2]{};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// Clicks the middle of `box` (client coordinates of `main`), which must lie on `control`.
void ClickInside(HWND main, HWND control, const Box& box, const std::string& name) {
  POINT point{box.left + box.width / 2, box.top + box.height / 2};
  ClientToScreen(main, &point);
  // The mouse rests there first. A message box just closed, or a hint, may still cover the point for a moment
  // under Wine; the click waits for them to go, and for the program to have taken in the move.
  SetCursorPos(point.x, point.y);
  Check(WaitFor(
            [&] {
              const HWND hit = WindowFromPoint(point);
              return hit == control || IsChild(control, hit);
            },
            3s),
        name + ": the scaled position lies on the control");
  Send(main, WM_NULL);
  ClickAt(point);
}

// The system tells the window, shown at `from` DPI, that it is now shown at `dpi` (it was dragged to a
// monitor of that scale) and suggests a frame for it as the system does: the whole window, borders and
// caption too, scaled by dpi / from where it stands. The window goes where the frame says, with the client
// area of `dpi`.
void ChangeDpi(HWND main, int from, int dpi, const std::string& at) {
  const layout::WindowGeometry g = layout::GeometryForDpi(dpi);
  const RECT frame = ScreenRect(main);
  const RECT suggested{frame.left, frame.top, frame.left + MulDiv(frame.right - frame.left, dpi, from),
                       frame.top + MulDiv(frame.bottom - frame.top, dpi, from)};
  RemoteMemory memory(main, sizeof(RECT));
  if (!Check(memory.valid(), at + "memory for the suggested frame")) return;
  memory.Write(0, &suggested, sizeof(suggested));
  Send(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(memory.at(0)));
  const RECT now = ScreenRect(main);
  RECT client{};
  GetClientRect(main, &client);
  Check(now.left == suggested.left && now.top == suggested.top, at + "window stays at the suggested position",
        "at " + std::to_string(now.left) + "," + std::to_string(now.top));
  Check(client.right == g.clientWidth && client.bottom == g.clientHeight,
        at + "client area " + std::to_string(g.clientWidth) + " x " + std::to_string(g.clientHeight) +
            " in the linearly scaled frame " + std::to_string(suggested.right - suggested.left) + " x " +
            std::to_string(suggested.bottom - suggested.top),
        "client area " + std::to_string(client.right) + " x " + std::to_string(client.bottom));
}

// Windows 8.1 stood in for: no GetDpiForWindow, and a monitor whose effective DPI (kind 0) is 168.
HRESULT WINAPI Monitor168(HMONITOR, int kind, UINT* x, UINT* y) {
  *x = *y = 168;
  return kind == 0 ? S_OK : E_INVALIDARG;
}

// The program started at `dpi` (the prefix's LogPixels): its window, bitmaps and clicks at that scale, then a
// change of DPI to another scale and back.
void StageDpi(HWND main, int dpi, const std::wstring& programFolder, const std::wstring& resources,
              const std::wstring& unixCard) {
  using namespace scaleboot::win32;
  const layout::WindowGeometry g = layout::GeometryForDpi(dpi);
  const std::string at = std::to_string(dpi) + " DPI: ";
  const Language rus = Russian(kVersion);
  // Wine treats every window as aware of its monitor's DPI, whatever the program declares, so the declaration
  // is checked as written: per-monitor (v2) for Windows 10, true/pm for Windows 7 to 8.1.
  const std::string manifest = ManifestOf(ExpectedDocumentPath(programFolder, L"ScaleBoot.exe"));
  Check(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>") != std::string::npos &&
            manifest.find(">true/pm</dpiAware>") != std::string::npos,
        at + "the program declares per-monitor DPI awareness");
  // Without GetDpiForWindow, WindowDpi gives the system's DPI, which would say nothing about the window.
  Check(User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow") != nullptr,
        at + "the system has GetDpiForWindow");
  CheckInt(WindowDpi(main), dpi, at + "the window has the display's DPI");
  const auto& real = SystemDpiFunctions();
  Check(real.getDpiForMonitor != nullptr, at + "shcore.dll's GetDpiForMonitor found");
  CheckInt(WindowDpi(main, {nullptr, Monitor168}), 168, at + "no GetDpiForWindow: the monitor's DPI");
  CheckInt(WindowDpi(main, {real.getDpiForWindow, Monitor168}), dpi, at + "GetDpiForWindow asked first");
  RECT client{};
  GetClientRect(main, &client);
  Figure("client area at " + std::to_string(dpi) + " DPI",
         std::to_string(client.right) + " x " + std::to_string(client.bottom));
  CheckInt(client.right, g.clientWidth, at + "client width, 311 scaled");
  CheckInt(client.bottom, g.clientHeight, at + "client height, 83 scaled");
  CheckScaledLayout(main, g, resources, at);
  GaugeLook gauge;
  WaitFor([&] { return (gauge = LookAtGauge(Control(main, kGauge1Id))).frameBlack; }, 3s);
  Check(gauge.frameBlack && gauge.tealWidth == 0 && gauge.restWhite, at + "Gauge1 drawn empty in its frame");

  // Clicks at the scaled positions: the drive list, the image buttons, the write button.
  const HWND combo = Control(main, kComboBox1Id);
  const HWND button = Control(main, kButton1Id);
  if (!Check(DefineDrive(L'E', unixCard), at + "card inserted as E:")) return;
  if (!Check(WaitFor([&] { return Send(combo, CB_GETCOUNT) == 1 && IsWindowEnabled(button); }, 2500ms),
             at + "E:\\ listed and Button1 enabled")) {
    return;
  }
  const Box label = ClientBox(Control(main, kLabel1Id));
  ClickInside(main, combo,
              {g.DriveListLeft(label.width), g.comboBox1.top, g.comboBox1.width, g.comboBox1.height},
              at + "ComboBox1");
  if (Check(WaitFor([&] { return Send(combo, CB_GETDROPPEDSTATE) != 0; }, 2s),
            at + "a click drops the drive list")) {
    RECT dropped{};
    Send(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    ClickAt(
        {(dropped.left + dropped.right) / 2, g.comboBox1.height + dropped.top + g.comboBox1ItemHeight / 2});
    Check(WaitFor([&] { return Send(combo, CB_GETDROPPEDSTATE) == 0; }, 2s) && Send(combo, CB_GETCURSEL) == 0,
          at + "a click on its item closes the list with E:\\ selected");
  }
  const struct {
    ControlId id;
    Box box;
    std::wstring file;
  } documents[] = {
      {kSpeedButton2Id, g.speedButton2, DocumentFile(scaleboot::ManualDocument(scaleboot::kRussian))},
      {kSpeedButton3Id, g.speedButton3, DocumentFile(scaleboot::ChangesDocument())}};
  for (const auto& document : documents) {
    const std::wstring path = ExpectedDocumentPath(programFolder, document.file);
    DeleteFileW(path.c_str());
    const std::string name = at + "click on " + Utf8(document.file) + "'s button";
    ClickInside(main, Control(main, document.id), document.box, name);
    Check(WaitFor([&] { return FileSize(path) > 0; }, 10s), name + " saves it");
    Send(main, WM_NULL);
  }
  ClickInside(main, Control(main, kSpeedButton1Id), g.speedButton1, at + "SpeedButton1");
  if (const HWND box = WaitForBox(main, rus.contentsCaption, 10s);
      Check(box != nullptr, at + "its click shows the contents")) {
    CloseBox(box);
    WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s);
  }
  // A folder stands where the first file goes: a run fails at once, with its error box.
  ClickInside(main, button, g.button1, at + "Button1");
  if (const HWND box = WaitForBox(main, rus.title, 30s);
      Check(box != nullptr, at + "its click runs the writer")) {
    CheckText(ReadBox(box).text, Wide(scaleboot::ErrorBoxText(scaleboot::IoError::TextFor(5))),
              at + "the writer's error box");
    CloseBox(box);
    WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s);
  }
  DefineDrive(L'E', L"");

  // Dragged to a monitor of another scale and back.
  const int other = dpi == layout::kBaseDpi ? 192 : layout::kBaseDpi;
  const std::string there = at + "moved to " + std::to_string(other) + " DPI: ";
  ChangeDpi(main, dpi, other, there);
  CheckScaledLayout(main, layout::GeometryForDpi(other), resources, there);
  const std::string back = at + "back from " + std::to_string(other) + " DPI: ";
  ChangeDpi(main, other, dpi, back);
  CheckScaledLayout(main, g, resources, back);
}

void StageTitle(HWND main, const std::wstring& version) {
  CheckText(TextOf(main), Russian(version).title, "caption shows the version " + Utf8(version));
}

void StageClose(HWND main) {
  DWORD pid = ProcessOf(main);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  PostMessageW(main, WM_CLOSE, 0, 0);
  const bool ended = process && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
  if (process) CloseHandle(process);
  Check(ended, "closing the window ends the program");
}

// ---- Preparing altered copies of the program ----

bool ReadWholeFile(const std::wstring& path, std::vector<char>& data) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<char>& data) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

// Rewrites the file version in the version resource of `exe`, or blanks the resource when major < 0.
int PatchVersion(const std::wstring& exe, int major, int minor) {
  std::vector<char> block;
  std::vector<WORD> languages;
  {
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!Check(module != nullptr, "load the copy as data")) return 1;
    EnumResourceLanguagesW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));  // RT_VERSION, VS_VERSION_INFO
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (info) {
      const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, info)));
      block.assign(bytes, bytes + SizeofResource(module, info));
    }
    FreeLibrary(module);
  }
  if (!Check(!block.empty() && languages.size() == 1, "the copy has one version resource")) return 1;
  HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
  if (!Check(update != nullptr, "open the copy for resource update")) return 1;
  BOOL ok = FALSE;
  if (major < 0) {
    // An empty block in place of the version information: nothing can be read from it. (Wine does not
    // delete resources through UpdateResourceW.)
    std::vector<char> empty(64, '\0');
    ok = UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), languages[0], empty.data(),
                         static_cast<DWORD>(empty.size()));
  } else {
    const DWORD signature = 0xFEEF04BD;
    auto at = std::search(block.begin(), block.end(), reinterpret_cast<const char*>(&signature),
                          reinterpret_cast<const char*>(&signature) + 4);
    if (!Check(at != block.end(), "fixed file information found")) return 1;
    auto* fixed = reinterpret_cast<VS_FIXEDFILEINFO*>(&*at);
    fixed->dwFileVersionMS = (static_cast<DWORD>(major) << 16) | static_cast<DWORD>(minor);
    ok = UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), languages[0], block.data(),
                         static_cast<DWORD>(block.size()));
  }
  const BOOL written = EndUpdateResourceW(update, FALSE);
  Check(ok && written, "version resource of the copy rewritten");
  return 0;
}

// Changes one payload byte of an embedded image in `exe`, found by the image file's own bytes.
int CorruptFirmware(const std::wstring& exe, const std::wstring& image) {
  std::vector<char> program, firmware;
  if (!Check(ReadWholeFile(exe, program) && ReadWholeFile(image, firmware) && firmware.size() > 4096,
             "read the copy and the image")) {
    return 1;
  }
  auto at = std::search(program.begin(), program.end(), firmware.begin(), firmware.begin() + 4096);
  if (!Check(at != program.end(), "image found inside the program")) return 1;
  at[100] = static_cast<char>(at[100] ^ 0x5A);
  Check(WriteWholeFile(exe, program), "copy with a damaged image written");
  return 0;
}

int Usage() {
  Say("usage: win32_window_driver STAGE [ARG...]");
  Say("stages: start EXE | layout | language | hints | contents | corrupt-contents | documents FOLDER |");
  Say("        document-error FOLDER | card UNIX_FOLDER | card-error | card-removed |");
  Say("        card-unmapped UNIX_FOLDER FIRST_FILE | corrupt-card UNIX_FOLDER |");
  Say("        title VERSION | close | patch-version EXE MAJOR MINOR | blank-version EXE |");
  Say("        corrupt-firmware EXE IMAGE | remove-card | dpi DPI PROGRAM_FOLDER RESOURCES UNIX_FOLDER |");
  Say("        station UNIX_FOLDER RECORD_FILE [keep] | corrupt-station | contents-of VERSION...");
  return 2;
}

int Run(const std::vector<std::wstring>& args) {
  if (args.empty()) return Usage();
  const std::wstring& stage = args[0];
  auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::wstring(); };
  if (stage == L"start") return StageStart(arg(1));
  if (stage == L"patch-version") return PatchVersion(arg(1), _wtoi(arg(2).c_str()), _wtoi(arg(3).c_str()));
  if (stage == L"blank-version") return PatchVersion(arg(1), -1, 0);
  if (stage == L"corrupt-firmware") return CorruptFirmware(arg(1), arg(2));
  if (stage == L"remove-card") {
    DefineDrive(L'E', L"");  // absent already is fine
    return 0;
  }

  const HWND main = FindMainWindow(10s);
  if (!Check(main != nullptr, "main window found")) return 1;
  // Wine without a window manager may hold the program for about two seconds after a box closes (it waits
  // for the box's X window to be withdrawn); start each stage once the program answers again.
  Send(main, WM_NULL);
  if (stage == L"layout") {
    StageLayout(main);
  } else if (stage == L"language") {
    StageLanguage(main);
  } else if (stage == L"hints") {
    StageHints(main);
  } else if (stage == L"contents") {
    StageContents(main, false);
  } else if (stage == L"corrupt-contents") {
    StageContents(main, true);
  } else if (stage == L"contents-of") {
    StageContentsOf(main, {args.begin() + 1, args.end()});
  } else if (stage == L"documents") {
    StageDocuments(main, arg(1));
  } else if (stage == L"document-error") {
    StageDocumentError(main, arg(1));
  } else if (stage == L"card") {
    StageCard(main, arg(1));
  } else if (stage == L"card-error") {
    StageCardError(main);
  } else if (stage == L"card-removed") {
    StageCardRemoved(main);
  } else if (stage == L"card-unmapped") {
    StageCardUnmapped(main, arg(1), arg(2));
  } else if (stage == L"corrupt-card") {
    StageCorruptCard(main, arg(1));
  } else if (stage == L"dpi") {
    StageDpi(main, _wtoi(arg(1).c_str()), arg(2), arg(3), arg(4));
  } else if (stage == L"station") {
    StageStation(main, arg(1), arg(2), arg(3) == L"keep");
  } else if (stage == L"corrupt-station") {
    StageCorruptStation(main);
  } else if (stage == L"title") {
    StageTitle(main, arg(1));
  } else if (stage == L"close") {
    StageClose(main);
  } else {
    return Usage();
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  BecomeDpiAware();
  std::vector<std::wstring> args(argv + 1, argv + argc);
  const int status = Run(args);
  Say("RESULT passed=" + std::to_string(g_passed) + " failed=" + std::to_string(g_failed));
  return g_failed != 0 ? 1 : status;
}
