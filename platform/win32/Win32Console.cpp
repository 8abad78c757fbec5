#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

HANDLE HandleOf(Console::Stream stream) {
  return ::GetStdHandle(stream == Console::Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != FALSE;
}

}  // namespace

void Win32Console::Write(Stream stream, std::string_view text) {
  const HANDLE handle = HandleOf(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  if (IsConsole(handle)) {
    const std::wstring wide = Widen(text);
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // A pipe or a file: the UTF-8 bytes as they are, so the reader decodes them the same on any code page.
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = text.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(text.size());
    if (!::WriteFile(handle, text.data(), chunk, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

bool Win32Console::IsTerminal(Stream stream) {
  return IsConsole(HandleOf(stream));
}

// The language of the user interface ("ru-RU" for a Russian Windows), which decides the language of messages.
std::string UserLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID locale = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (::LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0) <= 0) return {};
  return Narrow(name);
}

}  // namespace scaleboot::platform
