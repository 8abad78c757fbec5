// The rule of the station, apart from any system: which card to write as the slots are polled. A card present
// at the first poll is left alone; a card that appears later is written once, and written again only after
// its removal has been seen (its identity missing from a poll), however long it stays in after its run.
#pragma once
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/CardSlots.h"

namespace scaleboot {

struct CardWatchStart {
  std::vector<std::string> leftAlone;  // readers holding a card at the start: never written
  std::vector<std::string> watched;    // readers empty at the start
};

class CardWatch {
 public:
  // The first poll: what is there now is left alone.
  CardWatchStart Begin(std::span<const platform::CardSlot> slots);
  // Every later poll: the slots whose card is to be written now, each once.
  std::vector<platform::CardSlot> Poll(std::span<const platform::CardSlot> slots);
  // The readers of `slots` refused as no removable drive that were not at the last call: each is said once
  // until it is a removable drive again.
  std::vector<std::string> NewlyRefused(std::span<const platform::CardSlot> slots);
  // The run of the card `identity` has ended; it is not written again before its removal is seen.
  void Finished(const std::string& identity);
  std::size_t Running() const { return running_.size(); }

 private:
  std::set<std::string> running_;
  std::set<std::string> blocked_;  // present, and either left alone or already written
  std::set<std::string> present_;  // the cards of the last poll
  std::set<std::string> refused_;  // the readers refused at the last call of NewlyRefused
};

}  // namespace scaleboot
