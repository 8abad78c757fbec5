// Ejecting from the command line: eject ROOT... and write --eject, their lines, JSON and exit statuses, over
// a fake ejector that answers per root and records what it was asked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliHarness.h"
#include "main/cli/CommandLine.h"

namespace scaleboot::cli {
namespace {

using Status = platform::EjectResult::Status;
using Op = scaleboot::testing::FakeFileSystem::Op;

struct FakeEjector : platform::Ejector {
  std::map<std::string, platform::EjectResult> answers;  // roots not named here are ejected
  std::vector<std::pair<std::string, bool>> calls;       // root, power off
  platform::EjectResult Eject(const std::string& root, const platform::EjectOptions& options) override {
    calls.emplace_back(root, options.powerOff);
    const auto it = answers.find(root);
    return it == answers.end() ? platform::EjectResult{Status::Ejected} : it->second;
  }
};

struct CliEject : scaleboot::testing::CliHarness {
  FakeEjector fake;
  CliEject() { ejector = &fake; }
};

TEST_F(CliEject, EjectSaysForEachDriveWhetherItMayBePulled) {
  struct Case {
    std::vector<std::string> args;
    std::map<std::string, platform::EjectResult> answers;
    int status;
    std::vector<std::pair<std::string, bool>> calls;
    std::string out, err;
  };
  const Case cases[] = {
      {{"eject", "e:", "F:\\"},
       {},
       kExitSuccess,
       {{"E:\\", false}, {"F:\\", false}},
       "E:\\: safe to remove\nF:\\: safe to remove\n",
       ""},
      {{"eject", "E:", "F:"},
       {{"E:\\", {Status::InUse, true, {"cat (12)", "bash (40)"}}}},
       kExitIoError,
       {{"E:\\", false}, {"F:\\", false}},
       "F:\\: safe to remove\n",
       "scaleboot-cli: E:\\: could not eject: in use by another program: cat (12), bash (40)\n"},
      {{"--lang", "ru", "eject", "E:", "--power-off"},
       {{"E:\\", {Status::NotAuthorized}}},
       kExitIoError,
       {{"E:\\", true}},
       "",
       "scaleboot-cli: E:\\: не удалось извлечь: нет разрешения\n"},
      {{"eject", "E:", "E:\\"}, {}, kExitSuccess, {{"E:\\", false}}, "E:\\: safe to remove\n", ""},
      // A root that is not a removable drive refuses the command before any drive is ejected.
      {{"eject", "E:", "C:"},
       {},
       kExitUsage,
       {},
       "",
       "scaleboot-cli: 'C:' is not a removable drive; nothing was ejected.\n"
       "scaleboot-cli: Removable drives: E:\\, F:\\, G:\\\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    fake.calls.clear();
    fake.answers = c.answers;
    EXPECT_EQ(Run(c.args), c.status);
    EXPECT_EQ(fake.calls, c.calls);
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, c.err);
  }
}

TEST_F(CliEject, WriteEjectsEachCardStillThereAndKeepsTheStatusOfItsContents) {
  struct Case {
    std::vector<std::string> args;
    std::function<int(Op, const std::string&, std::size_t)> fault;
    std::map<std::string, platform::EjectResult> answers;
    int status;
    std::vector<std::string> ejected;  // roots the ejector was asked for
    std::string out, err;
  };
  const auto pullF = [this](Op, const std::string& path, std::size_t) {
    if (!path.starts_with("F:")) return 0;
    drives.Set({{"C:\\", 3}, {"E:\\", 2}});
    return 21;
  };
  const Case cases[] = {
      {{"write", "E:", "--eject"},
       nullptr,
       {},
       kExitSuccess,
       {"E:\\"},
       "Module creation completed successfully\nE:\\: safe to remove\n",
       ""},
      // A failed eject is said, in the system's words without their full stop and line break, but the card
      // holds the module all the same.
      {{"write", "E:", "--eject"},
       nullptr,
       {{"E:\\", {Status::Failed, true, {}, "Device or resource busy. \r\n"}}},
       kExitSuccess,
       {"E:\\"},
       "Module creation completed successfully\n",
       "scaleboot-cli: E:\\: could not eject: Device or resource busy\n"},
      // A write-protected card is still there and is ejected.
      {{"write", "E:", "--eject"},
       [](Op op, const std::string&, std::size_t) { return op == Op::Create ? 19 : 0; },
       {},
       kExitIoError,
       {"E:\\"},
       "E:\\: safe to remove\n",
       "scaleboot-cli: I/O error 19.\n"},
      // A card pulled during its run is gone: nothing is asked of the system for it.
      {{"write", "F:", "--eject"},
       pullF,
       {},
       kExitIoError,
       {},
       "",
       "scaleboot-cli: I/O error 21.\nscaleboot-cli: F:\\: could not eject: the card is gone\n"},
      {{"write", "E:"}, nullptr, {}, kExitSuccess, {}, "Module creation completed successfully\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    drives.Set({{"C:\\", 3}, {"E:\\", 2}, {"F:\\", 2}});
    files.files.clear();
    files.fault = c.fault;
    fake.calls.clear();
    fake.answers = c.answers;
    EXPECT_EQ(Run(c.args), c.status);
    std::vector<std::string> asked;
    for (const auto& call : fake.calls) asked.push_back(call.first);
    EXPECT_EQ(asked, c.ejected);
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, c.err);
  }
}

TEST_F(CliEject, JsonTellsPerCardWhetherItWasEjectedAndWhyNot) {
  fake.answers["F:\\"] = {Status::InUse, true, {"cat (12)"}};
  fake.answers["G:\\"] = {Status::Ejected, false};
  ASSERT_EQ(Run({"write", "E:", "F:", "G:", "--eject", "--json", "--quiet"}), kExitSuccess);
  const auto write = nlohmann::json::parse(console.out);
  ASSERT_EQ(write["cards"].size(), 3u);
  EXPECT_EQ(write["cards"][0]["ejected"], true);
  EXPECT_TRUE(write["cards"][0]["eject_error"].is_null());
  EXPECT_EQ(write["cards"][1]["ejected"], false);
  EXPECT_EQ(write["cards"][1]["eject_error"]["code"], "in-use");
  EXPECT_EQ(write["cards"][1]["eject_error"]["processes"], nlohmann::json::array({"cat (12)"}));
  EXPECT_EQ(write["cards"][2]["media_ejected"], false);

  ASSERT_EQ(Run({"eject", "F:", "--json"}), kExitIoError);
  const auto eject = nlohmann::json::parse(console.out);
  EXPECT_EQ(eject["command"], "eject");
  EXPECT_EQ(eject["exit_status"], kExitIoError);
  EXPECT_EQ(eject["cards"][0]["root"], "F:\\");
  EXPECT_EQ(eject["cards"][0]["eject_error"]["text"], "in use by another program: cat (12)");

  // Without --eject a write document says nothing about ejecting.
  ASSERT_EQ(Run({"write", "E:", "--json", "--quiet"}), kExitSuccess);
  EXPECT_FALSE(nlohmann::json::parse(console.out)["cards"][0].contains("ejected"));
}

TEST(CliEjectArguments, EjectOptionsGoWithTheirCommandsOnly) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"write", "E:", "--eject", "--power-off"}, ""},
      {{"eject", "E:", "--power-off"}, ""},
      {{"eject"}, "'eject' needs a drive root or folder"},
      {{"eject", "--all"}, "option '--all' goes with write only"},
      {{"list", "--eject"}, "option '--eject' goes with write only"},
      {{"eject", "E:", "--eject"}, "option '--eject' goes with write only"},
      {{"write", "E:", "--power-off"}, "option '--power-off' goes with eject or write --eject only"},
  };
  for (const auto& [args, error] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(ParseCommandLine(args, kEnglish).error, error);
  }
}

}  // namespace
}  // namespace scaleboot::cli
