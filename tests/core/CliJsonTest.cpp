// --json documents, read back with a JSON parser, and the rough edges a new user meets: verify on a folder
// that is not there, card files that are links or no files at all, lengths and differences together, where
// each text goes, and output that cannot be written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

#include "CliHarness.h"

#include "main/cli/CliTexts.h"

namespace scaleboot::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using json = nlohmann::json;
using Kind = platform::PathInfo::Kind;
using Op = scaleboot::testing::FakeFileSystem::Op;

struct CliJson : scaleboot::testing::CliHarness {
  // Standard output as one JSON document: parsing fails when anything else was printed beside it.
  json Document() {
    EXPECT_TRUE(std::all_of(console.out.begin(), console.out.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x80;
    })) << "ASCII only, whatever the code page of the reader";
    return json::parse(console.out);
  }
};

TEST_F(CliJson, ListWriteContentsAndVersionAnswerInOneDocument) {
  EXPECT_EQ(Run({"list", "--json"}), kExitSuccess);
  EXPECT_EQ(Document(),
            json::parse(R"({"command": "list", "exit_status": 0, "roots": ["E:\\", "F:\\", "G:\\"]})"));

  files.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::Create && path == "F:\\yk2368.bin" ? 19 : 0;
  };
  EXPECT_EQ(Run({"--json", "write", "E:", "F:", "--lang", "ru"}), kExitIoError);
  const json write = Document();
  EXPECT_EQ(write["command"], "write");
  EXPECT_EQ(write["exit_status"], kExitIoError);
  ASSERT_EQ(write["cards"].size(), 2u);
  EXPECT_EQ(write["cards"][0], json::parse(R"({"root": "E:\\", "outcome": "verified", "device_compared": true,
                                               "text": "Запись загрузочного модуля на карту завершена успешно"})"));
  EXPECT_EQ(write["cards"][1],
            json::parse(R"({"root": "F:\\", "outcome": "io-error", "io_code": 19, "text": "I/O error 19.",
                     "device_compared": true})"));
  EXPECT_EQ(console.err, "scaleboot-cli: F:\\: I/O error 19.\n") << "standard error is as without --json";

  EXPECT_EQ(Run({"contents", "--json", "--lang", "ru"}), kExitSuccess);
  const json contents = Document();
  ASSERT_EQ(contents["sets"].size(), 2u);
  EXPECT_EQ(contents["sets"][0]["label"], ComposeVersionLabel(ImageSetA));
  EXPECT_EQ(contents["sets"][1]["label"], ComposeVersionLabel(ImageSetB));
  EXPECT_THAT(contents["sets"][0]["text"].get<std::string>(), HasSubstr("для весов"));

  EXPECT_EQ(Run({"--json", "-V"}), kExitSuccess);
  EXPECT_EQ(Document()["program"], "scaleboot-cli");
}

TEST_F(CliJson, WriteOutcomesOfEveryKind) {
  files.afterWrite = [](const std::string& path, std::vector<std::uint8_t>& data) {
    if (path == "G:\\32yk936.bin") data[0] ^= 1;
  };
  EXPECT_EQ(Run({"write", "--all", "--json"}), kExitMismatch);
  const json write = Document();
  std::vector<std::string> outcomes;
  for (const json& card : write["cards"]) outcomes.push_back(card["outcome"]);
  EXPECT_EQ(outcomes, (std::vector<std::string>{"verified", "verified", "mismatch"}));
  EXPECT_FALSE(write["cards"][2].contains("io_code"));

  std::vector<std::uint8_t> damaged(images[0].bytes.begin(), images[0].bytes.end());
  damaged[10] ^= 0x40;
  images[0].bytes = damaged;
  EXPECT_EQ(Run({"write", "E:", "--json"}), kExitCorrupt);
  EXPECT_EQ(Document()["cards"][0]["outcome"], "corrupt-images");
}

TEST_F(CliJson, CommandsThatCannotStartStillAnswerInJson) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string code;
  };
  inspect = true;
  const Case cases[] = {
      {{"--json", "write", "E:", "C:"}, kExitUsage, "not-removable"},
      {{"--json", "verify", "/no/such/folder"}, kExitUsage, "no-such-folder"},
      {{"--json", "list", "--bogus"}, kExitUsage, "usage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(Run(c.args), c.status);
    const json document = Document();
    EXPECT_EQ(document["exit_status"], c.status);
    EXPECT_EQ(document["error"]["code"], c.code);
    EXPECT_THAT(console.err, HasSubstr(document["error"]["text"].get<std::string>().substr(0, 20)));
  }
  EXPECT_EQ(Run({"--json", "write", "Z:"}), kExitUsage);
  EXPECT_EQ(Document()["error"]["removable_roots"], json::parse(R"(["E:\\", "F:\\", "G:\\"])"));
}

TEST_F(CliJson, VerifyNamesEachFindingWithItsOffsetsAndSizes) {
  inspect = true;
  PutModule("/cards/copy/");
  auto& longer = files.files["/cards/copy/32yk2368.bin"];
  longer.resize(longer.size() + 10);
  longer[7] ^= 1;
  auto& shorter = files.files["/cards/copy/32yk936.bin"];
  shorter.resize(100);
  shorter[2] ^= 1, shorter[50] ^= 1;
  files.files["/cards/copy/yk2368.bin"][1000] ^= 1;
  paths["/cards/copy/yk936.bin"] = {Kind::SymbolicLink, 0};
  files.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::OpenForReading && path == "/cards/copy/yk936.bin" ? 5 : 0;
  };
  EXPECT_EQ(Run({"verify", "/cards/copy", "--json"}), kExitIoError);
  const json verify = Document();
  EXPECT_EQ(verify["folder"], "/cards/copy/");
  EXPECT_EQ(verify["holds_module"], false);
  EXPECT_EQ(verify["verdict"], "damaged");
  const json expected = json::parse(R"([
    {"name": "32yk2368.bin", "finding": "longer", "image_size": 422916, "size": 422926, "differing_bytes": 1,
     "first_difference": 7, "intact": false},
    {"name": "32yk936.bin", "finding": "shorter", "image_size": 15750, "size": 100, "differing_bytes": 2,
     "first_difference": 2, "intact": false},
    {"name": "yk2368.bin", "finding": "differs", "image_size": 422916, "size": 422916, "differing_bytes": 1,
     "first_difference": 1000, "intact": false},
    {"name": "yk936.bin", "finding": "symbolic-link", "image_size": 15750, "io_code": 5}
  ])");
  ASSERT_EQ(verify["files"].size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    json file = verify["files"][i];
    EXPECT_FALSE(file["text"].get<std::string>().empty());
    file.erase("text");
    EXPECT_EQ(file, expected[i]);
  }
  // The same findings in words: both the length and the difference, the real size, what the link is.
  EXPECT_EQ(Run({"verify", "/cards/copy"}), kExitIoError);
  EXPECT_EQ(
      console.out,
      "32yk2368.bin: longer than the image (422926 bytes instead of 422916), and differs at byte 7 "
      "(differing bytes: 1); damaged: its checksum does not hold\n"
      "32yk936.bin: shorter than the image (100 of 15750 bytes), and differs at byte 2 (differing bytes: 2); "
      "damaged: its checksum does not hold\n"
      "yk2368.bin: differs at byte 1000 (differing bytes: 1); damaged: its checksum does not hold\n"
      "yk936.bin: cannot be read: a symbolic link\n"
      "The folder does not hold this module.\nVerdict: the card is damaged or incomplete.\n");
  EXPECT_EQ(console.err, "") << "verify's findings go to standard output, whatever the status";
}

TEST_F(CliJson, VerifySaysWhatACardFileIsInsteadOfAccessDenied) {
  inspect = true;
  PutModule("E:\\");
  struct Case {
    Kind kind;
    std::string text;
  };
  const Case cases[] = {
      {Kind::SymbolicLink, "32yk2368.bin: cannot be read: a symbolic link"},
      {Kind::Folder, "32yk2368.bin: cannot be read: not a regular file"},
      {Kind::Other, "32yk2368.bin: cannot be read: not a regular file"},
      {Kind::RegularFile, "32yk2368.bin: cannot be read: File access denied."},
  };
  files.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::OpenForReading && path == "E:\\32yk2368.bin" ? 5 : 0;
  };
  for (const Case& c : cases) {
    paths["E:\\32yk2368.bin"] = {c.kind, 0};
    EXPECT_EQ(Run({"verify", "E:"}), kExitIoError);
    EXPECT_THAT(console.out, HasSubstr(c.text + "\n"));
  }
}

TEST_F(CliJson, VerifyRefusesAFolderThatIsNotThereBeforeReading) {
  inspect = true;
  paths["/home/tech/notes.txt/"] = {Kind::Other, 0};
  paths["/home/tech/link/"] = {Kind::Folder, 0};
  struct Case {
    std::string given;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"/home/tech/modul", kExitUsage,
       "scaleboot-cli: the folder '/home/tech/modul' does not exist; nothing was read.\n"},
      {"/home/tech/notes.txt", kExitUsage,
       "scaleboot-cli: '/home/tech/notes.txt' is not a folder; nothing was read.\n"},
      {"/home/tech/link", kExitMismatch, ""},
  };
  std::size_t fileCalls = 0;
  files.fault = [&fileCalls](Op, const std::string&, std::size_t) { return ++fileCalls, 0; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    fileCalls = 0;
    EXPECT_EQ(Run({"verify", c.given}), c.status);
    EXPECT_EQ(console.err, c.err);
    EXPECT_EQ(fileCalls == 0, c.status == kExitUsage) << "nothing is read from a folder that is not one";
  }
}

TEST_F(CliJson, EveryErrorLineNamesTheProgram) {
  inspect = true;
  files.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::Create && path.starts_with("F:") ? 112 : 0;
  };
  const std::vector<std::vector<std::string>> failing{
      {"frobnicate"},        {"write", "C:"},        {"write", "E:", "Z:"}, {"write", "F:"},
      {"write", "E:", "F:"}, {"verify", "/nowhere"}, {"list", "--lang"},    {"--lang", "ru", "write"},
  };
  for (const auto& args : failing) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_NE(Run(args), kExitSuccess);
    ASSERT_FALSE(console.err.empty());
    std::size_t start = 0;
    while (start < console.err.size()) {
      EXPECT_EQ(console.err.compare(start, 15, "scaleboot-cli: "), 0) << console.err.substr(start);
      start = console.err.find('\n', start) + 1;
    }
  }
}

TEST_F(CliJson, OutputThatCannotBeWrittenIsAnErrorAndNeverSuccess) {
  console.outFails = true;
  EXPECT_EQ(Run({"contents"}), kExitIoError);
  EXPECT_EQ(console.err, "scaleboot-cli: cannot write to standard output\n");
  EXPECT_EQ(Run({"write", "E:", "--json", "--lang", "ru"}), kExitIoError);
  EXPECT_EQ(console.err, "scaleboot-cli: не удаётся писать в стандартный вывод\n");
}

TEST_F(CliJson, ListWithoutDrivesSaysSoOnATerminalOnly) {
  drives.Set({{"C:\\", 3}});
  EXPECT_EQ(Run({"list"}), kExitSuccess);
  EXPECT_EQ(console.out + console.err, "") << "a pipe gets an empty list";
  console.outTerminal = true;
  EXPECT_EQ(Run({"list", "--lang", "ru"}), kExitSuccess);
  EXPECT_EQ(console.out, "");
  EXPECT_EQ(console.err, "scaleboot-cli: Съёмные диски не подключены.\n");
}

TEST_F(CliJson, HelpWinsEvenOverJsonAndNamesTheShortOptions) {
  EXPECT_EQ(Run({"list", "Z:", "--json", "--lang", "ru", "-h"}), kExitSuccess);
  EXPECT_EQ(console.out, HelpText(kRussian, Command::List));
  EXPECT_EQ(Run({"--json", "--lang", "ru", "-h"}), kExitSuccess);
  for (const char* option : {"-q, --quiet", "-h, --help", "-V, --version", "--json", "--all", "от 0"})
    EXPECT_THAT(console.out, HasSubstr(option));
  EXPECT_TRUE(files.calls.empty());
}

TEST_F(CliJson, ATestBuildSaysSoInEveryTextATechnicianCouldTakeForARelease) {
  struct Case {
    std::vector<std::string> args;
    const char* line;  // on standard output after the program's own words, in a test build only
  };
  const Case cases[] = {
      {{"--version"}, "test firmware, not for scales"},
      {{"contents", "--lang", "ru"}, "тестовая прошивка, не для весов"},
      {{"write", "E:"}, "test firmware, not for scales"},
      {{"write", "E:", "F:", "--lang", "ru"}, "тестовая прошивка, не для весов"},
  };
  for (const bool test : {false, true}) {
    testFirmware = test;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.args.front() + (test ? " in a test build" : " in a release"));
      EXPECT_EQ(Run(c.args), kExitSuccess);
      EXPECT_EQ(console.out.find(c.line) != std::string::npos, test) << console.out;
      EXPECT_TRUE(console.out.ends_with(test ? std::string(c.line) + "\n" : "\n"));
      std::vector<std::string> json = c.args;
      json.push_back("--json");
      EXPECT_EQ(Run(json), kExitSuccess);
      EXPECT_EQ(Document().contains("test_firmware"), test);
    }
  }
}

TEST_F(CliJson, HelpOfOneCommandIsItsOwnPartAndEveryLineFitsTheTerminal) {
  struct Case {
    std::vector<std::string> args;
    Command topic;
    const char* has;
    const char* hasNot;
  };
  const Case cases[] = {
      {{"help", "write"}, Command::Write, "--log FILE", "--no-eject"},
      {{"write", "--help"}, Command::Write, "write --all", "verify ROOT"},
      {{"station", "-h", "--lang", "ru"}, Command::Station, "--no-eject", "--power-off"},
      {{"help"}, Command::None, "log-unopenable", "Usage: scaleboot-cli help"},
      {{"eject", "--help"}, Command::Eject, "--power-off", "--log FILE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    EXPECT_EQ(Run(c.args), kExitSuccess);
    EXPECT_EQ(console.out, HelpText(c.args.back() == "ru" ? kRussian : kEnglish, c.topic));
    EXPECT_THAT(console.out, HasSubstr(c.has));
    EXPECT_THAT(console.out, Not(HasSubstr(c.hasNot)));
  }
  for (LanguageIndex language : {kEnglish, kRussian}) {
    for (Command topic : {Command::None, Command::List, Command::Write, Command::Verify, Command::Contents,
                          Command::Eject, Command::Station, Command::Help}) {
      std::istringstream lines(HelpText(language, topic));
      for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(Characters(line), kHelpColumns) << line;
        EXPECT_FALSE(line.ends_with(' ')) << line;
      }
    }
  }
  EXPECT_EQ(Run({"help", "format"}), kExitUsage);
  EXPECT_THAT(console.err, HasSubstr("unknown command 'format'"));
}

}  // namespace
}  // namespace scaleboot::cli
