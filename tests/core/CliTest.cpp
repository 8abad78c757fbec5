// The command-line program against fake drives, files and terminal: what it prints, what it writes and the
// status it exits with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "FakeConsole.h"
#include "FakeDrives.h"
#include "FakeFileSystem.h"
#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"
#include "main/cli/CommandLine.h"

namespace scaleboot::cli {
namespace {

using scaleboot::testing::FakeConsole;
using scaleboot::testing::FakeDrives;
using scaleboot::testing::FakeFileSystem;
using ::testing::HasSubstr;
using Op = FakeFileSystem::Op;

struct ParseCase {
  std::vector<std::string> args;
  Command command;
  std::string root;
  bool quiet;
  int language;  // -1: not given
  bool error;
};

TEST(CliCommandLine, CommandsArgumentsAndOptionsInAnyOrder) {
  const ParseCase cases[] = {
      {{"list"}, Command::List, "", false, -1, false},
      {{"write", "E:", "--quiet"}, Command::Write, "E:", true, -1, false},
      {{"--quiet", "write", "E:"}, Command::Write, "E:", true, -1, false},
      {{"verify", "--lang", "ru", "/media/card/"}, Command::Verify, "/media/card/", false, 1, false},
      {{"--lang=en", "contents"}, Command::Contents, "", false, 0, false},
      {{"write", "--", "-odd-name"}, Command::Write, "-odd-name", false, -1, false},
      {{"list", "--help"}, Command::Help, "", false, -1, false},
      {{"--version", "bogus"}, Command::Version, "", false, -1, false},
      {{}, Command::None, "", false, -1, true},
      {{"format", "E:"}, Command::None, "", false, -1, true},
      {{"write"}, Command::None, "", false, -1, true},
      {{"write", ""}, Command::None, "", false, -1, true},
      {{"verify", "E:", "F:"}, Command::None, "", false, -1, true},
      {{"list", "E:"}, Command::None, "", false, -1, true},
      {{"list", "--force"}, Command::None, "", false, -1, true},
      {{"list", "--lang", "de"}, Command::None, "", false, -1, true},
      {{"list", "--lang"}, Command::None, "", false, -1, true},
  };
  for (const ParseCase& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const CommandLine line = ParseCommandLine(c.args, kEnglish);
    EXPECT_EQ(line.error.empty(), !c.error) << line.error;
    if (c.error) continue;
    EXPECT_EQ(line.command, c.command);
    EXPECT_EQ(line.roots, c.root.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.root});
    EXPECT_EQ(line.quiet, c.quiet);
    EXPECT_EQ(line.language ? int{*line.language} : -1, c.language);
  }
  // A usage error is worded in the language the line asks for.
  EXPECT_EQ(ParseCommandLine(std::vector<std::string>{"--lang", "ru", "frobnicate"}, kEnglish).error,
            "неизвестная команда 'frobnicate'");
}

// What --help says each option goes with is what the parser takes: every option with every command, in both
// forms and both languages; refused, the line names the commands its row names.
TEST(CliCommandLine, EachOptionIsTakenWithExactlyTheCommandsHelpNamesForIt) {
  const std::vector<std::string> e{"E:"};
  for (const OptionWords& option : OptionTable()) {
    if (option.longName == "--help" || option.longName == "--version") continue;  // they win over any line
    for (const CommandWords& command : CommandTable()) {
      if (command.command == Command::Help) continue;
      for (const std::string_view form : {option.longName, option.shortName}) {
        if (form.empty()) continue;
        SCOPED_TRACE(std::string(command.name) + " " + std::string(form));
        const bool write = command.command == Command::Write;
        std::vector<std::string> args{std::string(command.name)};
        // A root for the commands that need one; write --all needs none.
        if ((write && option.longName != "--all") || command.command == Command::Verify ||
            command.command == Command::Eject)
          args.emplace_back("E:");
        args.emplace_back(form);
        if (!option.value[0].empty()) args.emplace_back(option.longName == "--lang" ? "ru" : "cards.log");
        if (option.longName == "--power-off" && write)
          args.emplace_back("--eject");  // write --eject --power-off
        const CommandLine line = ParseCommandLine(args, kEnglish);
        const bool goes = (option.commands & Bit(command.command)) != 0;
        EXPECT_EQ(line.error.empty(), goes) << line.error;
        if (!goes) {
          EXPECT_THAT(line.error, HasSubstr("option '" + std::string(option.longName) + "' goes with "));
        }
      }
    }
  }
  EXPECT_EQ(ParseCommandLine(std::vector<std::string>{"list", "-q"}, kRussian).error,
            "параметр '--quiet' только для команд write, verify и station");
}

TEST(CliRoots, DriveLettersAndMountPointsMatchTheirListedRoot) {
  const std::vector<std::string> windows{"E:\\", "G:\\"};
  const std::vector<std::string> linux{"/media/user/CARD/", "/"};
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"E:", "E:\\"},       {"e:", "E:\\"},         {"E:\\", "E:\\"},          {"g:/", "G:\\"},
      {"C:", std::nullopt}, {"C:\\", std::nullopt}, {"E:\\sub", std::nullopt}, {"EE:", std::nullopt},
      {"", std::nullopt},   {"E:x", std::nullopt},  {"e:sub", std::nullopt},
  };
  for (const auto& [given, expected] : cases)
    EXPECT_EQ(MatchRemovableRoot(given, windows), expected) << given;
  EXPECT_EQ(MatchRemovableRoot("/media/user/CARD", linux), "/media/user/CARD/");
  EXPECT_EQ(MatchRemovableRoot("/media/user/CARD//", linux), "/media/user/CARD/");
  EXPECT_EQ(MatchRemovableRoot("/", linux), "/");
  EXPECT_EQ(MatchRemovableRoot("/media/user/card", linux), std::nullopt) << "Linux paths keep their case";
  EXPECT_EQ(MatchRemovableRoot("/media/user", linux), std::nullopt);

  EXPECT_EQ(FolderPath("E:"), "E:\\");
  EXPECT_EQ(FolderPath("C:\\backup"), "C:\\backup\\");
  EXPECT_EQ(FolderPath("/home/user/module"), "/home/user/module/");
  EXPECT_EQ(FolderPath("module/"), "module/");
}

struct CliRun : ::testing::Test {
  FakeDrives drives;
  FakeFileSystem files;
  FakeConsole console;
  ImageTable images = FirmwareImages();
  std::vector<std::uint8_t> damaged;

  CliRun() { drives.Set({{"C:\\", 3}, {"D:\\", 5}, {"E:\\", 2}, {"F:\\", 2}}); }
  int Run(std::vector<std::string> args) {
    Environment environment{drives, files, console, {.images = images}, kEnglish};
    return RunCli(args, environment);
  }
  void DamageImage(int index) {
    damaged.assign(images[index].bytes.begin(), images[index].bytes.end());
    damaged[10] ^= 0x40;
    images[index].bytes = damaged;
  }
  void PutModule(const std::string& folder) {
    for (const FirmwareImage& image : images) {
      files.files[folder + std::string(image.fileName)].assign(image.bytes.begin(), image.bytes.end());
    }
  }
};

TEST_F(CliRun, ListPrintsTheRemovableRootsOnly) {
  EXPECT_EQ(Run({"list"}), kExitSuccess);
  EXPECT_EQ(console.out, "E:\\\nF:\\\n");
  EXPECT_EQ(console.err, "");
}

TEST_F(CliRun, WriteOnARemovableDriveWritesVerifiesAndSaysSo) {
  EXPECT_EQ(Run({"write", "f:", "--lang", "ru"}), kExitSuccess);
  EXPECT_EQ(console.out, "Запись загрузочного модуля на карту завершена успешно\n");
  EXPECT_EQ(console.err, "") << "no progress line when standard error is no terminal";
  for (const FirmwareImage& image : images) {
    const auto& onCard = files.files.at("F:\\" + std::string(image.fileName));
    EXPECT_TRUE(std::equal(onCard.begin(), onCard.end(), image.bytes.begin(), image.bytes.end()));
  }
}

TEST_F(CliRun, WriteRefusesAnythingButARemovableDriveBeforeTouchingAFile) {
  for (const char* root : {"C:", "D:\\", "Z:", "C:\\Users\\tech", "E:\\sub", "E:x"}) {
    SCOPED_TRACE(root);
    console = {};
    EXPECT_EQ(Run({"write", root}), kExitUsage);
    EXPECT_THAT(console.err, HasSubstr("is not a removable drive"));
    EXPECT_THAT(console.err, HasSubstr("Removable drives: E:\\, F:\\"));
    EXPECT_TRUE(files.calls.empty());
  }
  drives.Set({{"C:\\", 3}});
  console = {};
  EXPECT_EQ(Run({"write", "E:"}), kExitUsage);
  EXPECT_THAT(console.err, HasSubstr("No removable drive is connected."));
  EXPECT_TRUE(files.calls.empty());
}

TEST_F(CliRun, WriteOutcomesMapToTheirStatusesAndTexts) {
  // A byte that differs on the card: the files are deleted again.
  files.afterWrite = [](const std::string& path, std::vector<std::uint8_t>& data) {
    if (path == "E:\\yk2368.bin") data[5] ^= 1;
  };
  EXPECT_EQ(Run({"write", "E:"}), kExitMismatch);
  EXPECT_EQ(console.err, "scaleboot-cli: Module creation completed with errors!\n");
  EXPECT_TRUE(files.files.empty());

  // A write-protected card: the window's error text, and the files written so far stay.
  FakeFileSystem protectedCard;
  protectedCard.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::Create && path == "E:\\32yk936.bin" ? 19 : 0;
  };
  FakeConsole errors;
  Environment environment{drives, protectedCard, errors, {.images = images}, kEnglish};
  EXPECT_EQ(RunCli(std::vector<std::string>{"write", "E:\\"}, environment), kExitIoError);
  EXPECT_EQ(errors.err, "scaleboot-cli: I/O error 19.\n");
  EXPECT_EQ(protectedCard.files.size(), 1u);
  EXPECT_EQ(protectedCard.deletes, 0u);

  // A damaged embedded image: nothing is written, and contents says why.
  FakeFileSystem untouched;
  DamageImage(1);
  FakeConsole corrupt;
  Environment damagedProgram{drives, untouched, corrupt, {.images = images}, kEnglish};
  EXPECT_EQ(RunCli(std::vector<std::string>{"write", "E:"}, damagedProgram), kExitCorrupt);
  EXPECT_EQ(RunCli(std::vector<std::string>{"contents"}, damagedProgram), kExitCorrupt);
  EXPECT_EQ(corrupt.err,
            "scaleboot-cli: Data is corrupted! Unable to create module!\n"
            "scaleboot-cli: Data is corrupted! Unable to create module!\n");
  EXPECT_TRUE(untouched.calls.empty());
}

TEST_F(CliRun, VerifyReportsEachFileAndWhetherTheFolderHoldsTheModule) {
  PutModule("/home/tech/module/");
  EXPECT_EQ(Run({"verify", "/home/tech/module"}), kExitSuccess);
  EXPECT_EQ(console.out,
            "32yk2368.bin: identical\n32yk936.bin: identical\nyk2368.bin: identical\nyk936.bin: identical\n"
            "The folder holds this module.\nVerdict: the card holds this module.\n");

  files.files["/home/tech/module/32yk936.bin"][100] ^= 1;
  files.files["/home/tech/module/yk2368.bin"].push_back(0);
  files.files.erase("/home/tech/module/yk936.bin");
  console = {};
  EXPECT_EQ(Run({"verify", "/home/tech/module/"}), kExitMismatch);
  EXPECT_EQ(
      console.out,
      "32yk2368.bin: identical\n32yk936.bin: differs at byte 100 (differing bytes: 1); damaged: its "
      "checksum does not hold\n"
      "yk2368.bin: longer than the image (the image's 422916 bytes and more); damaged: its checksum does "
      "not hold\nyk936.bin: missing\n"
      "The folder does not hold this module.\nVerdict: the card is damaged or incomplete.\n");

  files.fault = [](Op op, const std::string&, std::size_t) { return op == Op::OpenForReading ? 5 : 0; };
  console = {};
  EXPECT_EQ(Run({"verify", "E:", "--lang", "ru"}), kExitIoError);
  EXPECT_THAT(console.out, HasSubstr("32yk2368.bin: не читается: File access denied.\n"));
}

// A folder holding the module but for what `change` does to it (its files, or the faults of the file layer).
struct VerifyStatusCase {
  const char* name;
  std::function<void(FakeFileSystem&)> change;
  int status;
  const char* line;  // a line verify prints
};

TEST_F(CliRun, VerifyExitsWithTheWorstFindingWhateverTheOrderOfTheFiles) {
  static const std::string folder = "/home/tech/module/";
  const auto fail = [](const char* file, Op failing, int status, std::size_t at) {
    return [=](Op op, const std::string& path, std::size_t index) {
      return op == failing && path == folder + file && (op != Op::ReadBlock || index == at) ? status : 0;
    };
  };
  const VerifyStatusCase cases[] = {
      {"an empty file is shorter, not missing",
       [](FakeFileSystem& fs) { fs.files[folder + "yk936.bin"].clear(); }, kExitMismatch,
       "yk936.bin: shorter than the image (0 of 15750 bytes); damaged: its checksum does not hold\n"},
      {"a file cut short", [](FakeFileSystem& fs) { fs.files[folder + "32yk936.bin"].resize(100); },
       kExitMismatch,
       "32yk936.bin: shorter than the image (100 of 15750 bytes); damaged: its checksum does not hold\n"},
      {"unreadable, then missing",
       [&](FakeFileSystem& fs) {
         fs.fault = fail("32yk2368.bin", Op::OpenForReading, 5, 0);
         fs.files.erase(folder + "yk936.bin");
       },
       kExitIoError, "32yk2368.bin: cannot be read: File access denied.\n"},
      {"missing, then unreadable",
       [&](FakeFileSystem& fs) {
         fs.files.erase(folder + "32yk2368.bin");
         fs.fault = fail("yk936.bin", Op::ReadBlock, 1117, 0);
       },
       kExitIoError, "yk936.bin: cannot be read: I/O error 1117.\n"},
      {"the read past the last byte fails",
       [&](FakeFileSystem& fs) { fs.fault = fail("32yk936.bin", Op::ReadBlock, 1117, 15750); }, kExitIoError,
       "32yk936.bin: cannot be read: I/O error 1117.\n"},
  };
  for (const VerifyStatusCase& c : cases) {
    SCOPED_TRACE(c.name);
    files = {};
    console = {};
    PutModule(folder);
    c.change(files);
    EXPECT_EQ(Run({"verify", folder}), c.status);
    EXPECT_THAT(console.out, HasSubstr(c.line));
    EXPECT_THAT(console.out, ::testing::EndsWith("The folder does not hold this module.\n"
                                                 "Verdict: the card is damaged or incomplete.\n"));
  }
}

TEST_F(CliRun, ContentsPrintsTheVersionsWithLineFeedsOnly) {
  EXPECT_EQ(Run({"contents"}), kExitSuccess);
  EXPECT_EQ(console.out,
            "Firmware versions: \nP321835 - for ZR-LN(E) scales\nP282935 - for ZR-SN(E) scales\n");
  EXPECT_EQ(console.err, "");
}

TEST_F(CliRun, ProgressOnATerminalRedrawsOnlyWhenThePercentageChanges) {
  console.terminal = true;
  EXPECT_EQ(Run({"write", "E:"}), kExitSuccess);
  // 0..100 % for each phase, each percentage drawn once and none skipping more than 2 %, then the line is
  // ended.
  ASSERT_GE(console.errWrites.size(), 2u * 51 + 1);
  const std::size_t verifying = console.errWrites.size() / 2;
  EXPECT_EQ(console.errWrites[0], "\rWriting     0%");
  EXPECT_EQ(console.errWrites[verifying - 1], "\rWriting   100%");
  EXPECT_EQ(console.errWrites[verifying], "\rVerifying   0%");
  EXPECT_EQ(console.errWrites[2 * verifying - 1], "\rVerifying 100%");
  EXPECT_EQ(console.errWrites[2 * verifying], "\n");
  for (std::size_t i = 1; i + 1 < console.errWrites.size(); ++i) {
    const int step =
        std::stoi(console.errWrites[i].substr(10)) - std::stoi(console.errWrites[i - 1].substr(10));
    if (i != verifying) EXPECT_TRUE(step >= 1 && step <= 2) << console.errWrites[i];
  }
  for (std::size_t i = 0; i + 1 < console.errWrites.size(); ++i) {
    EXPECT_EQ(console.errWrites[i].size(), console.errWrites[0].size()) << "each line covers the one before";
  }
  EXPECT_EQ(files.writes + files.reads, 0u) << "the command line moves blocks, not single bytes";

  console = {};
  console.terminal = true;
  EXPECT_EQ(Run({"--quiet", "write", "E:"}), kExitSuccess);
  EXPECT_EQ(console.err, "");
  EXPECT_EQ(console.out, "Module creation completed successfully\n");

  // verify reads the module once: one phase from 0 to 100 %, half-way once the first two files (half the
  // module's bytes) are read.
  console = {};
  console.terminal = true;
  std::string beforeThirdFile;
  files.fault = [&](Op op, const std::string& path, std::size_t) {
    if (op == Op::OpenForReading && path == "E:\\yk2368.bin") beforeThirdFile = console.errWrites.back();
    return 0;
  };
  EXPECT_EQ(Run({"verify", "E:"}), kExitSuccess);
  ASSERT_GE(console.errWrites.size(), 51u + 1);
  EXPECT_EQ(console.errWrites[0], "\rVerifying   0%");
  EXPECT_EQ(beforeThirdFile, "\rVerifying  50%");
  EXPECT_EQ(console.errWrites[console.errWrites.size() - 2], "\rVerifying 100%");
  EXPECT_EQ(console.errWrites.back(), "\n");
  EXPECT_EQ(files.reads, 0u) << "verify reads blocks too";
}

TEST(CliLocale, RussianLocalesOnly) {
  for (const char* name : {"ru", "ru_RU.UTF-8", "ru_UA", "ru-RU", "ru_RU@cyrillic"})
    EXPECT_TRUE(LocaleIsRussian(name)) << name;
  for (const char* name : {"", "C", "C.UTF-8", "en_US.UTF-8", "rue_UA", "de-DE"})
    EXPECT_FALSE(LocaleIsRussian(name)) << name;
}

}  // namespace
}  // namespace scaleboot::cli
