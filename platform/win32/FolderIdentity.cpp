#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {

// A folder is opened only with FILE_FLAG_BACKUP_SEMANTICS; no access is asked, so nothing in it is locked.
// A subst drive letter, or a volume mounted both at a letter and in a folder, shows the same folder with the
// same volume serial number and file index.
std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  const HANDLE folder =
      ::CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL known = ::GetFileInformationByHandle(folder, &info);
  ::CloseHandle(folder);
  if (!known || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return std::nullopt;
  return FolderIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace scaleboot::platform
