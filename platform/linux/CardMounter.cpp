#include "platform/linux/CardMounter.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "platform/linux/BlockDevices.h"
#include "platform/linux/SdBus.h"
#include "platform/linux/SystemDisks.h"

namespace scaleboot::platform {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";

// One look at the mount table: the device numbers of every mounted file system, the disks the running
// system uses, decided from that same table, and the folder of a system automount standing empty. Nothing
// when the table cannot be read or parsed: no disk could then be told from the system's.
struct MountLook {
  std::set<unsigned long long> mounted;
  std::set<dev_t> systemDisks;
  std::optional<std::string> emptyAutomount;
};
std::optional<MountLook> LookAtMounts(const std::string& mountInfoPath, const std::string& swapsPath,
                                      const std::string& sysRoot) {
  const auto mounts = ReadMountTable(mountInfoPath);
  if (!mounts) return std::nullopt;
  MountLook look;
  for (const MountRecord& mount : *mounts) look.mounted.insert(mount.device);
  look.systemDisks = SystemDisks(*mounts, ReadText(swapsPath), sysRoot);
  look.emptyAutomount = EmptySystemAutomount(*mounts);
  return look;
}

// Whether libblkid finds a file system (not a partition table, swap or an encrypted volume) on `device`, and
// its type. False in `answered` when the device could not be read (a card still settling): probed again at
// the next look.
struct ProbeResult {
  bool answered = false;
  bool hasFileSystem = false;
  std::string type;
};
ProbeResult ProbeDevice(const std::string& device) {
  ProbeResult result;
  blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
  if (probe == nullptr) return result;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_USAGE | BLKID_SUBLKS_TYPE);
  const int found = blkid_do_safeprobe(probe);
  // 1: nothing found; -2: two file systems claim the card, which is then none to mount.
  result.answered = found == 0 || found == 1 || found == -2;
  const char* usage = nullptr;
  const char* type = nullptr;
  if (found == 0 && blkid_probe_lookup_value(probe, "USAGE", &usage, nullptr) == 0 &&
      std::string(usage) == "filesystem" && blkid_probe_lookup_value(probe, "TYPE", &type, nullptr) == 0) {
    result.hasFileSystem = true;
    result.type = type;
  }
  blkid_free_probe(probe);
  return result;
}

std::string Name(const std::string& device) {
  return device.substr(device.rfind('/') + 1);
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ObjectPath(const std::string& device) {
  // udisks names a block object after its kernel name, with anything but letters, digits and "_" escaped.
  std::string path = "/org/freedesktop/UDisks2/block_devices/";
  for (const unsigned char c : Name(device)) {
    if (std::isalnum(c) || c == '_') {
      path += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "_%02x", c);
      path += escaped;
    }
  }
  return path;
}

}  // namespace

CardMounter::CardMounter(std::string sysRoot, std::string runFolder, std::string mountInfoPath,
                         std::string swapsPath)
    : sysRoot_(std::move(sysRoot)),
      runFolder_(std::move(runFolder)),
      mountInfoPath_(std::move(mountInfoPath)),
      swapsPath_(std::move(swapsPath)) {}

CardMounter::~CardMounter() {
  for (const auto& [root, mounted] : Mounts()) Unmount(root, mounted);
}

std::map<std::string, CardMounter::Mounted> CardMounter::Mounts() {
  const std::lock_guard lock(mutex_);
  return mounted_;
}

// The lock guards the maps only: a probe, a bus call or a mount may take long, and another card's mount or
// release goes on meanwhile.
std::vector<UnmountedCandidate> CardMounter::Candidates() {
  std::vector<UnmountedCandidate> candidates;
  const std::optional<MountLook> look = LookAtMounts(mountInfoPath_, swapsPath_, sysRoot_);
  if (!look) return candidates;
  const std::set<unsigned long long>& mounted = look->mounted;
  const std::string block = sysRoot_ + "/block";
  DIR* disks = ::opendir(block.c_str());
  if (disks == nullptr) return candidates;
  while (const dirent* entry = ::readdir(disks)) {
    const std::string name = entry->d_name;
    const std::string disk = block + "/" + name;
    if (name.starts_with(".") || !IsRemovableCardDisk(disk)) continue;
    const unsigned long long diskNumber = DeviceNumberIn(disk + "/dev");
    // The system's own disk is never a card, however removable it looks.
    if (diskNumber == 0 || look->systemDisks.contains(static_cast<dev_t>(diskNumber))) continue;
    const std::string sequence = FirstLine(disk + "/diskseq");
    // The whole disk and each of its partitions: a card may carry its file system on either.
    std::vector<std::string> parts{name};
    if (DIR* inside = ::opendir(disk.c_str())) {
      while (const dirent* part = ::readdir(inside)) {
        const std::string partName = part->d_name;
        if (partName.starts_with(name) && PathExists(disk + "/" + partName + "/partition"))
          parts.push_back(partName);
      }
      ::closedir(inside);
    }
    for (const std::string& part : parts) {
      const std::string folder = part == name ? disk : disk + "/" + part;
      // An empty reader has a size of 0 and nothing to probe.
      if (FirstLine(folder + "/size") == "0" || FirstLine(folder + "/size").empty()) continue;
      UnmountedCandidate candidate;
      candidate.device = "/dev/" + part;
      candidate.number = DeviceNumberIn(folder + "/dev");
      candidate.diskNumber = diskNumber;
      candidate.identity =
          (sequence.empty() ? "dev:" + std::to_string(diskNumber) : "diskseq:" + sequence) + "/" + part;
      candidate.mounted = mounted.contains(candidate.number);
      std::optional<Probe> probe = Probed(candidate.identity);
      if (!probe && !candidate.mounted) {
        const ProbeResult result = ProbeDevice(candidate.device);
        candidate.unreadable = !result.answered;
        if (result.answered) {
          probe = Probe{result.hasFileSystem, result.type};
          const std::lock_guard lock(mutex_);
          probed_.emplace(candidate.identity, *probe);
        }
      }
      if (probe) {
        candidate.hasFileSystem = probe->hasFileSystem;
        candidate.fileSystem = probe->type;
      }
      candidates.push_back(candidate);
    }
  }
  ::closedir(disks);
  // A card taken out is probed afresh when it comes back: it may have been formatted elsewhere meanwhile.
  const std::lock_guard lock(mutex_);
  std::erase_if(probed_, [&](const auto& entry) {
    return std::none_of(candidates.begin(), candidates.end(),
                        [&](const UnmountedCandidate& c) { return c.identity == entry.first; });
  });
  return candidates;
}

MountScope CardMounter::ScopeOf(std::span<const std::string> readers) {
  MountScope scope;
  scope.any = readers.empty();
  for (const std::string& reader : readers) {
    struct stat st;
    if (reader.starts_with("/dev/") && ::stat(reader.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
      scope.readers.push_back(static_cast<unsigned long long>(st.st_rdev));
  }
  return scope;
}

std::optional<CardMounter::Probe> CardMounter::Probed(const std::string& identity) {
  const std::lock_guard lock(mutex_);
  const auto probe = probed_.find(identity);
  if (probe == probed_.end()) return std::nullopt;
  return probe->second;
}

std::string CardMounter::Mount(const UnmountedCandidate& card) {
  // Decided again now: the system may have come to use the disk since the card was found.
  const std::optional<MountLook> look = LookAtMounts(mountInfoPath_, swapsPath_, sysRoot_);
  if (!look) return "the mount table cannot be read";
  if (look->systemDisks.contains(static_cast<dev_t>(card.diskNumber))) return "the disk the system runs from";
  {
    // Said for the first card only while the automount stays empty; the others are left unmounted quietly.
    const std::lock_guard lock(mutex_);
    const bool said = std::exchange(automountSaid_, look->emptyAutomount.has_value());
    if (look->emptyAutomount)
      return said ? ""
                  : "nothing is mounted at the automount " + *look->emptyAutomount +
                        ", so its disk cannot be told from a card";
  }
  std::string why;
  if (!MountThroughUdisks(card, why) && why.empty()) MountAsRoot(card, why);
  return why;
}

// True when udisks mounted the card. Otherwise `why` holds udisks' answer, or stays empty where udisks is not
// there to answer (no system bus, no such service or device): then the card is mounted as root, if at all.
bool CardMounter::MountThroughUdisks(const UnmountedCandidate& card, std::string& why) {
  const Bus bus = OpenSystemBus();
  if (!bus) return false;
  BusError error;
  sd_bus_message* raw = nullptr;
  // The type the rule checked is the one mounted: udisks does not probe the card again for another.
  const int r = sd_bus_call_method(bus.get(), kService, ObjectPath(card.device).c_str(), kFilesystem, "Mount",
                                   &error.error, &raw, "a{sv}", 2, "auth.no_user_interaction", "b", 1,
                                   "fstype", "s", card.fileSystem.c_str());
  const BusMessage reply(raw);
  if (r < 0) {
    if (sd_bus_error_is_set(&error.error) && !error.Absent())
      why = error.error.message != nullptr ? error.error.message : error.error.name;
    return false;
  }
  const char* path = nullptr;
  if (sd_bus_message_read(reply.get(), "s", &path) >= 0 && path != nullptr) {
    const std::lock_guard lock(mutex_);
    mounted_[WithoutSlash(path)] = {card.device, true};
  }
  return true;
}

// A folder to mount into or under: a real folder (no link), not a mount point already; where the station
// makes it, owned by root and writable by root alone.
bool CardMounter::UsableFolder(const std::string& folder, bool ownedByRoot) const {
  struct stat st, parent;
  const std::string above = folder.substr(0, folder.rfind('/') == 0 ? 1 : folder.rfind('/'));
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::lstat(above.c_str(), &parent) != 0)
    return false;
  if (ownedByRoot) return st.st_uid == 0 && (st.st_mode & 022) == 0;
  if (st.st_dev != parent.st_dev) return false;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool empty = true;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") empty = false;
  }
  ::closedir(dir);
  return empty;
}

bool CardMounter::MountAsRoot(const UnmountedCandidate& card, std::string& why) {
  if (::geteuid() != 0 || card.fileSystem.empty()) return false;
  // A folder of the station's: made here, or one left by an earlier run that was killed, used again when
  // it is still what the station makes (root's alone; the card's folder empty, nothing mounted on it).
  const auto made = [&](const std::string& folder, bool parent) {
    if (::mkdir(folder.c_str(), 0700) == 0) return true;
    const int error = errno;
    if (error == EEXIST && UsableFolder(folder, parent)) return true;
    why = folder + ": " + std::strerror(error == EEXIST ? (parent ? ENOTDIR : EBUSY) : error);
    return false;
  };
  const std::string folder = runFolder_ + "/" + Name(card.device);
  if (!made(runFolder_, true) || !made(folder, false)) return false;
  if (::mount(card.device.c_str(), folder.c_str(), card.fileSystem.c_str(), MS_NOSUID | MS_NODEV | MS_NOEXEC,
              nullptr) != 0) {
    why = std::strerror(errno);
    ::rmdir(folder.c_str());
    return false;
  }
  const std::lock_guard lock(mutex_);
  mounted_[folder] = {card.device, false};
  return true;
}

std::string CardMounter::Release(const std::string& root) {
  const std::string folder = WithoutSlash(root);
  Mounted mounted;
  {
    const std::lock_guard lock(mutex_);
    const auto found = mounted_.find(folder);
    if (found == mounted_.end()) return {};
    mounted = found->second;
  }
  std::string why = Unmount(folder, mounted);
  // Still mounted: tried again when the station ends.
  if (why.empty()) {
    const std::lock_guard lock(mutex_);
    mounted_.erase(folder);
  }
  return why;
}

// A mount in a folder of the station's run folder whose device the system no longer lists: its card was
// taken out (or a station killed before it could unmount it left it). Only the station's own are touched: the
// run folder still root's alone, the mount point a real folder right inside it. Such a mount holds nothing
// that can be read or written any more, so a lazy unmount is enough.
void CardMounter::ReleaseGone() {
  // Without the system's list of devices every card would look gone, the ones being written too.
  if (!UsableFolder(runFolder_, true) || !PathExists(sysRoot_ + "/dev/block")) return;
  const auto mounts = ReadMountTable(mountInfoPath_);
  if (!mounts) return;
  for (const MountRecord& mount : *mounts) {
    const std::string folder = WithoutSlash(mount.target);
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos || folder.substr(0, slash) != runFolder_ || slash + 1 == folder.size())
      continue;
    // A device gone from the system's list, or one whose card is out (a size of 0: a reader holding no card).
    const std::string size = FirstLine(BlockFolder(sysRoot_, mount.device) + "/size");
    struct stat st;
    if ((!size.empty() && size != "0") || ::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (::umount2(folder.c_str(), MNT_DETACH) != 0 && errno != EINVAL) continue;
    ::rmdir(folder.c_str());
    const std::lock_guard lock(mutex_);
    mounted_.erase(folder);
  }
}

std::string CardMounter::Unmount(const std::string& root, const Mounted& mounted) {
  if (mounted.throughUdisks) {
    int opened = 0;
    const Bus bus = OpenSystemBus(&opened);
    if (!bus) return std::strerror(-opened);
    BusError error;
    sd_bus_message* raw = nullptr;
    const int r =
        sd_bus_call_method(bus.get(), kService, ObjectPath(mounted.device).c_str(), kFilesystem, "Unmount",
                           &error.error, &raw, "a{sv}", 1, "auth.no_user_interaction", "b", 1);
    const BusMessage reply(raw);
    // Already unmounted by the eject (NotMounted), or the card is gone with its object: nothing to do.
    if (r >= 0 || error.Absent() || error.Is("org.freedesktop.UDisks2.Error.NotMounted")) return {};
    return error.error.message != nullptr ? error.error.message : std::strerror(-r);
  }
  // The eject has usually unmounted it already (EINVAL: not a mount point any more); never a lazy unmount.
  if (::umount2(root.c_str(), 0) != 0 && errno != EINVAL && errno != ENOENT) return std::strerror(errno);
  ::rmdir(root.c_str());
  return {};
}

}  // namespace scaleboot::platform
