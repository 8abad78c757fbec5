// Which unmounted card the station mounts itself, and when: on a machine without a desktop nothing mounts a
// card, but on one with a desktop its automounter does, a moment after the card appears. A card with a file
// system that nobody has mounted for `grace` since it was first seen is mounted, once while it stays in. A
// card there at the first look is never mounted (it is left alone, as its files are); nor is one that someone
// else mounted, even after they unmount it again. Only the file systems the scales read are mounted: a card
// with any other is left alone, and said so once, when it would have been mounted. A card that does not
// answer the probe is probed again at every look for `retry`, then said once to be unreadable.
#pragma once
#include <chrono>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CardMounting.h"

namespace scaleboot {

using platform::MountScope;
using platform::UnmountedCandidate;

// What one look decides.
struct MountDecision {
  std::vector<UnmountedCandidate> mount;       // the cards to mount now
  std::vector<UnmountedCandidate> refused;     // due, but with a file system the station does not mount
  std::vector<UnmountedCandidate> unreadable;  // unanswered for the whole retry time
};

// How long a card nobody mounted is left to the system's own automounter before the station mounts it.
inline constexpr std::chrono::milliseconds kMountGrace{3000};

// The file systems the station mounts itself: FAT and exFAT, the ones the scales read.
bool MountableFileSystem(std::string_view type);

class MountRule {
 public:
  using Clock = std::chrono::steady_clock;
  explicit MountRule(Clock::duration grace, Clock::duration retry = std::chrono::seconds(10))
      : grace_(grace), retry_(retry) {}
  // The first look: every card there now is left alone.
  void Begin(std::span<const UnmountedCandidate> candidates);
  // Every later look: the devices to mount now, and those refused for their file system.
  MountDecision Due(std::span<const UnmountedCandidate> candidates, const MountScope& scope,
                    Clock::time_point now);

 private:
  Clock::duration grace_, retry_;
  std::set<std::string> done_;                     // present and left alone, mounted by anyone, or tried
  std::map<std::string, Clock::time_point> seen_;  // waiting out the grace since this time
  std::map<std::string, Clock::time_point> unanswered_;  // probed without an answer since this time
};

}  // namespace scaleboot
