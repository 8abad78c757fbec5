#include <vector>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

// GetModuleFileNameW of the program, growing the buffer until the whole path fits (long paths exceed
// MAX_PATH). Empty when it cannot be read.
std::wstring OwnExecutablePathW() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    // Truncated: the result filled the whole buffer.
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

// Through void(*)() so that the cast between function types is one the compiler accepts without a warning.
template <typename Function>
void Find(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

std::optional<std::uint32_t> ReadFileVersionOfW(const std::wstring& widePath, const VersionCalls& calls) {
  if (widePath.empty() || !calls.getFileVersionInfoSizeW || !calls.getFileVersionInfoW ||
      !calls.verQueryValueW)
    return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = calls.getFileVersionInfoSizeW(widePath.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> data(size);
  if (!calls.getFileVersionInfoW(widePath.c_str(), 0, size, data.data())) return std::nullopt;
  void* value = nullptr;
  UINT valueLength = 0;
  if (!calls.verQueryValueW(data.data(), L"\\", &value, &valueLength)) return std::nullopt;
  if (value == nullptr || valueLength < sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (info->dwSignature != VS_FFI_SIGNATURE) return std::nullopt;
  return info->dwFileVersionMS;
}

}  // namespace

std::string OwnExecutablePath() {
  return Narrow(OwnExecutablePathW());
}

const VersionCalls& SystemVersionCalls() {
  static const VersionCalls calls = [] {
    VersionCalls found;
    if (const HMODULE version = LoadSystemLibrary(L"version.dll")) {
      Find(version, "GetFileVersionInfoSizeW", found.getFileVersionInfoSizeW);
      Find(version, "GetFileVersionInfoW", found.getFileVersionInfoW);
      Find(version, "VerQueryValueW", found.verQueryValueW);
    }
    return found;
  }();
  return calls;
}

std::optional<std::uint32_t> ReadFileVersionOf(const std::string& path, const VersionCalls& calls) {
  return ReadFileVersionOfW(Widen(path), calls);
}

// Read from the executable file on every call: only version.dll's functions are kept.
// Windows keeps its time service's state to itself (w32tm asks the service): nothing is known here.
std::optional<bool> ClockSynchronised() {
  return std::nullopt;
}

std::optional<std::uint32_t> ReadOwnFileVersion() {
  return ReadFileVersionOfW(OwnExecutablePathW(), SystemVersionCalls());
}

}  // namespace scaleboot::platform
