// What a station says happened, each kind with the fields it has, for its owner to put into words.
#pragma once
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "card/OwnChecksum.h"
#include "station/CardRecord.h"

namespace scaleboot::station {
namespace event {

// The readers holding a card at the start, or the devices of cards there that nobody mounted.
struct LeftAlone {
  std::vector<std::string> names;
};
// The readers named and empty at the start.
struct Watching {
  std::vector<std::string> names;
};
// No readers named: every removable drive that appears.
struct WatchingAny {};
// The card's root, then its other names (one card under two letters).
struct CardStarted {
  std::vector<std::string> names;
};
// One that stopped answering after a stop has `card.stoppedAnswering`.
struct CardEnded {
  CardEnd card;
};
// A card nobody mounts, with another file system.
struct FileSystemRefused {
  std::string device, fileSystem;
};
struct MountFailed {
  std::string device, failure;
};
// A reader named that the system now lists as no removable drive.
struct ReaderNotRemovable {
  std::string reader;
};
// `show`: whether nothing is in progress.
struct Waiting {
  bool show = false;
  std::size_t written = 0, failed = 0;
};
// The cards in progress, finished (within the bound) before the station stops.
struct Stopping {
  std::size_t running = 0;
};
struct Stopped {
  std::size_t written = 0, failed = 0;
};
// What a card there at the start holds.
struct Present {
  std::string root;
  CardVerdict verdict = CardVerdict::Damaged;
  bool deviceCompared = true;
};
// A card nobody mounts that did not answer the probe for the retry time.
struct Unreadable {
  std::string device;
};

}  // namespace event

using Event =
    std::variant<event::LeftAlone, event::Watching, event::WatchingAny, event::CardStarted, event::CardEnded,
                 event::FileSystemRefused, event::MountFailed, event::ReaderNotRemovable, event::Waiting,
                 event::Stopping, event::Stopped, event::Present, event::Unreadable>;

}  // namespace scaleboot::station
