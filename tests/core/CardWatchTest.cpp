#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "card/CardWatch.h"
#include "card/SameCard.h"

namespace scaleboot {
namespace {

// "E:a F:- G:b" is a poll: reader E: holds card a, F: is empty. "!a" says card a's run has ended.
std::vector<platform::CardSlot> Slots(const std::string& poll) {
  std::vector<platform::CardSlot> slots;
  std::istringstream words(poll);
  for (std::string word; words >> word;) {
    const auto colon = word.rfind(':');
    const std::string reader = word.substr(0, colon), identity = word.substr(colon + 1);
    slots.push_back({reader, identity == "-" ? "" : reader + "/", identity == "-" ? "" : identity});
  }
  return slots;
}

struct Case {
  const char* name;
  std::vector<const char*> steps;  // the first one is the start
  const char* leftAlone;
  const char* watched;
  const char* started;  // the identities started over all later steps, in order, "|" between polls
};

std::string Join(const std::vector<std::string>& words, const char* separator) {
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) out += (i == 0 ? "" : separator) + words[i];
  return out;
}

TEST(CardWatch, StartsEachNewCardOnceAndOnlyAfterItsRemovalAgain) {
  const Case cases[] = {
      {"card present at the start is left alone", {"E:a F:-", "E:a F:-", "E:a F:-"}, "E", "F", "|"},
      {"card inserted later is written once", {"E:-", "E:b", "E:b", "!b", "E:b"}, "", "E", "b||"},
      {"left alone until its removal was seen", {"E:a", "E:-", "E:a"}, "E", "", "|a"},
      {"still in after its run: not again", {"E:-", "E:b", "!b", "E:b", "E:b"}, "", "E", "b||"},
      {"removed after its run, inserted again", {"E:-", "E:b", "!b", "E:-", "E:b"}, "", "E", "b||b"},
      {"a second card starts while the first runs", {"E:- F:-", "E:b F:-", "E:b F:c"}, "", "E,F", "b|c"},
      {"another card on the same path is new", {"/m:a", "/m:b"}, "/m", "", "b"},
      {"card left alone moved to another path", {"/m:a", "/n:a"}, "/m", "", ""},
      {"a card gone before its run ended", {"E:-", "E:b", "E:-", "!b", "E:b"}, "", "E", "b||b"},
      {"a reader that keeps a card during its run", {"E:-", "E:b", "E:b", "E:b"}, "", "E", "b||"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CardWatch watch;
    const CardWatchStart start = watch.Begin(Slots(c.steps.front()));
    EXPECT_EQ(Join(start.leftAlone, ","), c.leftAlone);
    EXPECT_EQ(Join(start.watched, ","), c.watched);
    std::vector<std::string> polls;
    for (std::size_t i = 1; i < c.steps.size(); ++i) {
      const std::string step = c.steps[i];
      if (step.starts_with("!")) {
        watch.Finished(step.substr(1));
        continue;
      }
      std::vector<std::string> started;
      for (const platform::CardSlot& slot : watch.Poll(Slots(step))) {
        EXPECT_EQ(slot.root, slot.reader + "/");
        started.push_back(slot.identity);
      }
      polls.push_back(Join(started, ","));
    }
    EXPECT_EQ(Join(polls, "|"), c.started);
  }
}

TEST(CardWatch, AReaderRefusedAsNoRemovableDriveIsSaidOnceUntilItIsOneAgain) {
  const std::pair<std::vector<std::vector<platform::CardSlot>>, const char*> cases[] = {
      {{{{"E:", "", "", true}}, {{"E:", "", "", true}}, {{"E:", "", "", true}, {"F:", "", "", true}}},
       "E:||F:"},
      {{{{"E:", "", "", true}}, {{"E:", "E:\\", "a"}}, {{"E:", "", "", true}}}, "E:||E:"},
  };
  for (const auto& [polls, said] : cases) {
    CardWatch watch;
    std::vector<std::string> lines;
    for (const auto& poll : polls) lines.push_back(Join(watch.NewlyRefused(poll), ","));
    EXPECT_EQ(Join(lines, "|"), said);
  }
}

// The cards begun on one poll after an empty start, one per card: "E/ F/ (a,b)" is a card written at E/,
// also named F/, whose run stands for the identities a and b.
TEST(SameCardSlots, OneCardUnderTwoNamesIsBegunOnce) {
  const struct {
    const char* name;
    const char* poll;
    std::vector<int> folders;  // the folder of each slot begun, 0 where unknown
    const char* begun;
  } cases[] = {
      {"one card mounted at two folders", "/m:a /n:a", {1}, "/m/ /n/ (a)"},
      {"a subst letter: two identities, one folder", "E:a F:b", {1, 1}, "E/ F/ (a,b)"},
      {"cloned cards: two folders", "E:a F:b", {1, 2}, "E/ (a) | F/ (b)"},
      {"folders unknown: each its own", "E:a F:b", {0, 0}, "E/ (a) | F/ (b)"},
      {"three names, one of another card", "E:a F:b G:c", {1, 2, 1}, "E/ G/ (a,c) | F/ (b)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CardWatch watch;
    watch.Begin({});
    const std::vector<platform::CardSlot> polled = Slots(c.poll), begun = watch.Poll(polled);
    std::vector<std::optional<platform::FolderIdentity>> folders;
    for (const int folder : c.folders)
      folders.push_back(folder == 0
                            ? std::nullopt
                            : std::optional(platform::FolderIdentity{0, 0, "\\d" + std::to_string(folder)}));
    ASSERT_EQ(folders.size(), begun.size());
    std::vector<std::string> groups;
    for (const SlotGroup& group : GroupSameCards(begun, folders, polled)) {
      std::vector<std::string> names{group.slot.root};
      names.insert(names.end(), group.alsoNamed.begin(), group.alsoNamed.end());
      groups.push_back(Join(names, " ") + " (" + Join(group.identities, ",") + ")");
    }
    EXPECT_EQ(Join(groups, " | "), c.begun);
  }
}

}  // namespace
}  // namespace scaleboot
