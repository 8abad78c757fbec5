// The drive-root list of Linux, read from the mount table and classified through sysfs.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "common/Errors.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SystemDisks.h"

namespace scaleboot::platform {
namespace {

// One look at the mount table: its entries and the disks the running system uses, decided from that very
// table (never from an earlier look) and the active swaps of the same moment.
struct MountReading {
  std::vector<MountRecord> entries;
  std::set<dev_t> systemDisks;
};

std::optional<MountReading> ReadMounts(const std::string& mountInfoPath, const std::string& swapsPath,
                                       const std::string& sysRoot) {
  auto entries = ReadMountTable(mountInfoPath);
  if (!entries) return std::nullopt;
  const std::optional<std::string> swaps = ReadText(swapsPath);
  std::set<dev_t> system = SystemDisks(*entries, swaps, sysRoot);
  return MountReading{std::move(*entries), std::move(system)};
}

using MountEntry = MountRecord;

// The mount point as a root that a file name can follow directly.
std::string RootOf(const std::string& target) {
  return target.back() == '/' ? target : target + "/";
}

// Mounts that can hold a card: a whole file system (not a bind mount of one of its folders) on a real block
// device (tmpfs, proc, overlay and the like have anonymous devices that sysfs does not list), and not covered
// by a later mount on the same mount point. Mount-table order is kept.
std::vector<MountEntry> CardCandidates(const std::vector<MountEntry>& entries, const std::string& sysRoot) {
  std::vector<MountEntry> result;
  for (const MountEntry& entry : entries) {
    if (entry.fsRoot != "/") continue;
    if (!PathExists(BlockFolder(sysRoot, entry.device))) continue;
    const bool covered = std::any_of(entries.begin(), entries.end(), [&](const MountEntry& other) {
      return other.parentId == entry.id && other.id != entry.id && other.target == entry.target;
    });
    if (covered) continue;
    result.push_back(entry);
  }
  return result;
}

bool IsRemovableDevice(const std::string& sysRoot, dev_t device) {
  return IsRemovableCardDisk(WholeDiskFolder(BlockFolder(sysRoot, device)));
}

}  // namespace

MountDriveSource::MountDriveSource(std::string mountInfoPath, std::string sysRoot, std::string swapsPath)
    : mountInfoPath_(std::move(mountInfoPath)),
      sysRoot_(std::move(sysRoot)),
      swapsPath_(std::move(swapsPath)) {}

std::uint32_t MountDriveSource::LogicalDriveStrings(std::span<char> buffer) {
  const auto reading = ReadMounts(mountInfoPath_, swapsPath_, sysRoot_);
  if (!reading) return 0;
  std::string list;
  for (const MountEntry& entry : CardCandidates(reading->entries, sysRoot_)) {
    list += RootOf(entry.target);
    list.push_back('\0');
  }
  if (list.size() >= std::numeric_limits<std::uint32_t>::max()) return 0;
  const auto length = static_cast<std::uint32_t>(list.size());
  if (list.size() + 1 > buffer.size()) return length + 1;
  std::memcpy(buffer.data(), list.data(), list.size());
  buffer[list.size()] = '\0';
  return length;
}

std::optional<MountDriveSource::ListedRoot> MountDriveSource::FindRoot(const std::string& root) {
  const auto reading = ReadMounts(mountInfoPath_, swapsPath_, sysRoot_);
  if (!reading) return std::nullopt;
  for (const MountEntry& entry : CardCandidates(reading->entries, sysRoot_)) {
    if (RootOf(entry.target) != root) continue;
    return ListedRoot{entry.id, IsRemovableDevice(sysRoot_, entry.device),
                      reading->systemDisks.contains(WholeDiskOf(sysRoot_, entry.device))};
  }
  return std::nullopt;
}

unsigned MountDriveSource::DriveType(const std::string& root) {
  const auto listed = FindRoot(root);
  if (!listed) return kDriveNoRootDir;
  if (!listed->removable) return kDriveFixed;
  return listed->systemDisk ? kDriveSystemDisk : kDriveRemovable;
}

int MountDriveSource::OpenRemovableRoot(const std::string& root, int& folder) {
  folder = -1;
  // The folder is opened first and the mount it lies on identified from the descriptor: whatever happens to
  // the path afterwards, the folder accepted is the one the caller goes on to use.
  const int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? io::kDriveNotReady : WindowsCodeForErrno(errno);
  struct statx st;
  const bool isMountRoot = ::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &st) == 0 &&
                           (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                           (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  // Read after the folder was opened, the table lists the folder's mount only while it is still mounted
  // there.
  const auto listed = isMountRoot ? FindRoot(root) : std::nullopt;
  // The system's own disk is no card, whatever its flags say, here too: the list the caller chose from may
  // be older than the mount that made it the system's.
  const std::uint64_t mount = isMountRoot ? MountIdOf(fd) : 0;
  if (!listed || !listed->removable || listed->systemDisk || mount == 0 ||
      static_cast<std::uint64_t>(listed->mountId) != mount) {
    ::close(fd);
    return io::kDriveNotReady;
  }
  folder = fd;
  return 0;
}

std::vector<MountDriveSource::RemovableMount> MountDriveSource::RemovableMounts() {
  std::vector<RemovableMount> mounts;
  const auto reading = ReadMounts(mountInfoPath_, swapsPath_, sysRoot_);
  if (!reading) return mounts;
  for (const MountEntry& entry : CardCandidates(reading->entries, sysRoot_)) {
    if (!IsRemovableDevice(sysRoot_, entry.device)) continue;
    const std::string folder = BlockFolder(sysRoot_, entry.device);
    const std::string disk = WholeDiskFolder(folder);
    const std::string sequence = FirstLine(disk + "/diskseq");
    const dev_t diskDevice = disk == folder ? entry.device : DeviceNumberIn(disk + "/dev");
    mounts.push_back(
        {RootOf(entry.target), sequence.empty() ? "mount:" + std::to_string(entry.id) : "diskseq:" + sequence,
         static_cast<unsigned long long>(entry.device), static_cast<unsigned long long>(diskDevice),
         reading->systemDisks.contains(diskDevice)});
  }
  return mounts;
}

}  // namespace scaleboot::platform
