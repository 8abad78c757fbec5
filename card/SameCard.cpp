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

OneRootPerFolder OnePerFolder(std::span<const std::string> roots, const FolderIdentifier& identify) {
  std::vector<std::optional<platform::FolderIdentity>> identities;
  for (const std::string& root : roots) identities.push_back(identify ? identify(root) : std::nullopt);
  OneRootPerFolder result;
  for (const SameCardGroup& group : GroupSameFolders(identities)) {
    result.roots.push_back(roots[group.front()]);
    result.alsoNamed.emplace_back();
    for (std::size_t i = 1; i < group.size(); ++i) result.alsoNamed.back().push_back(roots[group[i]]);
  }
  return result;
}

}  // namespace scaleboot
