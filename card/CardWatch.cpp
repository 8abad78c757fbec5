#include "card/CardWatch.h"

namespace scaleboot {

CardWatchStart CardWatch::Begin(std::span<const platform::CardSlot> slots) {
  CardWatchStart start;
  for (const platform::CardSlot& slot : slots) {
    if (slot.identity.empty()) {
      start.watched.push_back(slot.reader);
    } else {
      blocked_.insert(slot.identity);
      start.leftAlone.push_back(slot.reader);
    }
  }
  return start;
}

std::vector<platform::CardSlot> CardWatch::Poll(std::span<const platform::CardSlot> slots) {
  std::set<std::string> present;
  for (const platform::CardSlot& slot : slots) {
    if (!slot.identity.empty()) present.insert(slot.identity);
  }
  // A card missing from this poll has been removed: the next card with its identity is a new insertion.
  std::erase_if(blocked_, [&](const std::string& identity) { return !present.contains(identity); });
  present_ = present;
  std::vector<platform::CardSlot> start;
  for (const platform::CardSlot& slot : slots) {
    if (slot.identity.empty() || slot.root.empty()) continue;
    if (blocked_.contains(slot.identity) || running_.contains(slot.identity)) continue;
    running_.insert(slot.identity);
    start.push_back(slot);
  }
  return start;
}

std::vector<std::string> CardWatch::NewlyRefused(std::span<const platform::CardSlot> slots) {
  std::set<std::string> refused;
  std::vector<std::string> newly;
  for (const platform::CardSlot& slot : slots) {
    if (!slot.notRemovable) continue;
    refused.insert(slot.reader);
    if (!refused_.contains(slot.reader)) newly.push_back(slot.reader);
  }
  refused_ = std::move(refused);
  return newly;
}

void CardWatch::Finished(const std::string& identity) {
  // A card pulled during its run and put back is a new insertion, whatever its identity.
  if (running_.erase(identity) != 0 && present_.contains(identity)) blocked_.insert(identity);
}

}  // namespace scaleboot
