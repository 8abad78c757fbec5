// The card readers and removable drives the station watches, polled once a second, each with the identity
// of the card it holds: what tells one card from the next when both get the same drive letter or mount path.
#pragma once
#include <span>
#include <string>
#include <vector>

namespace scaleboot::platform {

struct CardSlot {
  std::string reader;    // as the user names it: "E:", a mount point, a reader's device path
  std::string root;      // where the card's files go ("E:\", "/media/card/"); empty while no card is readable
  std::string identity;  // the card in it; empty while the reader is empty or the card not ready
};

// What the system says of a card's volume; empty strings where it says nothing.
struct VolumeFacts {
  std::string label;
  std::string serial;
};

// A card the source found unmounted and did not mount for the station: its file system is none the scales
// read (only FAT and exFAT are mounted: no other file-system driver of the kernel is put before a card anyone
// may have made), or mounting it failed.
struct RefusedCard {
  std::string device;      // "/dev/sdb1"
  std::string fileSystem;  // as libblkid names it: "ext4", "btrfs", ...
  std::string failure{};   // why mounting it failed; empty when it was refused for its file system
};

class CardSlotSource {
 public:
  virtual ~CardSlotSource() = default;
  // The slots now: one per reader named in `readers`, in that order (a reader the system does not know has
  // an empty identity), or, when `readers` is empty, one per removable drive the system lists.
  virtual std::vector<CardSlot> Poll(std::span<const std::string> readers) = 0;
  virtual VolumeFacts Describe(const std::string& root) = 0;
  // The cards refused since the last call, each once per insertion.
  virtual std::vector<RefusedCard> TakeRefused() { return {}; }
  // The run of the card at `root` has ended (and its eject, if any): undoes what the source did for it.
  // Empty when done; otherwise why the card the source mounted is still mounted at `root`.
  virtual std::string Finished(const std::string& /*root*/) { return {}; }
};

}  // namespace scaleboot::platform
