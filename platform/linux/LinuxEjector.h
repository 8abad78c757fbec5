// Ejecting a card on Linux: through udisks2 on the system D-Bus, or, without udisks and as root, by
// unmounting the card's file system directly.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Eject.h"

namespace scaleboot::platform {

// The programs that hold anything on the file system of device `device`: an open file, a current folder or a
// mapped file, found under `procRoot` (normally /proc). Each as "name (pid)", in the order of their pids.
std::vector<std::string> ProcessesUsingDevice(dev_t device, const std::string& procRoot = "/proc");

// Nothing at all unless the root is still the mount root of a removable device on no disk the running system
// uses (the card was pulled, and a fixed mount folder is now a folder of the system disk): then the card is
// gone. Otherwise syncfs on the
// root, then for udisks: the block object whose DeviceNumber is the root's device, Unmount of every mounted
// file system of its drive unless udisks says the drive is neither Removable nor MediaRemovable (a block
// without a drive object of its own, a loop device under udisks' shared drive "/", counts as the drive list
// judged it, and only its own file system is unmounted), Eject when the drive is
// ejectable (PowerOff only when asked), all with auth.no_user_interaction. Without udisks on the bus, or when
// udisks knows no object for the card or says it is not mounted, and running as root: umount2(root, 0), never
// a lazy unmount.
class LinuxEjector : public Ejector {
 public:
  // The fallback's unmount call, returning 0 or errno; whether the program runs as root; where /proc is;
  // whether a root is still the mount root of a removable device (MountDriveSource::OpenRemovableRoot).
  using Unmount = std::function<int(const std::string& root)>;
  using CardRootCheck = std::function<bool(const std::string& root)>;
  LinuxEjector();
  LinuxEjector(Unmount unmount, bool asRoot, std::string procRoot, CardRootCheck isCardRoot);
  EjectResult Eject(const std::string& root, const EjectOptions& options) override;

 private:
  EjectResult UnmountDirectly(const std::string& root, dev_t device);

  Unmount unmount_;
  bool asRoot_;
  std::string procRoot_;
  CardRootCheck isCardRoot_;
};

}  // namespace scaleboot::platform
