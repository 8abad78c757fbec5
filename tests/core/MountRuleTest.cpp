#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "card/MountRule.h"

namespace scaleboot {
namespace {

using namespace std::chrono_literals;

// A look: "a+ b= c- d* e? @2500" says card a has a FAT file system and nobody mounted it, b is mounted, c has
// no file system, d has an ext4 one, e does not answer the probe, and the look comes 2500 ms after the first
// one. Card x sits in reader 1 (its disk), any other in 2.
std::vector<UnmountedCandidate> Look(const std::string& text, int& at) {
  std::vector<UnmountedCandidate> candidates;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (word[0] == '@') {
      at = std::stoi(word.substr(1));
      continue;
    }
    UnmountedCandidate c;
    c.identity = word.substr(0, word.size() - 1);
    c.device = "/dev/" + c.identity;
    c.number = 100;
    c.diskNumber = c.identity == "x" ? 1 : 2;
    c.mounted = word.back() == '=';
    c.hasFileSystem = word.back() == '+' || word.back() == '*';
    c.unreadable = word.back() == '?';
    c.fileSystem = word.back() == '+' ? (c.identity == "e" ? "exfat" : "vfat") : "ext4";
    candidates.push_back(c);
  }
  return candidates;
}

struct Case {
  const char* name;
  std::vector<const char*> looks;  // the first one is the start
  const char* mounted;             // the devices mounted over the later looks, "|" between looks
  MountScope scope = {};
};

TEST(MountRule, MountsACardNobodyMountsOnceAfterTheGrace) {
  const std::vector<Case> cases{
      {"a card nobody mounts is mounted after the grace", {"", "a+ @1000", "a+ @2000", "a+ @4100"}, "||a"},
      {"once only while it stays in", {"", "a+ @0", "a+ @3000", "a+ @6000", "a+ @9000"}, "|a||"},
      {"a card there at the start is left alone", {"a+", "a+ @3000", "a+ @9000"}, "|"},
      {"removed and put back it is a new card", {"a+", "@1000", "a+ @2000", "a+ @5000"}, "||a"},
      {"a card someone mounted is never mounted here, even once unmounted",
       {"", "a= @1000", "a+ @2000", "a+ @9000"},
       "||"},
      {"a desktop that mounts within the grace wins", {"", "a+ @1000", "a= @2000", "a+ @9000"}, "||"},
      {"no file system, nothing to mount", {"", "a- @1000", "a- @9000"}, "|"},
      {"the grace counts from when the file system is seen",
       {"", "a- @1000", "a+ @2000", "a+ @4500", "a+ @5000"},
       "|||a"},
      {"two cards, each on its own clock",
       {"", "a+ @1000", "a+ b+ @3000", "a+ b+ @4000", "a+ b+ @6000"},
       "||a|b"},
      {"only the watched reader's card", {"", "x+ a+ @0", "x+ a+ @5000"}, "|x", MountScope{false, {1}}},
      {"readers named by mount point: nothing", {"", "x+ a+ @0", "x+ a+ @5000"}, "|", MountScope{false, {}}},
      {"exFAT is mounted; another file system is refused once, after the grace",
       {"", "a* e+ @0", "a* e+ @1000", "a* e+ @3000", "a* e+ @9000"},
       "||!ae|"},
      {"one unanswered is said once, 10 s on", {"", "a? @0", "a? @9000", "a? @10000", "a? @20000"}, "||?a|"},
      {"one that answers within the 10 s is mounted", {"", "a? @0", "a+ @8000", "a+ @11000"}, "||a"},
  };
  for (const Case& c : cases) {
    MountRule rule(3000ms);
    int at = 0;
    rule.Begin(Look(c.looks[0], at));
    std::string mounted;
    for (std::size_t i = 1; i < c.looks.size(); ++i) {
      const auto candidates = Look(c.looks[i], at);
      if (i > 1) mounted += "|";
      const MountDecision due = rule.Due(candidates, c.scope, MountRule::Clock::time_point(at * 1ms));
      for (const UnmountedCandidate& refused : due.refused) mounted += "!" + refused.device.substr(5);
      for (const UnmountedCandidate& card : due.unreadable) mounted += "?" + card.device.substr(5);
      for (const UnmountedCandidate& card : due.mount) mounted += card.device.substr(5);
    }
    EXPECT_EQ(mounted, c.mounted) << c.name;
  }
}

}  // namespace
}  // namespace scaleboot
