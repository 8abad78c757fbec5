#include "card/SameCard.h"

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

}  // namespace scaleboot
