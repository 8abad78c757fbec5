#include "platform/linux/LinuxEjector.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/linux/BlockDevices.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SdBus.h"

namespace scaleboot::platform {
namespace {

using Status = EjectResult::Status;

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* kDrive = "org.freedesktop.UDisks2.Drive";
constexpr const char* kPartition = "org.freedesktop.UDisks2.Partition";

struct BlockObject {
  std::string path;
  std::uint64_t device = 0;
  std::string drive;
  std::string table;  // a partition's: the block object of the partition table it lies in
  bool filesystem = false;
  bool mounted = false;
};
struct DriveObject {
  bool ejectable = false;
  bool removable = false;  // Removable or MediaRemovable
};
struct Objects {
  std::vector<BlockObject> blocks;
  std::map<std::string, DriveObject> drives;
};

// Reads one property value of GetManagedObjects' answer into the object it belongs to; skips the others.
int ReadProperty(sd_bus_message* m, const std::string& interface, const std::string& name, BlockObject& block,
                 DriveObject& drive) {
  int r = 0;
  if (interface == kBlock && name == "DeviceNumber") {
    r = sd_bus_message_read(m, "v", "t", &block.device);
  } else if (interface == kBlock && name == "Drive") {
    const char* path = nullptr;
    r = sd_bus_message_read(m, "v", "o", &path);
    if (r >= 0 && path) block.drive = path;
  } else if (interface == kPartition && name == "Table") {
    const char* path = nullptr;
    r = sd_bus_message_read(m, "v", "o", &path);
    if (r >= 0 && path) block.table = path;
  } else if (interface == kFilesystem && name == "MountPoints") {
    if ((r = sd_bus_message_enter_container(m, 'v', "aay")) < 0) return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "ay")) < 0) return r;
    const void* bytes = nullptr;
    std::size_t size = 0;
    while ((r = sd_bus_message_read_array(m, 'y', &bytes, &size)) > 0) block.mounted = true;
    if (r < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    r = sd_bus_message_exit_container(m);
  } else if (interface == kDrive && name == "Ejectable") {
    int value = 0;
    r = sd_bus_message_read(m, "v", "b", &value);
    drive.ejectable = value != 0;
  } else if (interface == kDrive && (name == "Removable" || name == "MediaRemovable")) {
    int value = 0;
    r = sd_bus_message_read(m, "v", "b", &value);
    drive.removable = drive.removable || value != 0;
  } else {
    r = sd_bus_message_skip(m, "v");
  }
  return r;
}

// The block and drive objects udisks knows, from GetManagedObjects' a{oa{sa{sv}}}; a negative errno when the
// answer cannot be read.
int ReadObjects(sd_bus_message* m, Objects& objects) {
  int r = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}");
  if (r < 0) return r;
  while ((r = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
    const char* path = nullptr;
    if ((r = sd_bus_message_read(m, "o", &path)) < 0) return r;
    BlockObject block;
    block.path = path;
    DriveObject drive;
    bool isBlock = false, isDrive = false;
    if ((r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
      const char* name = nullptr;
      if ((r = sd_bus_message_read(m, "s", &name)) < 0) return r;
      const std::string interface = name;
      isBlock = isBlock || interface == kBlock;
      isDrive = isDrive || interface == kDrive;
      block.filesystem = block.filesystem || interface == kFilesystem;
      if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
      while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* property = nullptr;
        if ((r = sd_bus_message_read(m, "s", &property)) < 0) return r;
        if ((r = ReadProperty(m, interface, property, block, drive)) < 0) return r;
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
      }
      if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
      if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    if (isBlock) objects.blocks.push_back(block);
    if (isDrive) objects.drives[path] = drive;
  }
  if (r < 0) return r;
  return sd_bus_message_exit_container(m);
}

// Calls a udisks method that takes only the options a{sv}: auth.no_user_interaction, so that nothing waits
// for a password dialog.
int CallWithOptions(sd_bus* bus, const std::string& path, const char* interface, const char* method,
                    BusError& error) {
  BusMessage reply;
  sd_bus_message* raw = nullptr;
  const int r = sd_bus_call_method(bus, kService, path.c_str(), interface, method, &error.error, &raw,
                                   "a{sv}", 1, "auth.no_user_interaction", "b", 1);
  reply.reset(raw);
  return r;
}

EjectResult FromBusError(const BusError& error, dev_t device, const std::string& procRoot) {
  if (error.Is("org.freedesktop.UDisks2.Error.DeviceBusy")) {
    return {Status::InUse, true, ProcessesUsingDevice(device, procRoot)};
  }
  if (error.NameStartsWith("org.freedesktop.UDisks2.Error.NotAuthorized") ||
      error.Is("org.freedesktop.DBus.Error.AccessDenied")) {
    return {Status::NotAuthorized};
  }
  return {Status::Failed, true, {}, error.error.message ? error.error.message : std::strerror(EIO)};
}

// The mount ID of the file system holding `path`, 0 when it cannot be told.
std::uint64_t MountIdOfPath(const std::string& path) {
  const int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  const std::uint64_t id = MountIdOf(fd);
  ::close(fd);
  return id;
}

bool IsNumber(const char* name) {
  return *name && std::all_of(name, name + std::strlen(name), [](char c) { return c >= '0' && c <= '9'; });
}

bool OnDevice(const std::string& path, dev_t device) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && st.st_dev == device;
}

// True when a line of /proc/PID/maps maps a file of `device` (its fourth field, "major:minor" in hex).
bool MapsDevice(const std::string& mapsPath, dev_t device) {
  std::ifstream maps(mapsPath);
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range, perms, offset, dev;
    fields >> range >> perms >> offset >> dev;
    unsigned major = 0, minor = 0;
    if (std::sscanf(dev.c_str(), "%x:%x", &major, &minor) == 2 && (major != 0 || minor != 0) &&
        makedev(major, minor) == device)
      return true;
  }
  return false;
}

bool HoldsDevice(const std::string& process, dev_t device) {
  if (OnDevice(process + "/cwd", device)) return true;
  if (DIR* fds = opendir((process + "/fd").c_str())) {
    bool found = false;
    while (const dirent* entry = readdir(fds)) {
      if (IsNumber(entry->d_name) && OnDevice(process + "/fd/" + entry->d_name, device)) {
        found = true;
        break;
      }
    }
    closedir(fds);
    if (found) return true;
  }
  return MapsDevice(process + "/maps", device);
}

}  // namespace

std::vector<std::string> ProcessesUsingDevice(dev_t device, const std::string& procRoot) {
  std::vector<std::pair<long, std::string>> found;
  DIR* proc = opendir(procRoot.c_str());
  if (!proc) return {};
  while (const dirent* entry = readdir(proc)) {
    if (!IsNumber(entry->d_name)) continue;
    const std::string process = procRoot + "/" + entry->d_name;
    if (!HoldsDevice(process, device)) continue;
    std::string name;
    std::getline(std::ifstream(process + "/comm"), name);
    found.emplace_back(std::atol(entry->d_name), name);
  }
  closedir(proc);
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (const auto& [pid, name] : found) names.push_back(name + " (" + std::to_string(pid) + ")");
  return names;
}

LinuxEjector::LinuxEjector()
    : LinuxEjector([](const std::string& root) { return umount2(root.c_str(), 0) == 0 ? 0 : errno; },
                   geteuid() == 0, "/proc",
                   [](const std::string& root) {
                     MountDriveSource drives;
                     int folder = -1;
                     return drives.OpenRemovableRoot(root.ends_with('/') ? root : root + "/", folder) == 0
                                ? folder
                                : -1;
                   }) {}

LinuxEjector::LinuxEjector(Unmount unmount, bool asRoot, std::string procRoot, CardRootOpener openCardRoot)
    : unmount_(std::move(unmount)),
      asRoot_(asRoot),
      procRoot_(std::move(procRoot)),
      openCardRoot_(std::move(openCardRoot)) {}

EjectResult LinuxEjector::UnmountDirectly(const std::string& root, dev_t device, std::uint64_t mountId) {
  if (!asRoot_) return {Status::NoService};
  // The folder still holds the mount that was checked: a card unmounted meanwhile by someone else leaves the
  // folder on the disk below it, and whatever was mounted there since is none of the card's.
  if (MountIdOfPath(root) != mountId) return {Status::Gone};
  // Never MNT_DETACH: a detached mount looks gone while its writes may still be pending.
  const int error = unmount_(root);
  if (error == 0) return {Status::Ejected};
  if (error == EBUSY) return {Status::InUse, true, ProcessesUsingDevice(device, procRoot_)};
  if (error == EPERM || error == EACCES) return {Status::NotAuthorized};
  return {Status::Failed, true, {}, std::strerror(error)};
}

EjectResult LinuxEjector::Eject(const std::string& root, const EjectOptions& options) {
  const std::lock_guard lock(mutex_);
  // A folder that is no longer a card's mount root lies on whatever is mounted below it, the system disk
  // perhaps: nothing of that is unmounted. From here on the card is the descriptor checked, never the path.
  int folder = openCardRoot_(root);
  if (folder < 0) return {Status::Gone};
  struct stat st {};
  const std::uint64_t mountId = MountIdOf(folder);
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || fstat(fd, &st) != 0 || mountId == 0) {
    const int error = errno;
    if (fd >= 0) close(fd);
    close(folder);
    if (error == ENOENT || error == ENODEV || error == ENXIO) return {Status::Gone};
    return {Status::Failed, true, {}, std::strerror(error)};
  }
  // Whatever the kernel still holds for the card goes out first; then no descriptor of the program's holds
  // the mount busy.
  syncfs(fd);
  close(fd);
  close(folder);
  const dev_t device = st.st_dev;

  const Bus bus = OpenSystemBus();
  if (!bus) return UnmountDirectly(root, device, mountId);
  Objects objects;
  {
    BusError error;
    sd_bus_message* raw = nullptr;
    const int r =
        sd_bus_call_method(bus.get(), kService, "/org/freedesktop/UDisks2",
                           "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", &error.error, &raw, "");
    const BusMessage reply(raw);
    if (r < 0) {
      if (error.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) || error.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
          error.Is(SD_BUS_ERROR_UNKNOWN_OBJECT) || error.Is(SD_BUS_ERROR_UNKNOWN_METHOD) || !error.error.name)
        return UnmountDirectly(root, device, mountId);
      return FromBusError(error, device, procRoot_);
    }
    if (ReadObjects(reply.get(), objects) < 0) return {Status::Failed, true, {}, "udisks: unreadable answer"};
  }
  const auto card = std::find_if(objects.blocks.begin(), objects.blocks.end(), [&](const BlockObject& b) {
    return b.device == static_cast<std::uint64_t>(device);
  });
  if (card == objects.blocks.end()) return UnmountDirectly(root, device, mountId);
  const std::string drive = card->drive;
  const auto driveObject = objects.drives.find(drive);
  if (driveObject != objects.drives.end() && !driveObject->second.removable)
    return {Status::Failed, true, {}, "udisks: not a removable drive"};

  // The card's whole disk: its own block and the partitions of its partition table. udisks keys a drive on
  // its serial, not on its slot, so identical readers are one drive, and other blocks of the card's drive may
  // be other cards, being written, or the system's boot medium: those are never touched.
  const std::string disk = card->table.empty() ? card->path : card->table;
  const auto ofDisk = [&](const BlockObject& block) { return block.path == disk || block.table == disk; };
  for (const BlockObject& block : objects.blocks) {
    const bool ofCard = &block == &*card;
    if (!block.filesystem || !(ofCard || ofDisk(block))) continue;
    if (!block.mounted && !ofCard) continue;
    BusError error;
    if (CallWithOptions(bus.get(), block.path, kFilesystem, "Unmount", error) >= 0) continue;
    // A mount udisks does not see (made by someone else): unmount it directly.
    if (ofCard && error.Is("org.freedesktop.UDisks2.Error.NotMounted")) {
      const EjectResult direct = UnmountDirectly(root, device, mountId);
      if (direct.status != Status::Ejected) return direct;
      continue;
    }
    return FromBusError(error, device, procRoot_);
  }
  // Loop, device-mapper and md devices have no drive of their own: udisks puts them all under the drive "/".
  // A drive holding any block of another disk is never ejected nor powered off: the card is unmounted and
  // safe to pull, but stays in.
  const bool driveOfCardAlone =
      !drive.empty() && drive != "/" &&
      std::all_of(objects.blocks.begin(), objects.blocks.end(),
                  [&](const BlockObject& block) { return block.drive != drive || ofDisk(block); });
  if (!driveOfCardAlone) return {Status::Ejected, false};

  const bool ejectable = driveObject != objects.drives.end() && driveObject->second.ejectable;
  EjectResult result{Status::Ejected, ejectable};
  if (ejectable) {
    // The file systems are unmounted: a slot that fails to push the card out leaves it safe to pull.
    BusError error;
    if (CallWithOptions(bus.get(), drive, kDrive, "Eject", error) < 0) result.mediaEjected = false;
  }
  if (options.powerOff) {
    BusError error;
    if (CallWithOptions(bus.get(), drive, kDrive, "PowerOff", error) < 0) {
      const EjectResult failed = FromBusError(error, device, procRoot_);
      return failed;
    }
  }
  return result;
}

}  // namespace scaleboot::platform
