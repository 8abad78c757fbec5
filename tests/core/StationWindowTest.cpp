// The station window's rows, status line and sounds over scripted readers and the in-memory file layer.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "FakeFileSystem.h"
#include "ui/StationTexts.h"
#include "ui/StationWindow.h"

namespace scaleboot {
namespace {

using testing::FakeFileSystem;
using Status = platform::EjectResult::Status;
using StationSetup = station::Services;  // what each test sets up the station with

// Reader E: is empty for the first look and holds card "a" after it.
struct Slots : platform::CardSlotSource {
  int polls = 0;
  bool alreadyIn = false;  // E: holds card "a" from the first look on
  std::vector<platform::CardSlot> Poll(std::span<const std::string>) override {
    if (polls++ == 0 && !alreadyIn) return {{"E:", "", ""}};
    return {{"E:", "E:\\", "a"}};
  }
  platform::VolumeFacts Describe(const std::string&) override { return {}; }
};

struct Ejector : platform::Ejector {
  Status status = Status::InUse;
  int asked = 0;
  platform::EjectResult Eject(const std::string&, const platform::EjectOptions&) override {
    ++asked;
    return {status, true, {"notepad.exe (12)"}, {}};
  }
};

struct Record : platform::AppendFile {
  bool works;
  std::vector<std::string> lines;
  explicit Record(bool w) : works(w) {}
  std::mutex mutex;  // two cards' workers may append at once
  bool Append(std::string_view line) override {
    const std::lock_guard lock(mutex);
    if (works) lines.emplace_back(line);
    return works;
  }
};

// Ticks until the card's row is there, gathering the updates.
StationUpdate RunUntilRow(StationSession& session, StationUpdate all = {}) {
  for (int tick = 0; tick < 3000 && all.rows.empty(); ++tick) {
    StationUpdate update = session.Tick();
    all.rows.insert(all.rows.end(), update.rows.begin(), update.rows.end());
    all.sounds.insert(all.sounds.end(), update.sounds.begin(), update.sounds.end());
    if (update.status) all.status = update.status;
    all.finished = update.finished;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return all;
}

TEST(StationWindow, EachCardGetsARowItsSoundAndTheCountsInTheStatusLine) {
  const std::string ok(Text(kEnglish, Msg::WriteOkText)), log = "cannot append to the log 'cards.log'";
  const std::string written = "Waiting for a card... 1 written, 0 failed";
  const std::string failed = "Waiting for a card... 0 written, 1 failed";
  struct Case {
    const char* name;
    std::string setup;  // words: eject, ejected / in-use (the system's ejector), no-files, cache, differs,
                        // log, log-fails
    std::string outcome, removal, status;
    StationSound sound;
  };
  // clang-format off
  const Case cases[] = {
      {"written, ejected and recorded", "eject ejected log", ok, "remove the card", written, StationSound::Once},
      {"eject refused", "eject in-use", ok, "not ejected: in use by another program: notepad.exe (12)", written,
       StationSound::Thrice},
      {"no ejector on the system", "eject", ok, "not ejected: ejecting is not available", written,
       StationSound::Thrice},
      {"no file layer", "no-files", "the card's files cannot be prepared: out of memory", "remove the card", failed,
       StationSound::Thrice},
      {"a byte differs", "differs", std::string(Text(kEnglish, Msg::WriteFailedText)), "remove the card", failed,
       StationSound::Thrice},
      {"through the cache only; eject off: not asked", "in-use cache", ok + "; Note: this card's file system reads only through the system's cache, "
       "so the check could not reach past it: the bytes compared may have come from memory.",
       "remove the card", written, StationSound::Once},
      {"record append fails: not to take away without a word", "log-fails", ok, "remove the card; " + log, written + "; " + log,
       StationSound::Thrice},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto has = [&c](const char* word) {
      return (" " + c.setup + " ").find(std::string(" ") + word + " ") != std::string::npos;
    };
    Slots slots;
    Ejector ejector;
    if (has("ejected")) ejector.status = Status::Ejected;
    StationSetup setup{&slots,
                       [&]() -> std::unique_ptr<platform::ByteFileSystem> {
                         if (has("no-files")) return nullptr;
                         auto files = std::make_unique<FakeFileSystem>();
                         files->pastCacheRefused = has("cache");
                         if (has("differs"))
                           files->afterWrite = [](const std::string&, std::vector<std::uint8_t>& b) {
                             b[7] ^= 1;
                           };
                         return files;
                       },
                       FirmwareImages()};
    setup.ejector = has("ejected") || has("in-use") ? &ejector : nullptr;
    setup.lookEvery = {};  // a look at each tick
    StationSession session(kEnglish, setup, {{"E:"}});
    session.SetEject(has("eject"));
    auto record = std::make_unique<Record>(!has("log-fails"));
    const Record& lines = *record;
    if (has("log") || has("log-fails")) session.SetRecord(std::move(record), "cards.log");
    EXPECT_EQ(session.Start().watching.value_or(""), "watching: E:");
    const StationUpdate all = RunUntilRow(session);
    ASSERT_EQ(all.rows.size(), 1u);
    EXPECT_EQ(all.rows[0].drive, "E:");
    EXPECT_EQ(all.rows[0].outcome, c.outcome);
    EXPECT_EQ(all.rows[0].removal, c.removal);
    EXPECT_EQ(all.rows[0].good, c.sound == StationSound::Once);
    EXPECT_EQ(all.sounds, std::vector<StationSound>{c.sound});
    EXPECT_EQ(all.status.value_or(""), c.status);
    EXPECT_EQ(ejector.asked, has("eject") && setup.ejector ? 1 : 0);
    EXPECT_EQ(lines.lines.size(), has("log") ? 1u : 0u);
  }
}

TEST(StationWindow, AStopWaitsForTheCardInProgressThenFinishes) {
  Slots slots;
  std::atomic<bool> release{false};
  StationSetup setup{&slots,
                     [&release] {
                       auto files = std::make_unique<FakeFileSystem>();
                       files->fault = [&release](FakeFileSystem::Op, const std::string&, std::size_t) {
                         while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                         return 0;
                       };
                       return files;
                     },
                     FirmwareImages()};
  setup.lookEvery = {};
  StationSession session(kEnglish, setup, {});
  EXPECT_EQ(session.Start().watching.value_or(""), "watching every removable drive that appears");
  StationUpdate update = session.Tick();
  EXPECT_EQ(update.status.value_or(""), "E: writing...");
  update = session.Stop();
  EXPECT_FALSE(update.finished);
  EXPECT_EQ(update.status.value_or(""), "stopping: finishing 1 card(s) in progress...");
  // No later look begins another card; the one in progress ends, and only then the window may close.
  for (int tick = 0; tick < 20; ++tick) EXPECT_FALSE(session.Tick().finished);
  release = true;
  update = RunUntilRow(session);
  EXPECT_EQ(update.rows.size(), 1u);
  EXPECT_TRUE(update.finished);
  EXPECT_EQ(slots.polls, 2);
}

// A card whose writes never return when the window stops: once the stop's bound is past, its row says it
// stopped answering, in the window's language, with three beeps, and the window may close. The writes are let
// go after the session is gone; what they wait on is theirs.
TEST(StationWindow, AStopWithACardThatStoppedAnsweringFinishesWithinTheBound) {
  const std::pair<LanguageIndex, std::vector<std::string>> cases[] = {
      {kEnglish, {"stopped answering", "take it out; its files may be incomplete"}},
      {kRussian, {"перестала отвечать", "выньте её; её файлы могут быть неполными"}}};
  for (const auto& [language, words] : cases) {
    Slots slots;
    const auto release = std::make_shared<std::atomic<bool>>(false);
    StationSetup setup{&slots,
                       [release] {
                         auto files = std::make_unique<FakeFileSystem>();
                         files->fault = [release](FakeFileSystem::Op, const std::string&, std::size_t) {
                           while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                           return 0;
                         };
                         return files;
                       },
                       FirmwareImages()};
    setup.lookEvery = {};
    {
      StationSession session(language, setup, {.stopBound = std::chrono::milliseconds(100)});
      session.Start();
      session.Tick();
      ASSERT_TRUE(session.Busy());
      const StationUpdate update = RunUntilRow(session, session.Stop());
      ASSERT_EQ(update.rows.size(), 1u);
      EXPECT_EQ(update.rows[0].outcome, words[0]);
      EXPECT_EQ(update.rows[0].removal, words[1]);
      EXPECT_EQ(update.sounds, std::vector{StationSound::Thrice});
      EXPECT_TRUE(update.finished);
    }
    *release = true;
  }
}

// Only a window's first session checks the cards there at the start (not one begun for another reader).
TEST(StationWindow, OnlyTheFirstSessionChecksTheCardsThereAtTheStart) {
  for (const bool first : {true, false}) {
    Slots slots;
    slots.alreadyIn = true;
    const StationSetup services{&slots, [] { return std::make_unique<FakeFileSystem>(); }, FirmwareImages()};
    StationSession session(kEnglish, services, {.checkPresent = first});
    // The check may end before the start's own tick does: its row is then in the start's update.
    EXPECT_EQ(RunUntilRow(session, session.Start()).rows.size(), first ? 1u : 0u) << first;
  }
}

// The record file as both windows keep it: chosen in the first session, kept by the next (another reader).
TEST(StationWindow, TheRecordFileIsOpenedOnceAndKeptForTheSessionsThatFollow) {
  struct Case {
    const char* name;
    std::vector<std::string> chosen;  // "" cancels the dialog; "bad.log" is refused
    bool stopped;                     // the first session stops while the dialog is open
    std::string line;
    int opens;
    std::size_t recorded;  // lines the next session's card appends
  };
  const Case cases[] = {
      {"cancelled", {""}, false, "", 0, 0},
      {"refused", {"bad.log"}, false, "", 1, 0},
      {"chosen", {"cards.log"}, false, "Record: cards.log", 1, 1},
      {"chosen, then a refused one", {"cards.log", "bad.log"}, false, "Record: cards.log", 2, 1},
      {"chosen once the station stops", {"cards.log"}, true, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int opens = 0;
    Record* opened = nullptr;
    StationRecord record(kEnglish, [&](const std::string& path, platform::AppendRefusal&) {
      ++opens;
      auto file = path == "bad.log" ? nullptr : std::make_unique<Record>(true);
      opened = file ? file.get() : opened;
      return std::unique_ptr<platform::AppendFile>(std::move(file));
    });
    Slots slots;
    const StationSetup setup{.cardSlots = &slots,
                             .newFiles = [] { return std::make_unique<FakeFileSystem>(); },
                             .images = FirmwareImages(),
                             .lookEvery = {}};
    {
      StationSession first(kEnglish, setup, {});
      if (c.stopped) first.Stop();
      for (const std::string& path : c.chosen)
        EXPECT_EQ(record.Choose(path, first, "T").has_value(), path == "bad.log" && !c.stopped);
    }
    StationSession next(kEnglish, setup, {});
    record.Attach(next);
    next.Start();
    EXPECT_EQ(RunUntilRow(next).rows.size(), 1u);
    EXPECT_EQ(record.Line(), c.line);
    EXPECT_EQ(opens, c.opens);
    EXPECT_EQ(opened ? opened->lines.size() : 0u, c.recorded);
  }
}

// The system's words end in a full stop and a line break of their own; the box has one full stop.
TEST(StationWindow, ARefusedRecordFileIsSaidInOneSentence) {
  const platform::AppendRefusal refusal{platform::AppendRefusal::Reason::System, "Permission denied.\r\n"};
  EXPECT_EQ(RecordRefusedBox(kEnglish, "/x.log", refusal, "T"),
            (MessageBoxSpec{"Cannot keep a record in '/x.log': Permission denied.", "T", BoxIcon::Error}));
}

}  // namespace
}  // namespace scaleboot
