#include <string>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {

DllSearchCalls SystemDllSearchCalls() {
  DllSearchCalls calls;
  // kernel32.dll is in every process from its start; GetModuleHandleW takes no new DLL in.
  if (const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll")) {
    // Through void(*)() so that the cast between function types is one the compiler accepts without a
    // warning.
    calls.setDefaultDllDirectories = reinterpret_cast<decltype(calls.setDefaultDllDirectories)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  }
  calls.setDllDirectoryW = &::SetDllDirectoryW;
  return calls;
}

DllSearch RestrictDllSearch(const DllSearchCalls& calls) {
  if (calls.setDefaultDllDirectories && calls.setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return DllSearch::kSystemFolderOnly;
  if (calls.setDllDirectoryW && calls.setDllDirectoryW(L"")) return DllSearch::kNoCurrentFolder;
  return DllSearch::kUnchanged;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  // The full path alone decides; LOAD_WITH_ALTERED_SEARCH_PATH makes the DLL's own imports resolve from its
  // folder, the system folder, too.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace scaleboot::platform
