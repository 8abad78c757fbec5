// Ejecting a card on Linux: through udisks2 on the system D-Bus, or, without udisks and as root, by
// unmounting the card's file system directly.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Eject.h"

namespace scaleboot::platform {

// The programs that hold anything on the file system of device `device`: an open file, a current folder or a
// mapped file, found under `procRoot` (normally /proc). Each as "name (pid)", in the order of their pids.
std::vector<std::string> ProcessesUsingDevice(dev_t device, const std::string& procRoot = "/proc");

// Nothing at all unless the root is still the mount root of a removable device on no disk the running system
// uses (the card was pulled, and a fixed mount folder is now a folder of the system disk): then the card is
// gone. From then on the card is the folder opened by that check, never the path again. syncfs on it, then
// for udisks: the block object whose DeviceNumber is the card's device, refused unless udisks says its drive
// is Removable or MediaRemovable (a block without a drive object of its own, a loop device under udisks'
// shared drive "/", counts as the drive list judged it); Unmount of every mounted file system of the card's
// whole disk (its own block, and the blocks whose partition table is the card's), never of another block of
// its drive: identical readers share one serial, and udisks makes them one drive. Eject when the drive is
// ejectable (PowerOff only when asked), only when the drive holds the card's disk alone; otherwise the card
// is safe to remove but not pushed out. All with auth.no_user_interaction. Without udisks on the bus, or
// when udisks knows no object for the card or says it is not mounted, and running as root: umount2(root, 0)
// while the folder still holds the mount checked, never a lazy unmount.
class LinuxEjector : public Ejector {
 public:
  // The fallback's unmount call, returning 0 or errno; whether the program runs as root; where /proc is; the
  // check of a root, returning a descriptor (O_PATH) of the folder while it is still the mount root of a
  // removable device (MountDriveSource::OpenRemovableRoot), -1 otherwise.
  using Unmount = std::function<int(const std::string& root)>;
  using CardRootOpener = std::function<int(const std::string& root)>;
  LinuxEjector();
  LinuxEjector(Unmount unmount, bool asRoot, std::string procRoot, CardRootOpener openCardRoot);
  EjectResult Eject(const std::string& root, const EjectOptions& options) override;

 private:
  EjectResult UnmountDirectly(const std::string& root, dev_t device, std::uint64_t mountId);

  std::mutex mutex_;  // one eject at a time: udisks and the kernel are not asked from several cards at once
  Unmount unmount_;
  bool asRoot_;
  std::string procRoot_;
  CardRootOpener openCardRoot_;
};

}  // namespace scaleboot::platform
