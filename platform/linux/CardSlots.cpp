// The station's readers on Linux: removable mounts, told apart by the kernel's disk sequence number.
#include "platform/linux/CardSlots.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/linux/BlockDevices.h"

namespace scaleboot::platform {
namespace {

std::string Without(std::string path, char last) {
  while (path.size() > 1 && path.back() == last) path.pop_back();
  return path;
}

// The block device a reader's device path (a node under /dev, or a link to one) names; 0 for anything else.
unsigned long long DeviceNamed(const std::string& reader) {
  if (!reader.starts_with("/dev/")) return 0;
  struct stat st;
  if (::stat(reader.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return 0;
  return static_cast<unsigned long long>(st.st_rdev);
}

// "LABEL" and "UUID" links under /dev/disk/by-label and /dev/disk/by-uuid that lead to `device`.
std::string LinkNaming(const std::string& folder, unsigned long long device) {
  std::string found;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat st;
      if (::stat((folder + "/" + name).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
          static_cast<unsigned long long>(st.st_rdev) == device) {
        found = name;
        break;
      }
    }
    ::closedir(dir);
  }
  return found;
}

// udev escapes characters of a label in its link name as \xNN.
std::string Unescape(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      out += static_cast<char>(std::strtol(name.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += name[i];
    }
  }
  return out;
}

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

// "/dev/sdb" for the disk `device`, from its folder under /sys/dev/block; empty when no node under /dev names
// that very device.
std::string DiskNode(unsigned long long device) {
  const std::string link = BlockFolder("/sys", static_cast<dev_t>(device));
  char target[4096];
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  if (length <= 0) return {};
  const std::string folder(target, static_cast<std::size_t>(length));
  const std::string node = "/dev/" + folder.substr(folder.find_last_of('/') + 1);
  return DeviceNamed(node) == device ? node : std::string();
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the pause between polls ends at the signal.
  // A terminal or ssh session that goes away (SIGHUP) stops the station as Ctrl+C does: the cards in
  // progress are finished, not cut off.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  // Output that nobody reads any more (a pipe whose reader ended) fails its writes instead of ending the
  // program with a card half-written.
  ::signal(SIGPIPE, SIG_IGN);
}

bool WaitOrStop(int milliseconds) {
  if (stopRequested) return true;
  timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  ::nanosleep(&pause, nullptr);
  return stopRequested != 0;
}

LinuxCardSlots::LinuxCardSlots(MountDriveSource& drives) : drives_(drives) {}

std::vector<CardSlot> LinuxCardSlots::Poll(std::span<const std::string> readers) {
  const std::vector<MountDriveSource::RemovableMount> mounts = drives_.RemovableMounts();
  std::vector<CardSlot> slots;
  if (readers.empty()) {
    for (const auto& mount : mounts) {
      if (!mount.systemDisk) slots.push_back({Without(mount.root, '/'), mount.root, mount.identity});
    }
    return slots;
  }
  for (const std::string& reader : readers) {
    CardSlot slot{reader, "", ""};
    const unsigned long long device = DeviceNamed(reader);
    const std::string folder = Without(reader, '/');
    for (const auto& mount : mounts) {
      const bool named =
          device != 0 ? (mount.device == device || mount.disk == device) : Without(mount.root, '/') == folder;
      // A reader that holds the system's own disk shows no card, so that nothing is written to it.
      if (named && mount.systemDisk) {
        slot.notRemovable = slot.systemDisk = true;
        break;
      }
      if (named) {
        slot.root = mount.root;
        slot.identity = mount.identity;
        break;
      }
    }
    slots.push_back(slot);
  }
  return slots;
}

std::string LinuxCardSlots::ReaderOf(const std::string& root) {
  for (const auto& mount : drives_.RemovableMounts()) {
    if (Without(mount.root, '/') != Without(root, '/') || mount.disk == 0 || mount.systemDisk) continue;
    if (std::string node = DiskNode(mount.disk); !node.empty()) return node;
  }
  return CardSlotSource::ReaderOf(root);
}

VolumeFacts LinuxCardSlots::Describe(const std::string& root) {
  for (const auto& mount : drives_.RemovableMounts()) {
    if (mount.root != root) continue;
    return {Unescape(LinkNaming("/dev/disk/by-label", mount.device)),
            LinkNaming("/dev/disk/by-uuid", mount.device)};
  }
  return {};
}

}  // namespace scaleboot::platform
