#include <algorithm>

#include "platform/win32/SystemVolume.h"
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

unsigned Win32DriveSource::DriveType(const std::string& root) {
  const std::wstring wide = Widen(root);
  const unsigned type = ::GetDriveTypeW(wide.c_str());
  // Windows To Go, a WinPE stick and the like: every volume of the disk Windows runs from, reported
  // removable, is still no card, and neither is a subst letter of one.
  if (type == DRIVE_REMOVABLE && OnWindowsDisk(PlaceOfWindowsFolder(), PlaceOfDrive(wide)))
    return kDriveSystemDisk;
  return type;
}

int RemovableCardDrive(const std::wstring& path) {
  if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') return ERROR_NOT_READY;
  Win32DriveSource drives;
  return drives.DriveType(Narrow(path.substr(0, 3))) == DRIVE_REMOVABLE ? 0 : ERROR_NOT_READY;
}

}  // namespace scaleboot::platform
