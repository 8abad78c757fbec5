#include "platform/win32/CardSlots.h"

#include <cstdio>
#include <type_traits>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

// "E:" for "e", "E:\" or "e:/".
std::string LetterOf(const std::string& reader) {
  if (reader.empty()) return reader;
  const char c = reader[0];
  return {static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c), ':'};
}

// The card in the drive `letter`, or empty while the drive is not ready.
std::string IdentityOf(const std::string& letter) {
  const std::wstring root = Widen(letter + "\\");
  DWORD serial = 0;
  // Ready: the volume answers and its root folder can be looked at (a drive mapped to a folder that is not
  // there answers the first question only).
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
      GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES)
    return {};
  wchar_t volume[64] = {};
  if (GetVolumeNameForVolumeMountPointW(root.c_str(), volume, 64)) return letter + Narrow(volume);
  // No volume GUID (a drive mapped to a folder): the drive is ready, and only its turning from not ready to
  // ready tells a new card.
  return letter + "ready";
}

}  // namespace

Win32CardSlots::Win32CardSlots() {
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);
}

std::vector<CardSlot> Win32CardSlots::Poll(std::span<const std::string> readers) {
  std::vector<std::string> letters;
  Win32DriveSource drives;
  const auto removable = [&drives](const std::string& letter) {
    return drives.DriveType(letter + "\\") == kDriveRemovable;
  };
  if (readers.empty()) {
    const DWORD mask = GetLogicalDrives();
    for (int i = 2; i < 26; ++i) {  // A: and B: are never asked, as in the drive list
      const std::string letter{static_cast<char>('A' + i), ':'};
      if ((mask & (1u << i)) && removable(letter)) letters.push_back(letter);
    }
  } else {
    for (const std::string& reader : readers) letters.push_back(LetterOf(reader));
  }
  std::vector<CardSlot> slots;
  for (const std::string& letter : letters) {
    // A named reader is written only while it is a removable drive; an empty one is not refused.
    std::string identity = IdentityOf(letter);
    if (!identity.empty() && !readers.empty() && !removable(letter)) {
      slots.push_back({letter, "", "", true, drives.DriveType(letter + "\\") == kDriveSystemDisk});
      continue;
    }
    slots.push_back({letter, identity.empty() ? "" : letter + "\\", identity});
  }
  return slots;
}

VolumeFacts Win32CardSlots::Describe(const std::string& root) {
  wchar_t label[MAX_PATH + 1] = {};
  DWORD serial = 0;
  if (!GetVolumeInformationW(Widen(root).c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr, nullptr, 0))
    return {};
  char text[10];
  std::snprintf(text, sizeof text, "%04lX-%04lX", static_cast<unsigned long>(serial >> 16),
                static_cast<unsigned long>(serial & 0xFFFF));
  return {Narrow(label), text};
}

// Closing the console, a logoff and a shutdown end the program once the handler returns: the cards in
// progress get what time there is.
constexpr DWORD kEndingHoldMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD type) {
  // A logoff or a shutdown stops the station as Ctrl+C does: the cards in progress are finished and recorded.
  const bool ending = type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && !ending) return FALSE;
  SetEvent(StopEvent());
  if (ending) Sleep(kEndingHoldMs);
  return TRUE;
}

namespace {

// The program imports no user32.dll: loaded at its start, Wine's user32 brings version.dll in by name, from
// the program's folder. The hidden window's calls come from the system folder's copy, once the station asks.
struct WindowCalls {
  decltype(&::RegisterClassW) registerClass = nullptr;
  decltype(&::CreateWindowExW) createWindow = nullptr;
  decltype(&::DefWindowProcW) defaultProc = nullptr;
  decltype(&::GetMessageW) getMessage = nullptr;
  decltype(&::DispatchMessageW) dispatch = nullptr;
};

const WindowCalls& User32Calls() {
  static const WindowCalls calls = [] {
    WindowCalls found;
    if (const HMODULE user32 = LoadSystemLibrary(L"user32.dll")) {
      const auto take = [user32](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)));
      };
      take(found.registerClass, "RegisterClassW");
      take(found.createWindow, "CreateWindowExW");
      take(found.defaultProc, "DefWindowProcW");
      take(found.getMessage, "GetMessageW");
      take(found.dispatch, "DispatchMessageW");
    }
    return found;
  }();
  return calls;
}

// A console program into which user32 is loaded hears of a logoff or a shutdown only as window messages: this
// hidden window, on a thread of its own, answers them as the console handler answers the console's events.
LRESULT CALLBACK EndingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      SetEvent(StopEvent());
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) Sleep(kEndingHoldMs);
      return 0;
    default:
      return User32Calls().defaultProc(window, message, wParam, lParam);
  }
}

DWORD WINAPI ServeEndingWindow(void*) {
  const WindowCalls& user32 = User32Calls();
  if (!user32.registerClass || !user32.createWindow || !user32.defaultProc || !user32.getMessage ||
      !user32.dispatch)
    return 1;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = EndingWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kEndingWindowClass;
  user32.registerClass(&windowClass);
  // Top-level, never shown: a message-only window gets no session messages.
  if (!user32.createWindow(0, kEndingWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                           windowClass.hInstance, nullptr))
    return 1;
  MSG message;
  while (user32.getMessage(&message, nullptr, 0, 0) > 0) user32.dispatch(&message);
  return 0;
}

}  // namespace

void InstallStopHandlers() {
  StopEvent();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (const HANDLE thread = CreateThread(nullptr, 0, ServeEndingWindow, nullptr, 0, nullptr))
    CloseHandle(thread);
}

bool WaitOrStop(int milliseconds) {
  return WaitForSingleObject(StopEvent(), static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

}  // namespace scaleboot::platform
