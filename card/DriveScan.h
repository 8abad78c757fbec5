// The drive list: refilled with the removable drives whenever the length of the system's drive-root list
// changes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot {

// What a rescan tells the window to show. Absent when the list length is unchanged: the list, its selection
// and the write button then stay exactly as they are.
struct DriveListUpdate {
  std::vector<std::string> drives;  // removable drive roots, in the system's order
  int selectedIndex = -1;           // 0 when any drive is listed, otherwise -1
  bool writeEnabled = false;        // a drive is listed and every image passed the start-up test
};

inline constexpr std::uint32_t kDriveStringsBufferLength = 100;

// The removable drive roots the system lists now, in its order: drives A: and B: are never asked for their
// type nor listed. What the window's list, the command line and every other caller show as removable drives.
std::vector<std::string> RemovableRoots(platform::DriveSource& source);

// One reading of the drive-root list: the removable drives, and apart from them the roots that would be
// removable drives but hold the running system (never listed, written or ejected; named, they are refused as
// the system's own).
struct SortedRoots {
  std::vector<std::string> removable;
  std::vector<std::string> systemDisks;
};
SortedRoots SortDriveRoots(platform::DriveSource& source);

// Reads the drive-root list; a list longer than the buffer is fetched again into a buffer of the size the
// system asks for. Updates `lastDriveStringsLength`. Only a list of another length than the one seen last
// counts as changed; only then are the drives asked for their types.
std::optional<DriveListUpdate> RescanDrives(platform::DriveSource& source,
                                            std::int32_t& lastDriveStringsLength, std::uint8_t corruptCount);

}  // namespace scaleboot
