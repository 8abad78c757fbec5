#include <climits>
#include <stdexcept>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

// The conversion functions take int lengths; longer texts cannot be converted in one call.
int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long to convert");
  return static_cast<int>(size);
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = CheckedLength(utf8.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  const int written = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = CheckedLength(wide.size());
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  const int written =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
  utf8.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return utf8;
}

std::string SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) result = Narrow(std::wstring_view(text, length));
  if (text != nullptr) ::LocalFree(text);
  // Never leave the user with an empty reason.
  if (result.find_first_not_of(" \t\r\n.") == std::string::npos)
    result = "System error " + std::to_string(code);
  return result;
}

}  // namespace scaleboot::platform
