#include "card/SameCard.h"

#include <algorithm>

#include "common/Errors.h"

namespace scaleboot {

std::vector<SameCardGroup> GroupSameFolders(
    std::span<const std::optional<platform::FolderIdentity>> identities) {
  std::vector<SameCardGroup> groups;
  std::vector<std::size_t> groupOf(identities.size());
  for (std::size_t i = 0; i < identities.size(); ++i) {
    bool joined = false;
    for (std::size_t earlier = 0; identities[i] && earlier < i && !joined; ++earlier) {
      if (identities[earlier] == identities[i]) {
        groups[groupOf[earlier]].push_back(i);
        groupOf[i] = groupOf[earlier];
        joined = true;
      }
    }
    if (!joined) {
      groupOf[i] = groups.size();
      groups.push_back({i});
    }
  }
  return groups;
}

OneRootPerFolder OnePerFolder(std::span<const std::string> roots, const FolderIdentifier& identify) {
  std::vector<std::optional<platform::FolderIdentity>> identities;
  std::vector<int> codes;
  for (const std::string& root : roots) {
    const platform::FolderLookup lookup =
        identify && roots.size() > 1 ? identify(root) : platform::FolderLookup{};
    identities.push_back(lookup.identity);
    // A lookup that failed without saying why still fails: the root is not known to be a card of its own.
    const bool failed = identify && roots.size() > 1 && !lookup.identity;
    codes.push_back(failed ? (lookup.code != 0 ? lookup.code : io::kDriveNotReady) : 0);
  }
  OneRootPerFolder result;
  for (const SameCardGroup& group : GroupSameFolders(identities)) {
    result.roots.push_back(roots[group.front()]);
    result.unidentified.push_back(codes[group.front()]);
    result.alsoNamed.emplace_back();
    for (std::size_t i = 1; i < group.size(); ++i) result.alsoNamed.back().push_back(roots[group[i]]);
  }
  return result;
}

std::vector<SlotGroup> GroupSameCards(std::span<const platform::CardSlot> begun,
                                      std::span<const std::optional<platform::FolderIdentity>> folders,
                                      std::span<const platform::CardSlot> polled) {
  std::vector<SlotGroup> groups;
  for (const SameCardGroup& same : GroupSameFolders(folders)) {
    SlotGroup group{begun[same.front()], {}, {}};
    for (const std::size_t i : same) group.identities.push_back(begun[i].identity);
    for (const platform::CardSlot& slot : polled) {
      const bool ofCard = std::count(group.identities.begin(), group.identities.end(), slot.identity) != 0;
      if (ofCard && !slot.root.empty() && slot.root != group.slot.root &&
          std::count(group.alsoNamed.begin(), group.alsoNamed.end(), slot.root) == 0)
        group.alsoNamed.push_back(slot.root);
    }
    groups.push_back(std::move(group));
  }
  return groups;
}

}  // namespace scaleboot
