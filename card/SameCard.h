// Roots that name one folder of one card: a drive letter made with subst, a volume mounted at a letter and in
// a folder, a bind mount. Writing such a card once per name would start two runs on the same files, the
// second one's truncating create wrecking the first one's read-back.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot {

// The roots of one folder, as indexes into the list given: the first is the one written, the others name
// it too. Each group starts with the first root of its folder, in the order given.
using SameCardGroup = std::vector<std::size_t>;

// Groups the roots whose folder identities are equal, one group per folder in the order of its first root. A
// root whose identity is unknown is a group of its own.
std::vector<SameCardGroup> GroupSameFolders(
    std::span<const std::optional<platform::FolderIdentity>> identities);

// The roots to write, one per folder in the order given, each with the other roots given for its folder.
struct OneRootPerFolder {
  std::vector<std::string> roots;
  std::vector<std::vector<std::string>> alsoNamed;  // one list per root, empty for a root named once
};
using FolderIdentifier = std::function<std::optional<platform::FolderIdentity>(const std::string&)>;
// Identifies the folder of every root before anything is written; without `identify`, each root is its own.
OneRootPerFolder OnePerFolder(std::span<const std::string> roots, const FolderIdentifier& identify);

}  // namespace scaleboot
