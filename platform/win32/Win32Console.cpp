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
  if (text.empty()) return;
  bool& failed = failed_[stream == Stream::Out ? 0 : 1];
  // Once a stream has failed (a pipe whose reader has gone), nothing more is tried on it.
  if (failed) return;
  // No handle at all (a program started without one) loses the text as surely as a full disk does.
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    failed = true;
    return;
  }
  if (IsConsole(handle)) {
    const std::wstring wide = Widen(text);
    DWORD written = 0;
    if (!::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
      failed = true;
    return;
  }
  // A pipe or a file: the UTF-8 bytes as they are, without a byte-order mark, so the reader decodes them the
  // same on any code page.
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = text.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(text.size());
    if (!::WriteFile(handle, text.data(), chunk, &written, nullptr) || written == 0) {
      failed = true;
      return;
    }
    text.remove_prefix(written);
  }
}

bool Win32Console::IsTerminal(Stream stream) {
  return IsConsole(HandleOf(stream));
}

bool Win32Console::Failed(Stream stream) {
  return failed_[stream == Stream::Out ? 0 : 1];
}

// The language of the user interface ("ru-RU" for a Russian Windows), which decides the language of messages.
std::string UserLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID locale = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (::LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0) <= 0) return {};
  return Narrow(name);
}

}  // namespace scaleboot::platform
