#include "card/DriveScan.h"

#include "common/Errors.h"

namespace scaleboot {
namespace {

// Fetches the list into `buffer`, growing it while the system reports that it needs more room (a drive may be
// added between two calls). Returns the length of the list without the final NUL.
std::uint32_t FetchDriveStrings(platform::DriveSource& source, std::vector<char>& buffer) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::uint32_t length = source.LogicalDriveStrings(buffer);
    if (length <= buffer.size()) return length;
    buffer.assign(length, '\0');
  }
  return 0;  // the list kept growing faster than it could be read: treat it as unreadable
}

// The drive-root list as the system returns it: its length, without the final NUL, and its roots.
struct DriveRootList {
  std::int32_t length = 0;
  std::vector<std::string> roots;
};

DriveRootList ReadDriveRoots(platform::DriveSource& source) {
  std::vector<char> buffer(kDriveStringsBufferLength, '\0');
  const std::uint32_t length = FetchDriveStrings(source, buffer);
  if (length > static_cast<std::uint32_t>(INT32_MAX)) throw OverflowError();
  // A length equal to the buffer size would leave no room for the final NUL: the system never reports one,
  // and the split below never reads past `length` anyway.
  if (length > buffer.size()) throw RangeError();

  DriveRootList list{static_cast<std::int32_t>(length), std::vector<std::string>(1)};
  for (std::uint32_t i = 0; i < length; ++i) {
    if (buffer[i] == '\0') {
      list.roots.emplace_back();
    } else {
      list.roots.back() += buffer[i];
    }
  }
  list.roots.pop_back();  // the slot after the last NUL holds nothing
  return list;
}

SortedRoots SortRoots(platform::DriveSource& source, const std::vector<std::string>& roots) {
  SortedRoots sorted;
  for (const std::string& root : roots) {
    if (root == "A:\\" || root == "B:\\") continue;
    const unsigned type = source.DriveType(root);
    if (type == platform::kDriveRemovable) sorted.removable.push_back(root);
    if (type == platform::kDriveSystemDisk) sorted.systemDisks.push_back(root);
  }
  return sorted;
}

std::vector<std::string> RemovableAmong(platform::DriveSource& source,
                                        const std::vector<std::string>& roots) {
  return SortRoots(source, roots).removable;
}

}  // namespace

std::vector<std::string> RemovableRoots(platform::DriveSource& source) {
  return RemovableAmong(source, ReadDriveRoots(source).roots);
}

SortedRoots SortDriveRoots(platform::DriveSource& source) {
  return SortRoots(source, ReadDriveRoots(source).roots);
}

std::optional<DriveListUpdate> RescanDrives(platform::DriveSource& source,
                                            std::int32_t& lastDriveStringsLength, std::uint8_t corruptCount) {
  const DriveRootList list = ReadDriveRoots(source);
  if (list.length == lastDriveStringsLength) return std::nullopt;
  lastDriveStringsLength = list.length;

  DriveListUpdate update;
  update.drives = RemovableAmong(source, list.roots);
  if (!update.drives.empty()) update.selectedIndex = 0;
  update.writeEnabled = !update.drives.empty() && corruptCount == 0;
  return update;
}

}  // namespace scaleboot
