// Mounting the cards nobody mounts, as the system offers it: the removable cards with what was found on them,
// and the mount and unmount of one. Which card to mount, and when, the station decides (card/MountRule.h).
#pragma once
#include <span>
#include <string>
#include <vector>

namespace scaleboot::platform {

struct UnmountedCandidate {
  std::string device;                 // the block device to mount, "/dev/sdb1"
  std::string identity;               // tells this card from the next one in the same reader
  unsigned long long number = 0;      // the device's number
  unsigned long long diskNumber = 0;  // the number of its whole disk (the same for a whole disk)
  bool hasFileSystem = false;
  std::string fileSystem;  // its type as libblkid names it ("vfat", "ext4"), where it has one
  bool mounted = false;
  // The probe got no answer from the card (one just inserted may not answer yet): it is probed again at the
  // next look.
  bool unreadable = false;
};

// The readers the station watches: any removable card, or only the cards in the readers with these numbers.
struct MountScope {
  bool any = true;
  std::vector<unsigned long long> readers;
};

// Called by the station's looker (ReleaseGone, Candidates, ScopeOf), by a mount worker per card (Mount) and
// by a card's worker (Release), possibly at once: an implementation guards what they share itself.
class CardMounting {
 public:
  virtual ~CardMounting() = default;
  // The removable cards now, mounted or not; each probed once while it stays in.
  virtual std::vector<UnmountedCandidate> Candidates() = 0;
  // The cards the station's `readers` name: any card when there are none; a reader named by its mount point
  // names no card to mount, only one named by its device path does.
  virtual MountScope ScopeOf(std::span<const std::string> readers) = 0;
  // Mounts `card` as the type found on it. Empty when it was mounted or could not even be tried (no udisks
  // and not root); otherwise why it was not.
  virtual std::string Mount(const UnmountedCandidate& card) = 0;
  // After the run of the card at `root`: if it was mounted here and is still mounted, unmounts it and removes
  // the folder made for it. Empty when done or nothing was to be done; otherwise why it is still mounted.
  virtual std::string Release(const std::string& root) = 0;
  // Unmounts the station's own mounts whose card was taken out, and removes their folders.
  virtual void ReleaseGone() {}
};

}  // namespace scaleboot::platform
