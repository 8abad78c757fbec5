#include <algorithm>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {

std::uint32_t Win32DriveSource::LogicalDriveStrings(std::span<char> buffer) {
  // The system fills a wide buffer of the same number of characters; it reports a result above that number,
  // the size it needs, when the list does not fit.
  const DWORD capacity = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
  std::wstring wide(capacity, L'\0');
  const DWORD length = ::GetLogicalDriveStringsW(capacity, capacity == 0 ? nullptr : wide.data());
  if (length == 0) return 0;
  if (length > capacity) return length;
  // Drive roots are ASCII, so the UTF-8 list has the same length; checked all the same, so that the copy
  // below can never run past the caller's buffer.
  const std::string list = Narrow(std::wstring_view(wide.data(), length));
  if (list.size() >= buffer.size()) return static_cast<std::uint32_t>(list.size() + 1);
  std::copy(list.begin(), list.end(), buffer.begin());
  buffer[list.size()] = '\0';
  return static_cast<std::uint32_t>(list.size());
}

namespace {

// Whether the volume at `root` holds the Windows folder: told by the volumes' GUID names, which no two
// volumes share whatever letters or folders they are mounted at; where a volume has none (a drive mapped to a
// folder), by the root of the Windows folder's volume. False when the Windows folder cannot be told.
bool HoldsWindowsFolder(const std::wstring& root) {
  wchar_t windows[MAX_PATH + 1] = {}, volumeRoot[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH || !::GetVolumePathNameW(windows, volumeRoot, MAX_PATH + 1))
    return false;
  wchar_t system[64] = {}, volume[64] = {};
  if (::GetVolumeNameForVolumeMountPointW(volumeRoot, system, 64) &&
      ::GetVolumeNameForVolumeMountPointW(root.c_str(), volume, 64))
    return ::lstrcmpiW(system, volume) == 0;
  return ::lstrcmpiW(volumeRoot, root.c_str()) == 0;
}

}  // namespace

unsigned Win32DriveSource::DriveType(const std::string& root) {
  const std::wstring wide = Widen(root);
  const unsigned type = ::GetDriveTypeW(wide.c_str());
  // Windows To Go and the like: the system's own volume reported removable is still no card.
  if (type == DRIVE_REMOVABLE && HoldsWindowsFolder(wide)) return kDriveSystemDisk;
  return type;
}

}  // namespace scaleboot::platform
