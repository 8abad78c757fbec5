#include "platform/win32/Win32Platform.h"
// After <windows.h>, which it needs.
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

namespace scaleboot::platform {

std::optional<std::span<const std::uint8_t>> Win32DocumentHost::FindDocumentData(std::string_view name) {
  // The program's own module: the executable these resources are linked into.
  const HMODULE module = ::GetModuleHandleW(nullptr);
  const std::wstring wideName = Widen(name);
  if (wideName.empty()) return std::nullopt;
  const HRSRC info = ::FindResourceW(module, wideName.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (info == nullptr) return std::nullopt;
  const HGLOBAL loaded = ::LoadResource(module, info);
  if (loaded == nullptr) return std::nullopt;
  const DWORD size = ::SizeofResource(module, info);
  const void* data = ::LockResource(loaded);
  if (data == nullptr) return std::nullopt;
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size);
}

std::string Win32DocumentHost::ProgramFolder() {
  const std::string path = OwnExecutablePath();
  const std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return {};
  return path.substr(0, separator) + "\\";
}

DocumentHost::SaveResult Win32DocumentHost::SaveFile(const std::string& path,
                                                     std::span<const std::uint8_t> bytes) {
  // Read and write access, shared with nobody while the document is written.
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    return {SaveStatus::CannotCreate, SystemErrorText(code), code};
  }
  SaveResult result;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD transferred = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &transferred, nullptr) || transferred == 0) {
      // The partly written file is closed and left where it is.
      result.status = SaveStatus::ShortWrite;
      break;
    }
    done += transferred;
  }
  ::CloseHandle(file);
  return result;
}

std::optional<std::string> DocumentFallbackFolder(DWORD code,
                                                  const std::optional<std::string>& localAppData) {
  if (code != ERROR_ACCESS_DENIED && code != ERROR_WRITE_PROTECT) return std::nullopt;
  if (!localAppData || localAppData->empty()) return std::nullopt;
  return *localAppData + "\\ScaleBoot\\";
}

std::optional<std::string> Win32DocumentHost::LocalAppDataFolder() {
  PWSTR path = nullptr;
  std::optional<std::string> folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path)
    folder = Narrow(path);
  ::CoTaskMemFree(path);
  return folder;
}

std::optional<std::string> Win32DocumentHost::FallbackFolder(const SaveResult& refused) {
  auto folder = DocumentFallbackFolder(refused.systemCode, LocalAppDataFolder());
  // An existing folder is fine; any other failure shows when the document is saved there.
  if (folder) ::CreateDirectoryW(Widen(*folder).c_str(), nullptr);
  return folder;
}

void Win32DocumentHost::ShellOpen(const std::string& path) {
  // The shell's answer is not looked at: without a registered viewer nothing is reported.
  ::ShellExecuteW(owner_, L"open", Widen(path).c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace scaleboot::platform
