// Mounting the cards nobody mounts: on a machine without a desktop a card put in a reader stays unmounted, so
// the station mounts it itself, through udisks2 when it is on the system bus, else, as root, into a folder of
// its own under /run/scaleboot. After the card's run it is unmounted again and that folder removed.
#pragma once
#include <chrono>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "card/MountRule.h"
#include "platform/CardSlots.h"

namespace scaleboot::platform {

class CardMounter {
 public:
  // `grace`: how long a card may stay unmounted before it is mounted here, so as not to race a desktop's
  // automounter. `sysRoot` is normally /sys, `runFolder` where the cards mounted as root go.
  explicit CardMounter(std::chrono::milliseconds grace, std::string sysRoot = "/sys",
                       std::string runFolder = "/run/scaleboot");
  ~CardMounter();
  CardMounter(const CardMounter&) = delete;
  CardMounter& operator=(const CardMounter&) = delete;

  // Looks at the removable cards: the first look leaves every card there alone; later ones mount the cards
  // that are due. `readers` as the station's: empty for any card, device paths for the cards in those
  // readers.
  void Look(std::span<const std::string> readers);
  // The cards refused or that failed to mount since the last call.
  std::vector<RefusedCard> TakeRefused();
  // After the run of the card at `root`: if it was mounted here and is still mounted, unmounts it; removes
  // the folder made for it. Empty when done, otherwise why it is still mounted.
  std::string Release(const std::string& root);

 private:
  struct Mounted {
    std::string device;
    bool throughUdisks = false;
  };
  struct Probe {
    bool hasFileSystem = false;
    std::string type;
  };
  // The removable cards as the rule sees them, from `sysRoot`; each probed with libblkid once while it stays
  // in, not at every look.
  std::vector<UnmountedCandidate> Candidates();
  void Mount(const UnmountedCandidate& card);
  bool MountThroughUdisks(const UnmountedCandidate& card, std::string& why);
  bool MountAsRoot(const UnmountedCandidate& card, std::string& why);
  bool UsableFolder(const std::string& folder, bool ownedByRoot) const;
  std::string Unmount(const std::string& root, const Mounted& mounted);

  std::mutex mutex_;
  MountRule rule_;
  bool begun_ = false;
  std::string sysRoot_, runFolder_;
  std::map<std::string, Mounted> mounted_;  // by the mount point, without a trailing "/"
  std::map<std::string, Probe> probed_;     // by the card's identity
  std::vector<RefusedCard> refused_;
};

}  // namespace scaleboot::platform
