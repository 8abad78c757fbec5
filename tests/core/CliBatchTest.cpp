// The command line's rules and the batch write: several cards at once, each run on its own, one result line
// per card, the worst status, and the one progress line for all cards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <list>
#include <mutex>
#include <set>

#include <nlohmann/json.hpp>

#include "CliHarness.h"
#include "main/cli/BatchWrite.h"
#include "main/cli/CliTexts.h"
#include "main/cli/CommandLine.h"

namespace scaleboot::cli {
namespace {

using ::testing::HasSubstr;
using Op = scaleboot::testing::FakeFileSystem::Op;
using Batch = scaleboot::testing::CliHarness;
using scaleboot::testing::LockedFileSystem;

struct LineCase {
  std::vector<std::string> args;
  Command command;
  std::vector<std::string> roots;
  bool all, json;
  std::string error;  // the whole usage error, empty when the line is sound
};

TEST(CliArguments, RootsOptionsAndTheirErrors) {
  const LineCase cases[] = {
      {{"write", "E:", "F:", "g:\\"}, Command::Write, {"E:", "F:", "g:\\"}, false, false, ""},
      {{"write", "--all"}, Command::Write, {}, true, false, ""},
      {{"--json", "write", "E:"}, Command::Write, {"E:"}, false, true, ""},
      {{"list", "--json"}, Command::List, {}, false, true, ""},
      {{"-V"}, Command::Version, {}, false, false, ""},
      {{"-h", "write"}, Command::Help, {}, false, false, ""},
      // --help wins over every other argument, errors included.
      {{"--lang", "de", "--help"}, Command::Help, {}, false, false, ""},
      {{"--bogus", "write", "-h"}, Command::Help, {}, false, false, ""},
      {{"-h", "--lang"}, Command::Help, {}, false, false, ""},
      {{"write", "--all", "E:"}, Command::None, {}, false, false, "unexpected argument 'E:'"},
      {{"list", "--all"}, Command::None, {}, false, false, "option '--all' goes with write only"},
      {{"verify", "E:", "--all"}, Command::None, {}, false, false, "option '--all' goes with write only"},
      {{"write", "E:", ""}, Command::None, {}, false, false, "'write' needs a drive root or folder"},
      {{"list", "--lang"}, Command::None, {}, false, false, "option '--lang' requires an argument"},
      // An error is worded in the language chosen before the argument that caused it.
      {{"--lang", "ru", "list", "--lang"},
       Command::None,
       {},
       false,
       false,
       "параметру '--lang' нужно значение"},
      {{"--lang", "ru", "--lang", "de", "list"},
       Command::None,
       {},
       false,
       false,
       "--lang принимает en или ru, а не 'de'"},
      {{"--bogus", "--lang", "ru", "list"}, Command::None, {}, false, false, "unknown option '--bogus'"},
      {{"--lang=ru", "--bogus", "list"}, Command::None, {}, false, false, "неизвестный параметр '--bogus'"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const CommandLine line = ParseCommandLine(c.args, kEnglish);
    EXPECT_EQ(line.error, c.error);
    EXPECT_EQ(line.command, c.command);
    EXPECT_EQ(line.roots, c.roots);
    if (c.error.empty() && c.command != Command::Help) {
      EXPECT_EQ(line.all, c.all);
      EXPECT_EQ(line.json, c.json);
    }
  }
}

TEST(CliStatus, TheWorstCardDecides) {
  struct Case {
    std::vector<CardOutcome> cards;
    int status;
  };
  using O = CardOutcome;
  const Case cases[] = {
      {{O::Verified, O::Verified}, kExitSuccess},
      {{O::Verified, O::Mismatch}, kExitMismatch},
      {{O::Mismatch, O::IoError, O::Verified}, kExitIoError},
      {{O::IoError, O::Mismatch}, kExitIoError},
      {{O::CorruptImages, O::IoError}, kExitCorrupt},
      {{O::Mismatch, O::Mismatch}, kExitMismatch},
  };
  for (const Case& c : cases) {
    int forward = kExitSuccess, backward = kExitSuccess;
    for (auto it = c.cards.begin(); it != c.cards.end(); ++it) forward = WorstStatus(forward, StatusOf(*it));
    for (auto it = c.cards.rbegin(); it != c.cards.rend(); ++it)
      backward = WorstStatus(backward, StatusOf(*it));
    EXPECT_EQ(forward, c.status);
    EXPECT_EQ(backward, c.status) << "the order of the cards does not matter";
  }
}

TEST_F(Batch, WritesEveryCardOnceAndReportsEachInTheOrderGiven) {
  EXPECT_EQ(Run({"write", "G:", "e:\\", "E:", "f:/"}), kExitSuccess);
  EXPECT_EQ(console.out,
            "G:\\: Module creation completed successfully\nE:\\: Module creation completed successfully\n"
            "F:\\: Module creation completed successfully\n");
  EXPECT_EQ(console.err, "");
  for (const char* root : {"E:\\", "F:\\", "G:\\"}) {
    EXPECT_TRUE(HoldsModule(root)) << root;
    EXPECT_EQ(CallsOn(root, Op::Create), 4u) << root << " is written once, though named twice";
    EXPECT_EQ(CallsOn(root, Op::Open), 4u) << root << " is read back";
  }
}

TEST_F(Batch, ARootNamedTwiceIsOneCardWrittenAsASingleWrite) {
  EXPECT_EQ(Run({"write", "E:", "e:\\"}), kExitSuccess);
  EXPECT_EQ(console.out, "Module creation completed successfully\n");
  EXPECT_EQ(CallsOn("E:\\", Op::Create), 4u);
}

// Roots that name one folder of one card (a subst letter, one volume at two mount points) by its identity.
struct SameCardCase {
  const char* name;
  std::vector<std::string> args;
  std::map<std::string, platform::FolderIdentity> identities;
  std::string out;
  std::vector<std::string> written;  // the roots whose files were created, each once
};

TEST_F(Batch, RootsOfOneFolderAreWrittenOnceAndTheResultNamesThemAll) {
  const std::string ok = "Module creation completed successfully\n";
  const platform::FolderIdentity card{7, 5}, other{8, 5}, subfolder{7, 6};
  const SameCardCase cases[] = {
      {"two names",
       {"write", "E:", "F:"},
       {{"E:\\", card}, {"F:\\", card}},
       "E:\\ and F:\\ are the same card: " + ok,
       {"E:\\"}},
      {"three names",
       {"write", "g:", "E:", "F:"},
       {{"E:\\", card}, {"F:\\", card}, {"G:\\", card}},
       "G:\\, E:\\ and F:\\ are the same card: " + ok,
       {"G:\\"}},
      {"two of three",
       {"write", "E:", "F:", "G:"},
       {{"E:\\", card}, {"F:\\", other}, {"G:\\", card}},
       "E:\\ and G:\\ are the same card: " + ok + "F:\\: " + ok,
       {"E:\\", "F:\\"}},
      {"another folder of the same volume",
       {"write", "E:", "F:"},
       {{"E:\\", card}, {"F:\\", subfolder}},
       "E:\\: " + ok + "F:\\: " + ok,
       {"E:\\", "F:\\"}},
  };
  for (const SameCardCase& c : cases) {
    SCOPED_TRACE(c.name);
    files = {};
    identities = c.identities;
    EXPECT_EQ(Run(c.args), kExitSuccess);
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, "");
    for (const char* root : {"E:\\", "F:\\", "G:\\"}) {
      const bool written = std::count(c.written.begin(), c.written.end(), root) != 0;
      EXPECT_EQ(CallsOn(root, Op::Create), written ? 4u : 0u) << root;
    }
  }
  // A script finds the card once, with its other names.
  identities = {{"E:\\", card}, {"F:\\", card}, {"G:\\", other}};
  ASSERT_EQ(Run({"write", "F:", "G:", "E:", "--json"}), kExitSuccess);
  const nlohmann::json document = nlohmann::json::parse(console.out);
  ASSERT_EQ(document["cards"].size(), 2u);
  EXPECT_EQ(document["cards"][0]["root"], "F:\\");
  EXPECT_EQ(document["cards"][0]["also_named"], nlohmann::json::array({"E:\\"}));
  EXPECT_EQ(document["cards"][1]["root"], "G:\\");
  EXPECT_FALSE(document["cards"][1].contains("also_named"));
}

TEST_F(Batch, ARootWhoseFolderCannotBeToldIsNotWrittenBesideOthersButIsAlone) {
  identities = {{"E:\\", {7, 5}}};
  EXPECT_EQ(Run({"write", "E:", "F:"}), kExitIoError);
  EXPECT_EQ(console.out + console.err,
            "E:\\: Module creation completed successfully\nscaleboot-cli: F:\\: I/O error 1117.\n");
  EXPECT_EQ(Run({"write", "F:"}), kExitSuccess);  // alone, it is written
}

TEST_F(Batch, OneRootThatIsNoRemovableDriveRefusesTheWholeCommand) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"write", "E:", "F:", "C:"}, {"write", "Z:", "E:"}, {"write", "E:", "D:\\", "--json"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(Run(args), kExitUsage);
    EXPECT_THAT(console.err, HasSubstr("is not a removable drive; nothing was written."));
    EXPECT_THAT(console.err, HasSubstr("Removable drives: E:\\, F:\\, G:\\"));
    EXPECT_TRUE(files.calls.empty()) << "nothing is written anywhere";
  }
}

TEST_F(Batch, AllWritesEveryListedDriveAndNeedsOne) {
  EXPECT_EQ(Run({"write", "--all", "--quiet"}), kExitSuccess);
  for (const char* root : {"E:\\", "F:\\", "G:\\"}) EXPECT_TRUE(HoldsModule(root)) << root;
  EXPECT_EQ(CallsOn("C:\\", Op::Create) + CallsOn("D:\\", Op::Create), 0u);

  files = {};
  drives.Set({{"C:\\", 3}});
  EXPECT_EQ(Run({"write", "--all"}), kExitUsage);
  EXPECT_EQ(console.err, "scaleboot-cli: No removable drive is connected.\n");
  EXPECT_TRUE(files.calls.empty());
}

TEST_F(Batch, AFailingCardEndsOnlyItsOwnRunAndTheWorstStatusWins) {
  struct Case {
    const char* name;
    std::function<int(Op, const std::string&, std::size_t)> fault;
    std::function<void(const std::string&, std::vector<std::uint8_t>&)> damage;
    int status;
    std::string out, err;
    std::set<std::string> holding;  // the cards that hold the module afterwards
  };
  const auto pulledF = [](Op op, const std::string& path, std::size_t index) {
    // F: goes away half-way through its second file: every call on it fails from there on.
    return path.starts_with("F:\\") &&
                   (path > "F:\\32yk936.bin" || (path == "F:\\32yk936.bin" && index > 5000) || op == Op::Open)
               ? 21
               : 0;
  };
  const auto flipOnE = [](const std::string& path, std::vector<std::uint8_t>& data) {
    if (path == "E:\\yk936.bin") data[3] ^= 1;
  };
  const Case cases[] = {
      {"F: pulled mid-run",
       pulledF,
       nullptr,
       kExitIoError,
       "E:\\: Module creation completed successfully\nG:\\: Module creation completed successfully\n",
       "scaleboot-cli: F:\\: I/O error 21.\n",
       {"E:\\", "G:\\"}},
      {"E: reads back a wrong byte",
       nullptr,
       flipOnE,
       kExitMismatch,
       "F:\\: Module creation completed successfully\nG:\\: Module creation completed successfully\n",
       "scaleboot-cli: E:\\: Module creation completed with errors!\n",
       {"F:\\", "G:\\"}},
      {"both",
       pulledF,
       flipOnE,
       kExitIoError,
       "G:\\: Module creation completed successfully\n",
       "scaleboot-cli: E:\\: Module creation completed with errors!\nscaleboot-cli: F:\\: I/O error 21.\n",
       {"G:\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = {};
    files.fault = c.fault;
    files.afterWrite = c.damage;
    EXPECT_EQ(Run({"write", "E:", "F:", "G:"}), c.status);
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, c.err);
    for (const char* root : {"E:\\", "F:\\", "G:\\"})
      EXPECT_EQ(HoldsModule(root), c.holding.count(root) == 1) << root;
    if (c.damage) {
      EXPECT_EQ(CallsOn("E:\\", Op::Delete), 4u) << "the card that differed has its files deleted";
    }
    EXPECT_EQ(CallsOn("G:\\", Op::Delete), 0u);
  }
}

// Each card's worker calls only its own file system object, so no state inside one is touched by two threads.
TEST_F(Batch, EachCardIsWrittenThroughAFileSystemOfItsOwn) {
  // Notes the root of every file it is asked to create or open into a set the test keeps.
  struct Recording : LockedFileSystem {
    Recording(platform::ByteFileSystem& files, std::mutex& lock, std::set<std::string>& roots)
        : LockedFileSystem(files, lock), lock_(lock), roots_(roots) {}
    int Create(const std::string& path, Handle& handle) override {
      Note(path);
      return LockedFileSystem::Create(path, handle);
    }
    int Open(const std::string& path, Handle& handle) override {
      Note(path);
      return LockedFileSystem::Open(path, handle);
    }
    void Note(const std::string& path) {
      const std::lock_guard guard(lock_);
      roots_.insert(path.substr(0, 3));
    }
    std::mutex& lock_;
    std::set<std::string>& roots_;
  };
  std::mutex lock;
  std::list<std::set<std::string>> seen;  // one set per object made
  const FileSystemFactory newFiles = [&] {
    return std::make_unique<Recording>(files, lock, seen.emplace_back());
  };
  const std::vector<std::string> roots{"E:\\", "F:\\", "G:\\"};
  ProgressLine progress(console, kEnglish, ProgressLabels(roots), false);
  for (const CardResult& result : WriteCards(roots, images, newFiles, progress))
    EXPECT_EQ(result.outcome, CardOutcome::Verified) << result.root;
  std::vector<std::set<std::string>> expected;
  for (const std::string& root : roots) expected.push_back({root});
  EXPECT_EQ(std::vector<std::set<std::string>>(seen.begin(), seen.end()), expected);
}

TEST_F(Batch, CorruptImagesWriteNothingAnywhere) {
  std::vector<std::uint8_t> damaged(images[2].bytes.begin(), images[2].bytes.end());
  damaged[10] ^= 0x40;
  images[2].bytes = damaged;
  EXPECT_EQ(Run({"write", "E:", "F:"}), kExitCorrupt);
  EXPECT_EQ(console.err, "scaleboot-cli: Data is corrupted! Unable to create module!\n");
  EXPECT_TRUE(files.calls.empty());
}

TEST(CliProgress, TheBatchLineRedrawsOnlyWhenAWholePercentageOrAnEndChanges) {
  scaleboot::testing::FakeConsole console;
  ProgressLine line(console, kEnglish, {"E:", "F:", "CARD:"}, true);
  line.SetPercent(0, 0);
  line.SetPercent(1, 0);  // unchanged: every card starts at 0 %
  line.SetPercent(0, 37);
  line.SetPercent(0, 37);
  line.SetPercent(1, 12);
  line.SetFinished(2, true);
  line.SetFinished(2, true);
  line.SetFinished(1, false);
  line.Finish();
  // Each field is as wide as its longest word ("failed"), so every line covers the one before it.
  const std::vector<std::string> expected{
      "\rE:     0% | F:     0% | CARD:     0%", "\rE:    37% | F:     0% | CARD:     0%",
      "\rE:    37% | F:    12% | CARD:     0%", "\rE:    37% | F:    12% | CARD:   done",
      "\rE:    37% | F: failed | CARD:   done", "\r" + std::string(36, ' ') + "\r",
  };
  EXPECT_EQ(console.errWrites, expected);
}

TEST_F(Batch, OnATerminalOneLineShowsEveryCardAndIsClearedAtTheEnd) {
  console.terminal = true;
  EXPECT_EQ(Run({"write", "E:", "F:"}), kExitSuccess);
  // The first line, then each card's 100 whole-percent steps and its end, then the clearing.
  ASSERT_EQ(console.errWrites.size(), 1u + 2 * 100 + 2 + 1);
  EXPECT_EQ(console.errWrites.front(), "\rE:     0% | F:     0%");
  EXPECT_EQ(console.errWrites[console.errWrites.size() - 2], "\rE:   done | F:   done");
  EXPECT_EQ(console.errWrites.back(), "\r" + std::string(21, ' ') + "\r");
  std::set<std::string> seen;
  for (std::size_t i = 0; i + 1 < console.errWrites.size(); ++i) {
    EXPECT_TRUE(seen.insert(console.errWrites[i]).second) << "drawn twice: " << console.errWrites[i];
  }
  EXPECT_EQ(console.out,
            "E:\\: Module creation completed successfully\nF:\\: Module creation completed successfully\n");

  EXPECT_EQ(Run({"write", "E:", "F:", "-q"}), kExitSuccess);
  EXPECT_EQ(console.err, "") << "--quiet hides it";
  console.terminal = false;
  EXPECT_EQ(Run({"write", "E:", "F:"}), kExitSuccess);
  EXPECT_EQ(console.err, "") << "so does an error stream that is no terminal";
}

TEST(CliProgress, LabelsAreShortAndTellCardsApart) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"E:\\", "F:\\"}, {"E:", "F:"}},
      {{"/media/tech/CARD1/", "/media/tech/CARD2/"}, {"CARD1:", "CARD2:"}},
      {{"/media/a/CARD/", "/media/b/CARD/", "/mnt/X/"}, {"/media/a/CARD:", "/media/b/CARD:", "X:"}},
      {{"/"}, {"/:"}},
  };
  for (const auto& [roots, labels] : cases) EXPECT_EQ(ProgressLabels(roots), labels);
}

// One renderer, two layouts, in both languages: every line of a layout as wide as the others, the phase
// drawn anew when it starts, the end a line break after one card and an erased line after a batch.
TEST(CliProgress, OneCardAndBatchLayoutsInBothLanguages) {
  using Phase = ProgressLine::Phase;
  const struct {
    LanguageIndex language;
    bool batch;
    std::vector<std::string> expected;
  } cases[] = {
      {kEnglish, false, {"\rWriting     0%", "\rWriting   100%", "\rVerifying 100%", "\n"}},
      {kRussian, false, {"\rЗапись     0%", "\rЗапись   100%", "\rПроверка 100%", "\n"}},
      {kRussian,
       true,
       {"\rE:     0% | F:     0%", "\rE:   100% | F:     0%", "\rE:   100% | F: ошибка",
        "\r" + std::string(21, ' ') + "\r"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected[2]);
    scaleboot::testing::FakeConsole console;
    ProgressLine line = c.batch ? ProgressLine(console, c.language, {"E:", "F:"}, true)
                                : ProgressLine(console, c.language, true);
    if (!c.batch) line.SetPhase(0, Phase::Writing);
    line.SetPercent(0, 0);
    line.SetPercent(0, 100);
    line.SetPercent(0, 100);
    if (c.batch) {
      line.SetFinished(1, false);
    } else {
      line.SetPhase(0, Phase::Verifying);
      line.SetPercent(0, 100);  // the same percentage in a new phase: drawn
    }
    line.Finish();
    line.Finish();  // nothing left to end
    EXPECT_EQ(console.errWrites, c.expected);
  }
}

}  // namespace
}  // namespace scaleboot::cli
