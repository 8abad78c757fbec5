#include "main/win32/HintWindow.h"

#include <commctrl.h>

#include "platform/win32/Win32Platform.h"
#include "ui/Errors.h"

namespace scaleboot::win32 {
namespace {

// Wide enough that a hint breaks only at its CR LF.
constexpr int kHintMaxWidth = 1000;

}  // namespace

void THintWindow::Create(HWND owner, HINSTANCE instance, std::initializer_list<HWND> tools) {
  owner_ = owner;
  hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                          instance, nullptr);
  if (!hwnd_) throw RaisedError("Cannot create the hint window");
  for (const HWND toolWindow : tools) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner_;
    tool.uId = reinterpret_cast<UINT_PTR>(toolWindow);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(hwnd_, TTM_SETMAXTIPWIDTH, 0, kHintMaxWidth);
}

void THintWindow::SetTiming(int showDelayMs, int hideDelayMs, int reshowDelayMs) {
  SendMessageW(hwnd_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(showDelayMs, 0));
  SendMessageW(hwnd_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(hideDelayMs, 0));
  SendMessageW(hwnd_, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(reshowDelayMs, 0));
}

void THintWindow::SetText(HWND tool, const std::string& text) {
  std::wstring wide = platform::Widen(text);
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = owner_;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = wide.data();
  SendMessageW(hwnd_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace scaleboot::win32
