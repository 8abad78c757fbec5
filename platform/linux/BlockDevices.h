// The facts of block devices that every Linux part reads the same way: where sysfs keeps a device, how it
// writes a device's number, which disks are removable cards, and the mount table with one meaning of "cannot
// be read".
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/SysfsFiles.h"

namespace scaleboot::platform {

// The folder sysfs under `sysRoot` keeps for the block device `device`: <sysRoot>/dev/block/MAJOR:MINOR.
std::string BlockFolder(const std::string& sysRoot, dev_t device);

// "8:17" as the kernel writes a device's number, and nothing else; 0 for any other text.
dev_t ParseDeviceNumber(std::string_view text);

// The device number sysfs writes in the file at `path` (a block device's "dev"); 0 when there is none.
dev_t DeviceNumberIn(const std::string& path);

// The folder of the whole disk a block device's sysfs `folder` belongs to: itself, or for a partition the
// disk's folder that holds it.
std::string WholeDiskFolder(const std::string& folder);

// The whole disk the block device `device` belongs to (itself when it is no partition), from sysfs under
// `sysRoot`; 0 when sysfs does not list the device.
dev_t WholeDiskOf(const std::string& sysRoot, dev_t device);

// Whether the whole disk whose sysfs folder is `disk` takes removable cards: its removable flag is 1, or it
// is an SD card on an MMC host (which reports removable = 0; its card type tells it from soldered eMMC).
bool IsRemovableCardDisk(const std::string& disk);

// The number of the mount the descriptor `fd` lies on: statx's, or where statx gives none (qemu-user passes
// the kernel's mask on but leaves the number at 0) the one the kernel lists for the descriptor in
// /proc/self/fdinfo; 0 when neither says.
std::uint64_t MountIdOf(int fd);

// One line of the mount table (/proc/self/mountinfo).
struct MountRecord {
  int id = 0;
  int parentId = 0;
  std::string target;
  std::string fsRoot;  // the folder of the file system that is mounted, "/" for the whole file system
  dev_t device = 0;
  std::string fsType;
  std::string source;     // the device or name the file system was mounted from
  std::string fsOptions;  // the file system's own options ("lowerdir=...,upperdir=..." for an overlay)
};

// The mount table in `text`; a line that cannot be parsed is skipped. Nothing when the text cannot be parsed
// at all.
std::optional<std::vector<MountRecord>> ParseMountTable(std::string_view text);

// The whole file at `path`, or nothing when it cannot be read (missing, a folder, a read that fails
// part-way).
std::optional<std::string> ReadText(const std::string& path);

// The mount table in the file at `path`: nothing when it cannot be read or parsed. Never taken for a table
// with nothing mounted: no disk could then be told from the system's.
std::optional<std::vector<MountRecord>> ReadMountTable(const std::string& path);

}  // namespace scaleboot::platform
