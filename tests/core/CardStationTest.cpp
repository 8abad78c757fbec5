// The station's core over scripted readers and a scripted writer: the events it reports, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <variant>

#include "station/CardStation.h"

namespace scaleboot::station {
namespace {

// A poll: "E:a F:-" says reader E: holds card a and F: is empty; "!" fails.
struct Slots : platform::CardSlotSource {
  std::vector<std::string> polls;
  std::size_t next = 0;
  std::vector<platform::CardSlot> Poll(std::span<const std::string>) override {
    std::vector<platform::CardSlot> slots;
    const std::string& poll = polls[std::min(next++, polls.size() - 1)];
    if (poll == "!") throw std::runtime_error("the reader does not answer");
    std::istringstream words(poll);
    for (std::string word; words >> word;) {
      const bool card = word.substr(2) != "-";
      slots.push_back({word.substr(0, 2), card ? word.substr(0, 2) : "", card ? word.substr(2) : ""});
    }
    return slots;
  }
  platform::VolumeFacts Describe(const std::string&) override { return {}; }
};

void Pause() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The events as words: "left:E: start:F: end:F:verified wait stop:1 stopped:1/0".
std::string Codes(const std::vector<Event>& events) {
  static const char* kNames[] = {"left",      "watch", "any",  "start", "end",     "refused",   "unmounted",
                                 "removable", "",      "stop", "",      "present", "unreadable"};
  std::string out;
  for (const Event& event : events) {
    if (std::holds_alternative<event::Waiting>(event)) continue;
    out += (out.empty() ? "" : " ") + std::string(kNames[event.index()]);
    std::visit(
        [&out](const auto& e) {
          if constexpr (requires { e.names; })
            for (const std::string& name : e.names) out += ":" + name;
          if constexpr (requires { e.root; }) out += ":" + e.root;
          if constexpr (requires { e.reader; }) out += ":" + e.reader;
          if constexpr (requires { e.card; })
            out += ":" + e.card.result.root + (e.card.result.outcome == CardOutcome::Verified ? "ok" : "bad");
          if constexpr (requires { e.running; }) out += ":" + std::to_string(e.running);
          if constexpr (requires { e.device; }) out += ":" + e.device;
        },
        event);
  }
  return out;
}

TEST(CardStation, WritesEachCardThatAppearsOnceAndFinishesTheOnesInProgress) {
  struct Case {
    const char* name;
    std::vector<std::string> polls;  // the first one is the start
    const char* events;              // of the start, the looks, the stop and the ticks until nothing runs
  };
  const Case cases[] = {
      {"written, removed, put back: written again",
       {"E:-", "E:a", "E:a", "E:-", "E:a", "E:a"},
       "watch:E: start:E: end:E:ok start:E: end:E:ok"},
      {"one there at the start is left alone; one that fails is said",
       {"E:a F:-", "E:a F:x", "E:a F:x"},
       "left:E: watch:F: start:F: end:F:bad"},
      {"a stop with a card in progress waits for it", {"E:-", "E:s"}, "watch:E: start:E: stop:1 end:E:ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Slots slots;
    slots.polls = c.polls;
    std::atomic<bool> release{false};
    const std::vector<std::string> readers{"E:", "F:"};
    StationParts parts{
        slots, [&](const std::string& root) {
          // Card "s" is slow: it ends once the stop was asked for.
          while (root == "E:" && slots.polls.back() == "E:s" && !release) std::this_thread::yield();
          return CardResult{root, root == "F:" ? CardOutcome::Mismatch : CardOutcome::Verified};
        }};
    parts.readers = readers;
    const std::time_t begun = std::time(nullptr);
    CardStation station(parts);
    std::vector<Event> events = station.Start();
    const auto add = [&](std::vector<Event> more) { events.insert(events.end(), more.begin(), more.end()); };
    for (std::size_t look = 1; look < c.polls.size(); ++look) {
      add(station.Tick(true));
      // Each card's run ends before the next look, but for the slow one.
      for (int i = 0; i < 2000 && station.Running() != 0 && !(c.polls.back() == "E:s"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        add(station.Tick(false));
      }
    }
    add(station.Stop());
    release = true;
    while (station.Running() != 0) add(station.Tick(false));
    EXPECT_EQ(Codes(events), c.events);
    // Each card's end carries the time it ended: its row, its line and its record say when.
    for (const Event& event : events) {
      const auto* ended = std::get_if<event::CardEnded>(&event);
      EXPECT_GE(ended ? ended->card.ended : begun, begun);
    }
  }
}

// The station looks at the readers by itself at its pace, and at once when a tick asks.
TEST(CardStation, LooksAtItsOwnPaceAndAtOnceWhenATickAsks) {
  using std::chrono::milliseconds;
  struct Case {
    std::optional<milliseconds> every;
    bool ask;  // the first tick asks for a look
    bool begun;
    std::vector<std::string> polls = {"E:-", "E:a"};
  };
  const Case cases[] = {{milliseconds(20), false, true},
                        {std::chrono::hours(1), true, true},
                        {std::chrono::hours(1), false, false},
                        {std::nullopt, false, false},
                        {milliseconds(20), false, true, {"!", "E:-", "E:a"}}};  // a first look that fails
  for (const Case& c : cases) {
    Slots slots;
    slots.polls = c.polls;
    StationParts parts{slots, [](const std::string& root) {
                         return CardResult{root, CardOutcome::Verified};
                       }};
    parts.lookEvery = c.every;
    CardStation station(parts);
    std::string events = Codes(station.Start());
    for (int i = 0; i < 300 && !station.Started(); ++i, Pause()) events += Codes(station.Tick());
    ASSERT_EQ(events, "any");
    events += Codes(station.Tick(c.ask));
    // Asked for, the look is taken by the tick that asked.
    EXPECT_EQ(events.find("start:E:") != std::string::npos, c.ask) << events;
    for (int i = 0; i < 300 && events.find("start:E:") == std::string::npos; ++i, Pause())
      events += Codes(station.Tick());
    EXPECT_EQ(events.find("start:E:") != std::string::npos, c.begun) << c.ask << events;
  }
}

// A session that ends while a card is written (its window destroyed, the program ending): the card is
// finished and recorded, though no tick reports it any more. Under two letters (one folder) it is one card in
// progress.
TEST(CardStation, ASessionThatEndsMidCardStillRecordsItAndCountsOneCardUnderTwoLettersOnce) {
  struct Record : platform::AppendFile {
    std::vector<std::string> lines;
    std::mutex mutex;  // two cards' workers may append at once
    bool Append(std::string_view line) override {
      return std::lock_guard(mutex), lines.emplace_back(line), true;
    }
  } record;
  // The machine is kept up from the card's start until the session's end, not longer.
  struct Awake : platform::StayAwake {
    std::string held;  // each change: "1" held, "0" let go
    void Hold(bool busy) override {
      if (held.empty() || held.back() != "01"[busy]) held += "01"[busy];
    }
  } awake;
  Slots slots;
  slots.polls = {"E:- F:-", "E:a F:b"};
  std::atomic<bool> latch{false};
  StationParts parts{slots, [&](const std::string& root) {
                       while (!latch) std::this_thread::yield();
                       // Still writing a moment after the session began to end.
                       std::this_thread::sleep_for(std::chrono::milliseconds(30));
                       return CardResult{root};
                     }};
  parts.record = &record;
  parts.stayAwake = &awake;
  parts.identifyFolder = [](const std::string&) {
    return platform::FolderLookup{platform::FolderIdentity{7}};
  };
  {
    const std::jthread opener([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      latch = true;
    });
    CardStation station(parts);
    // A slow first look is taken by the tick, which then makes the look it asks for.
    std::vector<Event> begun = station.Start();
    std::ranges::move(station.Tick(true), std::back_inserter(begun));
    EXPECT_EQ(Codes(begun), "any start:E::F:");
    EXPECT_EQ(Codes(station.Stop()), "stop:1");
    EXPECT_EQ(awake.held, "01");
  }
  EXPECT_EQ(awake.held, "010");
  ASSERT_EQ(record.lines.size(), 1u);
  EXPECT_NE(record.lines[0].find("\"outcome\":\"verified\""), std::string::npos) << record.lines[0];
}

// Each card's record line is appended on its worker before its end is reported: a disk slow to take card
// E:'s line holds up that card's line alone, never a tick or card F:'s; a line that does not reach the disk
// is a failed record.
TEST(CardStation, ACardsRecordIsOnTheDiskBeforeItsLineAndASlowDiskHoldsUpThatCardAlone) {
  for (const bool synced : {true, false}) {
    struct Record : platform::AppendFile {
      std::atomic<bool> release{false};
      bool synced = true;
      bool Append(std::string_view line) override {
        while (line.find("\"root\":\"E:\"") != std::string_view::npos && !release) std::this_thread::yield();
        return synced;
      }
    } record;
    record.synced = synced;
    Slots slots;
    slots.polls = {"E:- F:-", "E:a F:b"};
    StationParts parts{slots, [](const std::string& root) { return CardResult{root}; }};
    parts.record = &record;
    CardStation station(parts);
    station.Start();
    std::string events = Codes(station.Tick(true));
    for (int i = 0; i < 2000 && events.find("end:F:") == std::string::npos; ++i, Pause())
      events += " " + Codes(station.Tick(false));
    EXPECT_EQ(events.find("end:E:"), std::string::npos) << events;
    record.release = true;
    std::vector<Event> ended;
    while (station.Running() != 0) std::ranges::move(station.Tick(false), std::back_inserter(ended));
    ASSERT_EQ(Codes(ended), "end:E:ok");
    EXPECT_EQ(std::get<event::CardEnded>(ended.front()).card.recordFailed, !synced);
  }
}

// Readers and a mounter that hang where told ("poll": the third poll, "probe": the third look at the cards,
// "mount": every mount) until Leave, 10 s at most. Card z, nobody's, comes at the second look, unanswering
// when told. The station's threads are never waited for: Leave lets them go and waits until none is inside.
struct Hanging : Slots, platform::CardMounting {
  std::string hangs;
  bool unreadable = false;
  int looks = 0;
  std::atomic<bool> unblock{false};
  std::atomic<int> inside{0};
  struct Inside {
    Hanging& h;
    ~Inside() { --h.inside; }
  };
  void Hang(const char* where) {
    for (int i = 0; i < 10000 && hangs == where && !unblock; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void Leave() {
    unblock = true;
    while (inside != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::vector<platform::CardSlot> Poll(std::span<const std::string> readers) override {
    const Inside in{(++inside, *this)};
    if (next == 2) Hang("poll");
    return Slots::Poll(readers);
  }
  std::vector<platform::UnmountedCandidate> Candidates() override {
    const Inside in{(++inside, *this)};
    if (looks++ == 2) Hang("probe");
    if (looks == 1) return {};
    return {{"/dev/sdz1", "z", 1, 1, !unreadable, unreadable ? "" : "vfat", false, unreadable}};
  }
  platform::MountScope ScopeOf(std::span<const std::string>) override { return {}; }
  std::string Mount(const platform::UnmountedCandidate&) override {
    const Inside in{(++inside, *this)};
    return Hang("mount"), "";
  }
  std::string Release(const std::string&) override { return {}; }
};

// The window's ticks go on while a reader hangs, and report the cards that end meanwhile.
TEST(CardStation, ATickReturnsAtOnceWhateverAReaderOrTheMounterDoes) {
  for (const char* hangs : {"poll", "probe", "mount"}) {
    SCOPED_TRACE(hangs);
    Hanging slots;
    slots.polls = {"E:-", "E:a"};
    slots.hangs = hangs;
    std::atomic<bool> release{false};
    StationParts parts{slots, [&](const std::string& root) {
                         while (!release) std::this_thread::yield();
                         return CardResult{root};
                       }};
    parts.mounter = &slots;
    parts.mountGrace = std::chrono::milliseconds(0);
    CardStation station(parts);
    std::vector<Event> events = station.Start();
    std::chrono::steady_clock::duration longest{};
    for (int tick = 0; tick < 10 && (tick < 2 || station.Running() != 0); ++tick) {
      const auto begun = std::chrono::steady_clock::now();
      for (Event& event : station.Tick(true)) events.push_back(std::move(event));
      longest = std::max(longest, std::chrono::steady_clock::now() - begun);
      release = tick > 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(Codes(events), "any start:E: end:E:ok");
    EXPECT_LT(longest, std::chrono::milliseconds(200));
    slots.Leave();
  }
}

// A stop ends within its bound whatever hangs: a look, the check of a card there at the start and a mount are
// dropped at once; a write that does not return is ended as one that stopped answering, and recorded so, once
// the bound is past. Card G:b, written meanwhile, is untouched. What hangs is let go after the station is
// gone; the calls it is in own what they use.
TEST(CardStation, AStopEndsWithinItsBoundWhateverHangs) {
  for (const std::string hangs : {"write", "check", "poll", "mount"}) {
    SCOPED_TRACE(hangs);
    Hanging slots;
    slots.polls = {"E:- F:p G:-", "E:a F:p G:b", "E:a F:p G:b"};
    slots.hangs = hangs;
    const auto gate = std::make_shared<std::atomic<int>>(0);  // 1: the stop came; 2: let go
    const auto wait = [gate](int until) {
      for (int i = 0; i < 10000 && *gate < until; ++i) Pause();
    };
    // E: is in progress when the stop comes, and hangs then or ends.
    StationParts parts{slots, [wait, hangs](const std::string& root) {
                         if (root == "E:") wait(hangs == "write" ? 2 : 1);
                         return CardResult{root};
                       }};
    parts.checkPresent = [wait, hangs](const std::string&) {
      return wait(hangs == "check" ? 2 : 0), PresentCheck{};
    };
    struct : platform::AppendFile {
      std::mutex mutex;
      std::string lines;
      bool Append(std::string_view line) override { return std::lock_guard(mutex), lines += line, true; }
    } record;
    parts.record = &record;
    parts.mounter = &slots;
    parts.mountGrace = std::chrono::milliseconds(0);
    // Only the card that hangs meets the bound (under loaded 32-bit Wine the other took over 1.5 s to end).
    parts.stopBound = std::chrono::milliseconds(hangs == "write" ? 1500 : 30000);
    std::string events, ended;
    std::chrono::steady_clock::duration took{};
    {
      CardStation station(parts);
      events = Codes(station.Start());
      for (int tick = 0; tick < 10000 && (events.find("end:G:") == std::string::npos ||
                                          (hangs != "check" && events.find("present") == std::string::npos));
           ++tick, Pause())
        events += " " + Codes(station.Tick(tick < 3));
      const auto stopping = std::chrono::steady_clock::now();
      ended = Codes(station.Stop());
      *gate = 1;
      while (!station.Finished() &&
             std::chrono::steady_clock::now() - stopping < parts.stopBound + std::chrono::seconds(5))
        if (const std::string more = Codes(station.Tick(false)); Pause(), !more.empty()) ended += " " + more;
      took = std::chrono::steady_clock::now() - stopping;
    }
    EXPECT_NE(events.find("end:G:ok"), std::string::npos) << events;
    EXPECT_EQ(events.find("present") == std::string::npos, hangs == "check") << events;
    EXPECT_NE(ended.find(hangs == "write" ? "stop:1 end:E:bad" : "stop:1 end:E:ok"), std::string::npos)
        << ended;
    // Each hang lasts 10 s at least: a stop that waited for one would take that long.
    EXPECT_LT(took, hangs == "write" ? parts.stopBound + std::chrono::seconds(2) : std::chrono::seconds(8));
    EXPECT_EQ(record.lines.find("\"root\":\"E:\",\"label\":null,\"serial\":null,\"outcome\":\"io-error\"") !=
                  std::string::npos,
              hangs == "write")
        << record.lines;
    *gate = 2;
    slots.Leave();
  }
}

// A card that never answers the probe is said once, when the retry time is out, and not again while it stays.
TEST(CardStation, ACardThatCannotBeReadIsSaidOnceAfterTheRetryTime) {
  for (const auto& [retry, said] : {std::pair{0, "any unreadable:/dev/sdz1"}, {3600000, "any"}}) {
    Hanging slots;
    slots.polls = {"E:-"};
    slots.unreadable = true;
    StationParts parts{slots, [](const std::string& root) { return CardResult{root}; }};
    parts.mounter = &slots;
    parts.probeRetry = std::chrono::milliseconds(retry);
    CardStation station(parts);
    std::vector<Event> events = station.Start();
    for (int look = 0; look < 5; ++look) std::ranges::move(station.Tick(true), std::back_inserter(events));
    EXPECT_EQ(Codes(events), said);
    EXPECT_GE(slots.looks, 5);
  }
}

}  // namespace
}  // namespace scaleboot::station
