#include "common/Errors.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {

// A folder is opened only with FILE_FLAG_BACKUP_SEMANTICS; no access is asked, so nothing in it is locked.
// A subst drive letter, or a volume mounted both at a letter and in a folder, shows the same folder at the
// same path on the same device; two cards, even with one serial number, are two devices.
FolderLookup IdentifyFolderWith(const std::string& path, Win32FileCalls& calls) {
  const HANDLE folder =
      calls.CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (folder == INVALID_HANDLE_VALUE) return {std::nullopt, static_cast<int>(::GetLastError())};
  FolderLookup result;
  BY_HANDLE_FILE_INFORMATION info{};
  std::wstring devicePath(MAX_PATH, L'\0');
  if (!calls.GetFileInformationByHandle(folder, &info)) {
    result.code = static_cast<int>(::GetLastError());
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    result.code = io::kNotAFolder;
  } else {
    // The answer is the length without the terminating null, or, where the buffer is short, the size needed.
    DWORD length = calls.GetFinalPathNameByHandleW(folder, devicePath.data(),
                                                   static_cast<DWORD>(devicePath.size()), VOLUME_NAME_NT);
    if (length >= devicePath.size()) {
      devicePath.resize(length);
      length = calls.GetFinalPathNameByHandleW(folder, devicePath.data(),
                                               static_cast<DWORD>(devicePath.size()), VOLUME_NAME_NT);
    }
    if (length == 0 || length >= devicePath.size()) {
      result.code = length == 0 ? static_cast<int>(::GetLastError()) : ERROR_INSUFFICIENT_BUFFER;
    } else {
      devicePath.resize(length);
      result.identity = FolderIdentity{0, 0, Narrow(devicePath)};
    }
  }
  calls.CloseHandle(folder);
  return result;
}

FolderLookup IdentifyFolder(const std::string& path) {
  return IdentifyFolderWith(path, Win32FileCalls::System());
}

}  // namespace scaleboot::platform
