#include "platform/linux/CardMounter.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>

namespace scaleboot::platform {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// "8:17" as the kernel writes a device's number.
unsigned long long Number(const std::string& text) {
  unsigned int major = 0, minor = 0;
  char colon = 0;
  std::istringstream in(text);
  if (!(in >> major >> colon >> minor) || colon != ':') return 0;
  return static_cast<unsigned long long>(makedev(major, minor));
}

// The device numbers of every mounted file system, from the mount table.
std::set<unsigned long long> MountedDevices() {
  std::set<unsigned long long> devices;
  std::ifstream in("/proc/self/mountinfo");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string id, parent, device;
    if (fields >> id >> parent >> device) devices.insert(Number(device));
  }
  return devices;
}

bool RemovableDisk(const std::string& disk) {
  if (FirstLine(disk + "/removable") == "1") return true;
  // SD cards on an MMC host report removable = 0; the card type tells them from soldered eMMC.
  return disk.substr(disk.rfind('/') + 1).starts_with("mmcblk") && FirstLine(disk + "/device/type") == "SD";
}

// Whether libblkid finds a file system (not a partition table, swap or an encrypted volume) on `device`.
bool HasFileSystem(const std::string& device) {
  blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
  if (probe == nullptr) return false;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_USAGE);
  const char* usage = nullptr;
  const bool found = blkid_do_safeprobe(probe) == 0 &&
                     blkid_probe_lookup_value(probe, "USAGE", &usage, nullptr) == 0 &&
                     std::string(usage) == "filesystem";
  blkid_free_probe(probe);
  return found;
}

std::string FileSystemType(const std::string& device) {
  blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
  if (probe == nullptr) return {};
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE);
  const char* type = nullptr;
  std::string found;
  if (blkid_do_safeprobe(probe) == 0 && blkid_probe_lookup_value(probe, "TYPE", &type, nullptr) == 0)
    found = type;
  blkid_free_probe(probe);
  return found;
}

std::string Name(const std::string& device) {
  return device.substr(device.rfind('/') + 1);
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

struct Bus {
  sd_bus* bus = nullptr;
  ~Bus() { sd_bus_flush_close_unref(bus); }
};

struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusError() { sd_bus_error_free(&error); }
  // udisks is not there, or knows nothing of the device: the program mounts it itself.
  bool Absent() const {
    for (const char* name :
         {SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_UNKNOWN_OBJECT,
          SD_BUS_ERROR_UNKNOWN_INTERFACE, SD_BUS_ERROR_UNKNOWN_METHOD})
      if (sd_bus_error_has_name(&error, name)) return true;
    return false;
  }
};

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

CardMounter::CardMounter(std::chrono::milliseconds grace, std::string sysRoot, std::string runFolder)
    : rule_(grace), sysRoot_(std::move(sysRoot)), runFolder_(std::move(runFolder)) {}

CardMounter::~CardMounter() {
  const std::lock_guard lock(mutex_);
  for (const auto& [root, mounted] : mounted_) Unmount(root, mounted);
}

std::vector<UnmountedCandidate> CardMounter::Candidates() const {
  std::vector<UnmountedCandidate> candidates;
  const std::set<unsigned long long> mounted = MountedDevices();
  const std::string block = sysRoot_ + "/block";
  DIR* disks = ::opendir(block.c_str());
  if (disks == nullptr) return candidates;
  while (const dirent* entry = ::readdir(disks)) {
    const std::string name = entry->d_name;
    const std::string disk = block + "/" + name;
    if (name.starts_with(".") || !RemovableDisk(disk)) continue;
    const unsigned long long diskNumber = Number(FirstLine(disk + "/dev"));
    const std::string sequence = FirstLine(disk + "/diskseq");
    // The whole disk and each of its partitions: a card may carry its file system on either.
    std::vector<std::string> parts{name};
    if (DIR* inside = ::opendir(disk.c_str())) {
      while (const dirent* part = ::readdir(inside)) {
        const std::string partName = part->d_name;
        if (partName.starts_with(name) && Exists(disk + "/" + partName + "/partition"))
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
      candidate.number = Number(FirstLine(folder + "/dev"));
      candidate.diskNumber = diskNumber;
      candidate.identity =
          (sequence.empty() ? "dev:" + std::to_string(diskNumber) : "diskseq:" + sequence) + "/" + part;
      candidate.mounted = mounted.contains(candidate.number);
      candidate.hasFileSystem = !candidate.mounted && HasFileSystem(candidate.device);
      candidates.push_back(candidate);
    }
  }
  ::closedir(disks);
  return candidates;
}

void CardMounter::Look(std::span<const std::string> readers) {
  const std::lock_guard lock(mutex_);
  const std::vector<UnmountedCandidate> candidates = Candidates();
  if (!begun_) {
    rule_.Begin(candidates);
    begun_ = true;
    return;
  }
  MountScope scope;
  scope.any = readers.empty();
  for (const std::string& reader : readers) {
    struct stat st;
    // A reader named by its mount point has no card to mount: only device paths name one.
    if (reader.starts_with("/dev/") && ::stat(reader.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
      scope.readers.push_back(static_cast<unsigned long long>(st.st_rdev));
  }
  for (const std::string& device : rule_.Due(candidates, scope, MountRule::Clock::now())) Mount(device);
}

void CardMounter::Mount(const std::string& device) {
  bool udisksAnswered = false;
  if (MountThroughUdisks(device, udisksAnswered) || udisksAnswered) return;
  MountAsRoot(device);
}

bool CardMounter::MountThroughUdisks(const std::string& device, bool& udisksAnswered) {
  Bus bus;
  if (sd_bus_open_system(&bus.bus) < 0) return false;
  BusError error;
  sd_bus_message* reply = nullptr;
  const int r = sd_bus_call_method(bus.bus, kService, ObjectPath(device).c_str(), kFilesystem, "Mount",
                                   &error.error, &reply, "a{sv}", 1, "auth.no_user_interaction", "b", 1);
  if (r < 0) {
    udisksAnswered = !error.Absent();
    sd_bus_message_unref(reply);
    return false;
  }
  udisksAnswered = true;
  const char* path = nullptr;
  if (sd_bus_message_read(reply, "s", &path) >= 0 && path != nullptr)
    mounted_[WithoutSlash(path)] = {device, true};
  sd_bus_message_unref(reply);
  return true;
}

bool CardMounter::MountAsRoot(const std::string& device) {
  if (::geteuid() != 0) return false;
  const std::string type = FileSystemType(device);
  if (type.empty()) return false;
  if (::mkdir(runFolder_.c_str(), 0700) != 0 && errno != EEXIST) return false;
  const std::string folder = runFolder_ + "/" + Name(device);
  if (::mkdir(folder.c_str(), 0700) != 0) return false;
  if (::mount(device.c_str(), folder.c_str(), type.c_str(), MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    ::rmdir(folder.c_str());
    return false;
  }
  mounted_[folder] = {device, false};
  return true;
}

void CardMounter::Release(const std::string& root) {
  const std::lock_guard lock(mutex_);
  const auto found = mounted_.find(WithoutSlash(root));
  if (found == mounted_.end()) return;
  Unmount(found->first, found->second);
  mounted_.erase(found);
}

void CardMounter::Unmount(const std::string& root, const Mounted& mounted) {
  if (mounted.throughUdisks) {
    // Already unmounted by the eject, udisks says NotMounted: nothing to do either way.
    Bus bus;
    if (sd_bus_open_system(&bus.bus) < 0) return;
    BusError error;
    sd_bus_message* reply = nullptr;
    sd_bus_call_method(bus.bus, kService, ObjectPath(mounted.device).c_str(), kFilesystem, "Unmount",
                       &error.error, &reply, "a{sv}", 1, "auth.no_user_interaction", "b", 1);
    sd_bus_message_unref(reply);
    return;
  }
  // The eject has usually unmounted it already (EINVAL: not a mount point any more); never a lazy unmount.
  ::umount2(root.c_str(), 0);
  ::rmdir(root.c_str());
}

}  // namespace scaleboot::platform
