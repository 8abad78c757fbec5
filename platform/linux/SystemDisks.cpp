#include "platform/linux/SystemDisks.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <sstream>

namespace scaleboot::platform {
namespace {

// The folders a live system's medium is mounted at.
constexpr std::string_view kLiveMediumFolders[] = {"/run/live/medium", "/cdrom", "/run/initramfs/live",
                                                   "/run/archiso/bootmnt"};
// Folders the running system keeps, with all below them: its programs, settings, logs and data.
constexpr std::string_view kSystemTrees[] = {"/boot", "/efi", "/usr", "/var", "/srv", "/opt", "/etc"};

bool AtOrBelow(std::string_view path, std::string_view folder) {
  return path == folder ||
         (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

// Links to follow and mounts to pass through, at most, on the way from one mount down to its disks.
constexpr int kMaxDepth = 16;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

// The device a path under /dev names, from sysfs alone: /dev/NAME by its kernel name, /dev/mapper/NAME by the
// device-mapper name sysfs gives it. 0 when sysfs knows no such device.
dev_t NamedDevice(const std::string& sysRoot, const std::string& path) {
  if (!path.starts_with("/dev/")) return 0;
  const std::string name = path.substr(path.rfind('/') + 1);
  if (name.empty() || name == "." || name == "..") return 0;
  const std::string classFolder = sysRoot + "/class/block/";
  if (path.starts_with("/dev/mapper/")) {
    for (const std::string& block : Entries(classFolder)) {
      if (FirstLine(classFolder + block + "/dm/name") == name)
        return DeviceNumberIn(classFolder + block + "/dev");
    }
    return 0;
  }
  return DeviceNumberIn(classFolder + name + "/dev");
}

// A path the kernel wrote, without the " (deleted)" after a file that is gone.
std::string Undeleted(std::string path) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
  return path;
}

// A path as the kernel writes it into /proc/swaps: octal escapes for blanks and backslashes.
std::string SwapPath(const std::string& escaped) {
  const std::string path = Undeleted(escaped);
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto octal = [&](std::size_t at) { return at < path.size() && path[at] >= '0' && path[at] <= '7'; };
    if (path[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>((path[i + 1] - '0') * 64 + (path[i + 2] - '0') * 8 + (path[i + 3] - '0'));
      i += 3;
    } else {
      out += path[i];
    }
  }
  return out;
}

// The folders an overlay is made of: its lower folders (each "lowerdir" list, separated by ':', or one
// "lowerdir+" folder at a time), its upper folder and its data folders.
std::vector<std::string> OverlayFolders(const std::string& options) {
  std::vector<std::string> folders;
  std::size_t start = 0;
  while (start <= options.size()) {
    std::size_t end = start;
    while (end < options.size() && options[end] != ',') end += options[end] == '\\' ? 2 : 1;
    const std::string option = options.substr(start, end - start);
    const auto equals = option.find('=');
    const std::string key = option.substr(0, equals);
    if (equals != std::string::npos &&
        (key == "lowerdir" || key == "lowerdir+" || key == "upperdir" || key == "datadir+")) {
      std::istringstream list(option.substr(equals + 1));
      for (std::string folder; std::getline(list, folder, key == "lowerdir" ? ':' : '\0');)
        if (folder.starts_with("/")) folders.push_back(folder);
    }
    start = end + 1;
  }
  return folders;
}

class Walk {
 public:
  Walk(const std::vector<MountRecord>& mounts, const std::string& sysRoot) : mounts_(mounts), sys_(sysRoot) {}

  void FromMount(const MountRecord& mount, int depth) {
    if (depth > kMaxDepth || !visitedMounts_.insert(mount.id).second) return;
    if (PathExists(BlockFolder(sys_, mount.device))) return FromDevice(mount.device, depth + 1);
    // Anonymous device numbers: btrfs and overlays lead to real devices; tmpfs, nfs, zfs and the like to
    // none.
    if (mount.fsType == "btrfs") return FromBtrfs(mount, depth + 1);
    if (mount.fsType == "overlay") {
      for (const std::string& folder : OverlayFolders(mount.fsOptions)) FromPath(folder, depth + 1);
    }
  }

  // The file system holding `path`: the mount with the longest target the path lies in, the later of two on
  // one folder (it covers the earlier).
  void FromPath(const std::string& path, int depth) {
    const MountRecord* holder = nullptr;
    for (const MountRecord& mount : mounts_) {
      const std::string& target = mount.target;
      const bool inside =
          path == target || target == "/" ||
          (path.starts_with(target) && path.size() > target.size() && path[target.size()] == '/');
      if (inside && path.starts_with("/") && (holder == nullptr || target.size() >= holder->target.size()))
        holder = &mount;
    }
    if (holder != nullptr) FromMount(*holder, depth);
  }

  void FromDevice(dev_t device, int depth) {
    if (device == 0 || depth > kMaxDepth || !visitedDevices_.insert(device).second) return;
    const std::string folder = BlockFolder(sys_, device);
    if (!PathExists(folder)) return;
    if (PathExists(folder + "/partition")) return FromDevice(DeviceNumberIn(folder + "/../dev"), depth + 1);
    for (const std::string& slave : Entries(folder + "/slaves"))
      FromDevice(DeviceNumberIn(folder + "/slaves/" + slave + "/dev"), depth + 1);
    const std::string backing = FirstLine(folder + "/loop/backing_file");
    if (!backing.empty()) FromPath(Undeleted(backing), depth + 1);
    disks_.insert(device);
  }

  void FromSwaps(std::string_view swaps) {
    std::istringstream lines{std::string(swaps)};
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
      // "NAME TYPE SIZE USED PRIORITY": the name is escaped, so it holds no blank.
      std::istringstream fields(line);
      std::string name, type;
      if (!(fields >> name >> type)) continue;
      const std::string path = SwapPath(name);
      if (type == "partition") {
        FromDevice(NamedDevice(sys_, path), 0);
      } else if (type == "file") {
        FromPath(path, 0);
      }
    }
  }

  std::set<dev_t> Disks() const { return disks_; }

 private:
  // Every device of the btrfs file system mounted from `mount.source`, as sysfs lists them for its UUID.
  void FromBtrfs(const MountRecord& mount, int depth) {
    const dev_t named = NamedDevice(sys_, mount.source);
    if (named == 0) return;
    const std::string btrfs = sys_ + "/fs/btrfs/";
    for (const std::string& uuid : Entries(btrfs)) {
      const std::string devices = btrfs + uuid + "/devices/";
      bool member = false;
      std::vector<dev_t> numbers;
      for (const std::string& name : Entries(devices)) {
        numbers.push_back(DeviceNumberIn(devices + name + "/dev"));
        member = member || numbers.back() == named;
      }
      if (!member) continue;
      for (const dev_t number : numbers) FromDevice(number, depth);
      return;
    }
    FromDevice(named, depth);
  }

  const std::vector<MountRecord>& mounts_;
  const std::string& sys_;
  std::set<int> visitedMounts_;
  std::set<dev_t> visitedDevices_;
  std::set<dev_t> disks_;
};

}  // namespace

bool IsSystemFolder(std::string_view target) {
  if (target == "/" || target == "/root" || target == "/home") return true;
  // A user's home, one level below /home; a folder deeper in it is the user's own, a card's mount point too.
  if (target.starts_with("/home/") && target.size() > 6 && target.find('/', 6) == std::string_view::npos)
    return true;
  for (const std::string_view tree : kSystemTrees)
    if (AtOrBelow(target, tree)) return true;
  for (const std::string_view folder : kLiveMediumFolders)
    if (target == folder) return true;
  return false;
}

std::optional<std::string> EmptySystemAutomount(const std::vector<MountRecord>& mounts) {
  for (const MountRecord& automount : mounts) {
    if (automount.fsType != "autofs" || !IsSystemFolder(automount.target)) continue;
    const bool filled = std::any_of(mounts.begin(), mounts.end(), [&](const MountRecord& mount) {
      return mount.parentId == automount.id && mount.id != automount.id && mount.target == automount.target;
    });
    if (!filled) return automount.target;
  }
  return std::nullopt;
}

std::set<dev_t> SystemDisks(const std::vector<MountRecord>& mounts, std::optional<std::string_view> swaps,
                            const std::string& sysRoot) {
  Walk walk(mounts, sysRoot);
  for (const MountRecord& mount : mounts) {
    if (IsSystemFolder(mount.target)) walk.FromMount(mount, 0);
  }
  if (swaps) walk.FromSwaps(*swaps);
  return walk.Disks();
}

std::set<dev_t> SystemDisks(std::string_view mountTable, std::optional<std::string_view> swaps,
                            const std::string& sysRoot) {
  const auto mounts = ParseMountTable(mountTable);
  return mounts ? SystemDisks(*mounts, swaps, sysRoot) : std::set<dev_t>{};
}

}  // namespace scaleboot::platform
