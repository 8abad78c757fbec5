#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "card/CardWatch.h"

namespace scaleboot {
namespace {

// "E:a F:- G:!" is a poll: reader E: holds card a, F: is empty, G: is no removable drive. "!a" says card a's
// run has ended.
std::vector<platform::CardSlot> Slots(const std::string& poll) {
  std::vector<platform::CardSlot> slots;
  std::istringstream words(poll);
  for (std::string word; words >> word;) {
    const auto colon = word.rfind(':');
    const std::string reader = word.substr(0, colon), identity = word.substr(colon + 1);
    const bool card = identity != "-" && identity != "!";
    slots.push_back({reader, card ? reader + "/" : "", card ? identity : "", identity == "!"});
  }
  return slots;
}

struct Case {
  const char* name;
  std::vector<const char*> steps;  // the first one is the start
  const char* leftAlone;
  const char* watched;
  const char* started;  // the identities started ("!" readers refused) after the start, "|" between polls
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
      {"refused: said once", {"E:-", "E:!", "E:! F:!", "E:b F:!", "E:! F:!"}, "", "E", "!E|!F|b|!E"},
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
      for (const std::string& reader : watch.NewlyRefused(Slots(step))) started.push_back("!" + reader);
      for (const platform::CardSlot& slot : watch.Poll(Slots(step))) {
        EXPECT_EQ(slot.root, slot.reader + "/");
        started.push_back(slot.identity);
      }
      polls.push_back(Join(started, ","));
    }
    EXPECT_EQ(Join(polls, "|"), c.started);
  }
}

}  // namespace
}  // namespace scaleboot
