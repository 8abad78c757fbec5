// The station over scripted card readers: which cards it writes, what it says, ejects, logs and returns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "CliHarness.h"
#include "common/Errors.h"
#include "main/cli/StationJournal.h"

namespace scaleboot::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Op = FakeFileSystem::Op;
using EjectStatus = platform::EjectResult::Status;
using Stream = platform::Console::Stream;

// A poll: "E:a F:-" says reader E: holds card a (root "E:\") and F: is empty. A step is shown only once the
// station has reported `ended` cards; after the last one, the station is asked to stop.
struct Step {
  const char* poll;
  int ended = 0;
  int present = 0;        // "present" objects on standard output: a stop drops the checks under way
  const char* said = "";  // words on standard error (a card there at the start is said when its check ends)
};

std::vector<platform::CardSlot> Slots(const std::string& poll) {
  std::vector<platform::CardSlot> slots;
  std::istringstream words(poll);
  for (std::string word; words >> word;) {
    const std::string reader = word.substr(0, 2), identity = word.substr(2);
    const bool card = identity != "-";
    slots.push_back({reader, card ? reader + "\\" : "", card ? identity : ""});
  }
  return slots;
}

// The lines that end a card's run: they start with the local time.
int Present(const std::string& out) {
  int count = 0;
  for (std::size_t at = out.find("\"event\":\"present\""); at != std::string::npos;
       at = out.find("\"event\":\"present\"", at + 1))
    ++count;
  return count;
}

int EndedLines(const std::string& err) {
  static const std::regex ended(R"((^|\n)\d\d:\d\d:\d\d )");
  return static_cast<int>(
      std::distance(std::sregex_iterator(err.begin(), err.end(), ended), std::sregex_iterator()));
}

struct ScriptedSlots : platform::CardSlotSource {
  std::vector<Step> steps;
  const FakeConsole* console = nullptr;
  std::atomic<int> journaledCards = 0;  // cards ended in the journal rather than on standard error
  std::size_t next = 0;
  int waited = 0;
  std::vector<std::string> readersAsked;
  std::vector<platform::CardSlot> Poll(std::span<const std::string> readers) override {
    readersAsked.assign(readers.begin(), readers.end());
    // Shows the previous poll again until the cards the step waits for have ended and its words are said (a
    // few thousand polls at most, so a station that never ends a card fails instead of hanging).
    const std::string err = console->Copy(Stream::Err);
    if (next < steps.size() && next > 0 &&
        (EndedLines(err) + journaledCards < steps[next].ended ||
         Present(console->Copy(Stream::Out)) < steps[next].present ||
         err.find(steps[next].said) == std::string::npos) &&
        ++waited < 3000)
      return Slots(steps[next - 1].poll);
    waited = 0;
    const std::size_t shown = std::min(next, steps.size() - 1);
    if (next < steps.size()) ++next;
    return Slots(steps[shown].poll);
  }
  platform::VolumeFacts Describe(const std::string& root) override {
    return {"CARD " + root.substr(0, 1), "1A2B-3C4D"};
  }
  bool Done() const { return next >= steps.size(); }
};

// Cards nobody mounted, there from the second look on: "ext4" ones are refused, "vfat" ones fail to mount.
struct FakeMounter : platform::CardMounting {
  std::vector<platform::UnmountedCandidate> cards;
  std::string unmountFailure;  // what Release answers
  int looks = 0;
  std::vector<platform::UnmountedCandidate> Candidates() override {
    return looks++ == 0 ? std::vector<platform::UnmountedCandidate>{} : cards;
  }
  platform::MountScope ScopeOf(std::span<const std::string>) override { return {}; }
  std::string Mount(const platform::UnmountedCandidate&) override { return "Permission denied"; }
  std::string Release(const std::string&) override { return unmountFailure; }
};

struct FakeEjector : platform::Ejector {
  platform::EjectResult answer{EjectStatus::Ejected};
  std::vector<std::string> roots;
  std::mutex mutex;  // two cards may end at once
  platform::EjectResult Eject(const std::string& root, const platform::EjectOptions&) override {
    const std::lock_guard lock(mutex);
    roots.push_back(root);
    return answer;
  }
};

struct MemoryLog : platform::AppendFile {
  std::vector<std::string>& lines;
  bool fails;
  const FakeConsole& console;
  std::vector<std::string>* saidBefore;  // what standard error held at each append
  MemoryLog(std::vector<std::string>& l, bool f, const FakeConsole& c, std::vector<std::string>* said)
      : lines(l), fails(f), console(c), saidBefore(said) {}
  // Called on the cards' workers, two at once when two cards end together.
  bool Append(std::string_view line) override {
    const std::lock_guard lock(mutex);
    if (!fails) lines.emplace_back(line);
    if (saidBefore) saidBefore->push_back(console.Copy(Stream::Err));
    return !fails;
  }
  std::mutex mutex;
};

// The journal: its entries, as NAME=value lines; refuses them all when `refuses`.
struct FakeJournal : platform::Journal {
  std::vector<std::map<std::string, std::vector<std::string>>> entries;
  std::atomic<int>* cards = nullptr;
  bool refuses = false;
  bool Send(std::span<const platform::JournalField> fields) override {
    if (refuses) return false;
    auto& entry = entries.emplace_back();
    for (const auto& [name, value] : fields) entry[name].push_back(value);
    if (entry.contains("SCALEBOOT_OUTCOME")) ++*cards;
    return true;
  }
};

struct Station : CliHarness {
  ScriptedSlots slots;
  FakeEjector ejector;
  FakeMounter mounter;
  std::vector<std::string> logLines;
  bool logFails = false;
  std::optional<platform::AppendRefusal> logRefusal;
  std::vector<std::string> saidBeforeAppend;
  std::function<std::unique_ptr<platform::ByteFileSystem>()> newFiles;
  const std::string_view hashes[4] = {"h0", "h1", "h2", "h3"};
  platform::Journal* journal = nullptr;
  std::optional<bool> (*clock)() = nullptr;

  int RunStation(std::vector<std::string> args, std::vector<Step> steps) {
    slots.steps = std::move(steps);
    slots.next = 0;
    slots.console = &console;
    console.out.clear();
    console.err.clear();
    const auto ownFiles = [this] { return std::make_unique<LockedFileSystem>(files, filesLock); };
    const station::Services services{&slots,
                                     newFiles ? newFiles : ownFiles,
                                     images,
                                     &ejector,
                                     &mounter,
                                     std::chrono::milliseconds(0),
                                     std::chrono::milliseconds(10)};
    cli::Environment environment{drives, files, console, services, kEnglish};
    mounter.looks = 0;
    if (!identities.empty())
      environment.services.identifyFolder = [this](const std::string& root) { return Identify(root); };
    environment.imageSha256 = hashes;
    environment.testFirmware = testFirmware;
    environment.journal = journal;
    environment.clockSynchronised = clock;
    slots.journaledCards = 0;
    environment.waitOrStop = [this](int) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return slots.Done();
    };
    environment.openLog = [this](const std::string&,
                                 platform::AppendRefusal& why) -> std::unique_ptr<platform::AppendFile> {
      if (logRefusal) {
        why = *logRefusal;
        return nullptr;
      }
      return std::make_unique<MemoryLog>(logLines, logFails, console, &saidBeforeAppend);
    };
    return cli::RunCli(args, environment);
  }
  std::size_t Creates(const std::string& root) const { return CallsOn(root, Op::Create); }
};

TEST_F(Station, WritesEachNewCardOnceLeavesTheOthersAloneAndSaysHowItEnded) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<Step> steps;
    platform::EjectResult eject;
    const char* damaged;  // a root whose card reads back a wrong byte
    int status;
    std::size_t createsOnE, createsOnF;
    std::vector<std::string> ejected;
    std::vector<std::string> said;  // on standard error, in this order
    int bells;
    bool slow = false;  // each block write takes a while: the card is still in progress at the stop
  };
  const platform::EjectResult ejected{EjectStatus::Ejected};
  const platform::EjectResult inUse{EjectStatus::InUse, true, {"bash (12)"}};
  const Case cases[] = {
      {"a card there at the start is left alone, a new one written",
       {"station"},
       {{"E:a"}, {"E:a F:b", 0, 0, "left alone"}, {"E:a F:b", 1}},
       ejected,
       "",
       0,
       0,
       4,
       {"F:\\"},
       {"left alone (there before the start): E:", "F: writing...",
        " F: Module creation completed successfully; remove the card", "1 written, 0 failed"},
       1},
      {"named readers: an empty one is watched",
       {"station", "F:"},
       {{"F:-"}, {"F:b"}, {"F:b", 1}},
       ejected,
       "",
       0,
       0,
       4,
       {"F:\\"},
       {"watching: F:", "F: writing...", "1 written, 0 failed"},
       1},
      {"kept in after its run: written once",
       {"station", "--no-eject"},
       {{"F:-"}, {"F:b"}, {"F:b", 1}, {"F:b", 1}},
       ejected,
       "",
       0,
       0,
       4,
       {},
       {"F: writing...", "remove the card", "1 written, 0 failed"},
       1},
      {"taken out and put back: written again",
       {"station"},
       {{"F:-"}, {"F:b"}, {"F:-", 1}, {"F:b", 1}, {"F:b", 2}},
       ejected,
       "",
       0,
       0,
       8,
       {"F:\\", "F:\\"},
       {"2 written, 0 failed"},
       2},
      {"two cards at once, one mismatch",
       {"station"},
       {{"E:- F:-"}, {"E:a F:b"}, {"E:a F:b", 2}},
       ejected,
       "E:\\",
       1,
       4,
       4,
       {"E:\\", "F:\\"},
       {"E: Module creation completed with errors!; remove the card", "1 written, 1 failed"},
       4},
      {"an eject that fails is said and rung",
       {"station"},
       {{"F:-"}, {"F:b"}, {"F:b", 1}},
       inUse,
       "",
       0,
       0,
       4,
       {"F:\\"},
       {"Module creation completed successfully; not ejected: in use by another program: bash (12)"},
       3},
      {"a stop during a run finishes the card",
       {"station"},
       {{"F:-"}, {"F:b"}},
       ejected,
       "",
       0,
       0,
       4,
       {"F:\\"},
       {"stopping: finishing 1 card(s) in progress...", "1 written, 0 failed"},
       1,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = {};
    ejector.roots.clear();
    ejector.answer = c.eject;
    const std::string damaged = c.damaged;
    files.afterWrite = [damaged](const std::string& path, std::vector<std::uint8_t>& data) {
      if (!damaged.empty() && path.starts_with(damaged)) data[0] ^= 1;
    };
    if (c.slow)
      files.fault = [](Op op, const std::string&, std::size_t) {
        if (op == Op::WriteBlock) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 0;
      };
    EXPECT_EQ(RunStation(c.args, c.steps), c.status);
    EXPECT_EQ(Creates("E:\\"), c.createsOnE);
    EXPECT_EQ(Creates("F:\\"), c.createsOnF);
    // Cards run at the same time end in any order.
    std::sort(ejector.roots.begin(), ejector.roots.end());
    EXPECT_EQ(ejector.roots, c.ejected);
    std::size_t at = 0;
    for (const std::string& words : c.said) {
      const std::size_t found = console.err.find(words, at);
      EXPECT_NE(found, std::string::npos) << words << "\n" << console.err;
      at = found == std::string::npos ? at : found;
    }
    EXPECT_EQ(std::count(console.err.begin(), console.err.end(), '\a'), c.bells) << console.err;
    EXPECT_EQ(console.out, "");
  }
}

TEST_F(Station, JsonGivesOneCompactObjectPerCardAndASummary) {
  ejector.answer = {EjectStatus::Gone};
  EXPECT_EQ(RunStation({"station", "--json"}, {{"E:- F:-"}, {"E:a F:-"}, {"E:a F:b", 1}, {"E:a F:b", 2}}), 0);
  std::vector<nlohmann::json> objects;
  std::istringstream lines(console.out);
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 3u) << console.out;
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(objects[i]["root"], i == 0 ? "E:\\" : "F:\\");
    EXPECT_EQ(objects[i]["outcome"], "verified");
    EXPECT_EQ(objects[i]["ejected"], false);
    EXPECT_EQ(objects[i]["eject_error"]["code"], "gone");
    EXPECT_TRUE(std::regex_match(objects[i]["time"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
  }
  EXPECT_EQ(objects[2]["command"], "station");
  EXPECT_EQ(objects[2]["written"], 2);
  EXPECT_EQ(objects[2]["failed"], 0);
  EXPECT_EQ(objects[2]["exit_status"], 0);
}

// Cards there at the start are checked, never written, counted or recorded: a half-written one (a station
// killed in its middle) is said to be damaged, in words and as a "present" object.
TEST_F(Station, ACardThereAtTheStartIsCheckedAndSaidButNeitherWrittenNorCounted) {
  const std::pair<const char*, const char*> present[] = {
      {"this-module", "E:\\; holds this module"},
      {"no-module", "F:\\; holds no module: take it out and insert it again to write it"},
      {"damaged", "G:\\; is damaged or incomplete: take it out and insert it again to write it"},
  };
  PutModule("E:\\");
  PutModule("G:\\");
  files.files["G:\\32yk2368.bin"].resize(4096);
  EXPECT_EQ(RunStation({"station", "--json", "--log", "cards.log"}, {{"E:a F:b G:c"}, {"E:a F:b G:c", 0, 3}}),
            0);
  std::vector<nlohmann::json> objects;
  std::istringstream lines(console.out);
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 4u) << console.out;
  for (const auto& [verdict, words] : present) {
    EXPECT_EQ(Creates(std::string(words, 3)), 0u);
    EXPECT_THAT(console.err, HasSubstr("left alone (there before the start): " + std::string(words) + "\n"));
    EXPECT_EQ(std::ranges::count(
                  objects,
                  nlohmann::json{{"event", "present"}, {"root", std::string(words, 3)}, {"verdict", verdict}},
                  [](nlohmann::json o) {
                    return o.erase("verdict_text"), o.erase("time"), o.erase("device_compared"), o;
                  }),
              1);
  }
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(objects.back()["written"], 0);
  EXPECT_EQ(objects.back()["failed"], 0);
}

TEST_F(Station, WaitingLineCountsTheCardsOnATerminal) {
  console.terminal = true;
  files.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::Create && path.starts_with("E:") ? 5 : 0;
  };
  EXPECT_EQ(RunStation({"station", "--lang", "ru"},
                       {{"E:- F:-"}, {"E:a"}, {"E:a F:b", 1}, {"E:a F:b", 2}, {"E:a F:b", 2}}),
            3);
  EXPECT_THAT(console.err, HasSubstr("Жду карту... записано 0, ошибок 1"));
  EXPECT_THAT(console.err, HasSubstr("Жду карту... записано 1, ошибок 1"));
  console.terminal = false;
  EXPECT_EQ(RunStation({"station", "-q"}, {{"G:-"}, {"G:c"}, {"G:c", 1}}), 0);
  EXPECT_THAT(console.err, Not(HasSubstr("Waiting")));
}

TEST_F(Station, ACardCheckedOnlyThroughTheCacheGetsALineOfItsOwnAndIsLoggedSo) {
  files.pastCacheRefused = true;
  EXPECT_EQ(RunStation({"station", "--log", "cards.log"}, {{"F:-"}, {"F:b"}, {"F:b", 1}}), 0);
  EXPECT_THAT(console.err, HasSubstr("remove the card\a\nNote: this card's file system reads only through"));
  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_EQ(nlohmann::json::parse(logLines[0])["device_compared"], false);
}

TEST_F(Station, LogsEveryCardOfStationAndWriteAndRefusesALogItCannotOpen) {
  EXPECT_EQ(RunStation({"station", "--log", "cards.log"}, {{"F:-"}, {"F:b"}, {"F:b", 1}}), 0);
  EXPECT_EQ(RunStation({"write", "E:", "G:", "--log=cards.log"}, {{"E:-"}}), 0);
  ASSERT_EQ(logLines.size(), 3u);
  const char* roots[] = {"F:\\", "E:\\", "G:\\"};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(roots[i]);
    ASSERT_EQ(std::count(logLines[i].begin(), logLines[i].end(), '\n'), 1);
    const auto line = nlohmann::json::parse(logLines[i]);
    EXPECT_EQ(line["root"], roots[i]);
    EXPECT_EQ(line["label"], std::string("CARD ") + roots[i][0]);
    EXPECT_EQ(line["serial"], "1A2B-3C4D");
    EXPECT_EQ(line["outcome"], "verified");
    EXPECT_EQ(line["io_code"], 0);
    EXPECT_EQ(line["ejected"], i == 0);
    ASSERT_EQ(line["files"].size(), 4u);
    for (std::size_t f = 0; f < 4; ++f) {
      EXPECT_EQ(line["files"][f]["name"], images[f].fileName);
      EXPECT_EQ(line["files"][f]["firmware"], images[f].versionLabel);
      EXPECT_EQ(line["files"][f]["sha256"], hashes[f]);
    }
  }
  // A log that cannot be opened or is refused: nothing is touched, the reason in the user's language.
  files = {};
  using Reason = platform::AppendRefusal::Reason;
  const std::pair<platform::AppendRefusal, const char*> refusals[] = {
      {{Reason::System, "Permission denied"},
       "cannot open the log '/ro/cards.log': Permission denied; nothing was written."},
      {{Reason::NotRegularFile}, "it is not a regular file;"},
  };
  for (const auto& [refusal, words] : refusals) {
    logRefusal = refusal;
    EXPECT_EQ(RunStation({"write", "E:", "--log", "/ro/cards.log"}, {{"E:-"}}), cli::kExitUsage);
    EXPECT_THAT(console.err, HasSubstr(words));
  }
  EXPECT_EQ(RunStation({"station", "--log", "/ro/cards.log", "--json", "--lang", "ru"}, {{"E:-"}, {"E:a"}}),
            cli::kExitUsage);
  EXPECT_THAT(console.out, HasSubstr("\"code\": \"log-unopenable\""));
  EXPECT_THAT(console.err, HasSubstr("не удаётся открыть журнал '/ro/cards.log': это не обычный файл;"));
  EXPECT_TRUE(files.calls.empty());
  // Help and the version touch no file: a log that would be refused is never opened.
  for (const char* wins : {"--help", "-V"}) {
    EXPECT_EQ(RunStation({"write", "E:", wins, "--log", "/nonexistent/x"}, {{"E:-"}}), cli::kExitSuccess);
    EXPECT_EQ(console.err, "");
  }
  logRefusal.reset();
  logFails = true;
  EXPECT_EQ(RunStation({"write", "E:", "--log", "full.log"}, {{"E:-"}}), cli::kExitIoError);
  EXPECT_THAT(console.err, HasSubstr("cannot append to the log 'full.log'"));
}

// What the system does to a station left running: output that goes away, a card whose files cannot be
// prepared, a card refused for its file system, an unmount that fails. The cards go on, each recorded before
// it is said.
TEST_F(Station, GoesOnWithItsCardsWhateverTheSystemDoesToIt) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::function<void()> arrange;
    int status;
    std::vector<std::string> said;
    const char* alsoSaid = "";
  };
  const std::vector<Step> steps{{"E:- F:-"}, {"E:a F:b"}, {"E:a F:b", 2}};
  const Case cases[] = {
      {"standard output gone: both cards written and recorded, the status says output was lost",
       {"station", "--json", "--log", "cards.log"},
       [this] { console.outFails = true; },
       cli::kExitIoError,
       {"Module creation completed successfully; remove the card", "2 written, 0 failed",
        "cannot write to standard output"}},
      {"a card's files cannot be prepared: its line says why",
       {"station", "--log", "cards.log"},
       [this] {
         newFiles = [this]() -> std::unique_ptr<platform::ByteFileSystem> {
           static std::atomic<int> made{0};
           if (made++ % 2 == 0) throw std::runtime_error("Resource temporarily unavailable");
           return std::make_unique<LockedFileSystem>(files, filesLock);
         };
       },
       cli::kExitIoError,
       {"the card's files cannot be prepared: Resource temporarily unavailable; remove the card",
        "1 written, 1 failed"}},
      {"a card left alone for its file system, another that failed to mount, an unmount that failed",
       {"station", "--log", "cards.log", "--lang", "en"},
       [this] {
         mounter.cards = {{"/dev/sdc1", "c", 1, 1, true, "ext4"}, {"/dev/sdd1", "d", 2, 2, true, "vfat"}};
         mounter.unmountFailure = "Device or resource busy";
       },
       cli::kExitSuccess,
       {"/dev/sdc1: left alone: its file system (ext4) is neither FAT nor exFAT",
        "remove the card; still mounted at E:\\: Device or resource busy", "2 written, 0 failed"},
       // Said by the card's mount worker, whenever it ends among the cards' lines.
       "/dev/sdd1: not mounted: Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = {};
    logLines.clear();
    saidBeforeAppend.clear();
    c.arrange();
    EXPECT_EQ(RunStation(c.args, steps), c.status);
    std::size_t at = 0;
    for (const std::string& words : c.said) {
      const std::size_t found = console.err.find(words, at);
      EXPECT_NE(found, std::string::npos) << words << "\n" << console.err;
      at = found == std::string::npos ? at : found;
    }
    EXPECT_THAT(console.err, HasSubstr(c.alsoSaid));
    EXPECT_EQ(logLines.size(), 2u);
    // Each card is in the log before its line is said.
    ASSERT_EQ(saidBeforeAppend.size(), 2u);
    for (int i = 0; i < 2; ++i) EXPECT_LE(EndedLines(saidBeforeAppend[i]), i) << saidBeforeAppend[i];
    console.outFails = false;
    console.ResetFailure();
    newFiles = nullptr;
    mounter = {};
  }
}

TEST_F(Station, OneCardUnderTwoNamesIsWrittenOnceAndItsLinesNameBoth) {
  // One card at two folders (E: and F: show card a), a subst letter (F: card b, E:'s folder b).
  for (const std::string in : {"E:a F:a", "E:a F:b"}) {
    files = {};
    identities = {{"E:\\", {0, 0, "b"}}, {"F:\\", {0, 0, in.substr(6)}}};
    EXPECT_EQ(RunStation({"station"},
                         {{"E:- F:-"}, {in.c_str()}, {"E:- F:-", 1}, {in.c_str(), 1}, {in.c_str(), 2}}),
              0);
    EXPECT_EQ(Creates("E:\\") * 10 + Creates("F:\\"), 80u);  // E: twice, F: never
    const std::regex said(R"(E: and F: are the same card: (writing|Module creation completed successfully))");
    EXPECT_EQ(std::distance(std::sregex_iterator(console.err.begin(), console.err.end(), said),
                            std::sregex_iterator()),
              4);
  }
}

// A test build's outputs can never pass for a release's: every JSON document and object of every command, and
// every record line, says "test_firmware": true; a release's never does.
TEST_F(Station, ATestBuildMarksEveryDocumentObjectAndRecordLineOfEveryCommand) {
  struct Case {
    std::vector<std::string> args;
    std::size_t documents, records;  // JSON values on standard output, lines of the record
    std::function<int(Op, const std::string&, std::size_t)> fault{};
    std::vector<Step> steps{{"E:-"}};
  };
  const auto ioError = [](Op op, const std::string& path, std::size_t) {
    return op == Op::Create && path.starts_with("F:") ? 5 : 0;
  };
  const auto raised = [](Op, const std::string&, std::size_t) -> int { throw scaleboot::RangeError(); };
  const Case cases[] = {
      {{"--version", "--json"}, 1, 0},
      {{"list", "--json"}, 1, 0},
      {{"contents", "--json"}, 1, 0},
      {{"write", "E:", "F:", "--json", "--log", "cards.log"}, 1, 2, ioError},
      {{"write", "Z:", "--json"}, 1, 0},
      {{"verify", "E:", "--json"}, 1, 0},
      {{"verify", "E:", "--json"}, 1, 0, raised},  // the io-error document
      {{"eject", "E:", "--json"}, 1, 0},
      {{"list", "--bogus", "--json"}, 1, 0},  // the usage document
      {{"station", "--json", "--log", "cards.log"}, 3, 1, {}, {{"E:a F:-"}, {"E:a F:b"}, {"E:a F:b", 1, 1}}},
  };
  for (const bool test : {false, true}) {
    testFirmware = test;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.args.front() + " " + c.args[1] + (test ? " in a test build" : " in a release"));
      files = {};
      PutModule("E:\\");
      logLines.clear();
      files.fault = c.fault;
      RunStation(c.args, c.steps);
      std::istringstream out(console.out);
      std::size_t documents = 0;
      for (nlohmann::json value; (out >> std::ws).peek() != EOF && (out >> value); ++documents)
        EXPECT_EQ(value.value("test_firmware", false), test) << value.dump();
      EXPECT_EQ(documents, c.documents) << console.out;
      EXPECT_EQ(logLines.size(), c.records);
      for (const std::string& line : logLines)
        EXPECT_EQ(nlohmann::json::parse(line).value("test_firmware", false), test) << line;
    }
  }
}

// A service's station whose standard error is the journal: its start, each card's end, each card present and
// its summary are entries of their own kind, with the card's fields, and neither lines nor bells; what the
// journal does not take is still said, without bells. Each record says whether the clock was synchronised.
TEST_F(Station, WhereStandardErrorIsTheJournalEachEventIsAnEntryOfItsKindAndNoBellRings) {
  FakeJournal fake;
  fake.cards = &slots.journaledCards;
  journal = &fake;
  const std::tuple<bool, std::optional<bool> (*)(), const char*> cases[] = {
      {false, [] { return std::optional(true); }, "true"},
      {true, [] { return std::optional(false); }, "false"},
      {false, nullptr, "null"},
  };
  for (const auto& [refuses, clockState, recordClock] : cases) {
    SCOPED_TRACE(recordClock);
    files = {};
    PutModule("E:\\");
    files.afterWrite = [](const std::string& path, std::vector<std::uint8_t>& data) {
      if (path.starts_with("G:")) data[0] ^= 1;
    };
    fake.entries.clear();
    fake.refuses = refuses;
    clock = clockState;
    logLines.clear();
    EXPECT_EQ(RunStation({"station", "--json", "--log", "cards.log"},
                         {{"E:a F:- G:-"}, {"E:a F:b G:c", 0, 1}, {"E:a F:b G:c", 2}}),
              1);
    EXPECT_EQ(std::ranges::count(console.err, '\a'), 0) << console.err;
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_THAT(logLines[0], HasSubstr(std::string("\"clock_synchronised\":") + recordClock));
    // Said on standard error when the journal refused them, and only then.
    EXPECT_EQ(EndedLines(console.err), refuses ? 2 : 0) << console.err;
    EXPECT_EQ(console.err.find("E:\\; holds this module") != std::string::npos, refuses);
    // Each entry by its MESSAGE_ID, with the field that tells it apart.
    std::map<std::string, std::string> kinds;
    for (const auto& entry : fake.entries) {
      std::string fields = entry.at("MESSAGE").front();
      for (const char* name : {"SCALEBOOT_ROOT", "SCALEBOOT_OUTCOME", "PRIORITY", "SCALEBOOT_VERDICT",
                               "SCALEBOOT_FAILED", "SCALEBOOT_CLOCK_SYNCHRONISED"})
        if (entry.contains(name)) fields += " " + std::string(name) + "=" + entry.at(name).front();
      if (entry.contains("SCALEBOOT_FILE")) fields += " " + entry.at("SCALEBOOT_FILE").back();
      kinds[entry.at("MESSAGE_ID").front()] = fields;
    }
    if (refuses) continue;
    const std::string clockField = clockState ? " SCALEBOOT_CLOCK_SYNCHRONISED=true" : "";
    const std::string lastFile =
        " " + std::string(images[3].fileName) + " " + std::string(images[3].versionLabel) + " h3";
    ASSERT_EQ(kinds.size(), 5u);
    EXPECT_THAT(kinds[std::string(cli::kJournalStarted)], HasSubstr("PRIORITY=6"));
    EXPECT_THAT(kinds[std::string(cli::kJournalPresent)],
                HasSubstr("SCALEBOOT_ROOT=E:\\ PRIORITY=6 SCALEBOOT_VERDICT=this-module"));
    EXPECT_THAT(kinds[std::string(cli::kJournalCardReady)],
                HasSubstr("completed successfully; remove the card SCALEBOOT_ROOT=F:\\ "
                          "SCALEBOOT_OUTCOME=verified PRIORITY=6" +
                          clockField + lastFile));
    EXPECT_THAT(
        kinds[std::string(cli::kJournalCardFailed)],
        HasSubstr("with errors!; remove the card SCALEBOOT_ROOT=G:\\ SCALEBOOT_OUTCOME=mismatch PRIORITY=3" +
                  clockField + lastFile));
    EXPECT_THAT(kinds[std::string(cli::kJournalStopped)],
                HasSubstr("1 written, 1 failed PRIORITY=4 SCALEBOOT_FAILED=1"));
  }
  journal = nullptr;
  clock = nullptr;
}

}  // namespace
}  // namespace scaleboot::testing
