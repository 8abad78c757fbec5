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
  // A reader named by the user that the system now lists as no removable drive (a letter gone to a fixed
  // disk): shown with no card, so nothing is written to it.
  bool notRemovable = false;
  // A reader named by the user that holds the disk the running system uses (then also notRemovable): the
  // station refuses to start with it.
  bool systemDisk = false;
};

// What the system says of a card's volume; empty strings where it says nothing.
struct VolumeFacts {
  std::string label;
  std::string serial;
};

// Called by the station's looker (Poll, one look at a time), by each card's worker (Describe) and by the
// owner's thread, a window's or the command line's (ReaderOf, HoldsSystemDisk), possibly all at once: an
// implementation keeps no state those share without its own lock. A call may hang on a card and return long
// after the station is gone.
class CardSlotSource {
 public:
  virtual ~CardSlotSource() = default;
  // The slots now: one per reader named in `readers`, in that order (a reader the system does not know has
  // an empty identity), or, when `readers` is empty, one per removable drive the system lists.
  virtual std::vector<CardSlot> Poll(std::span<const std::string> readers) = 0;
  virtual VolumeFacts Describe(const std::string& root) = 0;
  // Whether the reader named `reader` holds the disk the running system uses, asked once before the station
  // starts (a station never watches it). Looking does not count as one of the station's polls.
  virtual bool HoldsSystemDisk(const std::string& reader) {
    (void)reader;
    return false;
  }
  // The reader that holds the card at `root`, named as Poll takes it: here the root without its trailing
  // separator ("E:", "/media/card"), which names the reader wherever a reader keeps its name while empty.
  virtual std::string ReaderOf(const std::string& root) {
    std::string reader = root;
    while (reader.size() > 1 && (reader.back() == '/' || reader.back() == '\\')) reader.pop_back();
    return reader;
  }
};

}  // namespace scaleboot::platform
