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

#include "platform/CardSlots.h"
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
  // One per root: 0, or the system's code of why its folder could not be told, when the root is given with
  // others: such a root is not written, as it might be another name of a card written already.
  std::vector<int> unidentified;
};
using FolderIdentifier = std::function<platform::FolderLookup(const std::string&)>;
// Identifies the folder of every root before anything is written, when there are two or more; without
// `identify`, each root is its own.
OneRootPerFolder OnePerFolder(std::span<const std::string> roots, const FolderIdentifier& identify);

// The cards the station begins on one poll, one per card: a slot to write, with the roots of the other slots
// that show the same card. Slots of one card are those with the card identity of a slot begun (one card
// mounted at two folders) and, among the slots begun, those whose folders are equal (a subst letter).
struct SlotGroup {
  platform::CardSlot slot;
  std::vector<std::string> alsoNamed;   // the other roots of the card, in the order polled
  std::vector<std::string> identities;  // every card identity begun for it, the slot's own first
};
// `begun` are the slots to write, `folders` their folder identities (nothing where unknown), `polled`
// every slot of the poll.
std::vector<SlotGroup> GroupSameCards(std::span<const platform::CardSlot> begun,
                                      std::span<const std::optional<platform::FolderIdentity>> folders,
                                      std::span<const platform::CardSlot> polled);

}  // namespace scaleboot
