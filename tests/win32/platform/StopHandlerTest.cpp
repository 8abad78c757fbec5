// Ctrl+C (and a logoff, a shutdown) under Wine, through the console control handler the station registers:
// the handler is called as the system calls it, then the pause between polls ends at once and a station run
// finishes its card and ends.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "../../core/CliHarness.h"
#include "platform/win32/CardSlots.h"

namespace scaleboot::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Reader E: is empty at the start; a card shows up in the second poll. While the station looks at it, Ctrl+C
// comes, as it would from the console.
struct CardThenCtrlC : platform::CardSlotSource {
  int polls = 0;
  std::vector<platform::CardSlot> Poll(std::span<const std::string>) override {
    if (++polls == 1) return {{"E:", "", ""}};
    if (polls == 2) platform::OnConsoleControl(CTRL_C_EVENT);
    return {{"E:", "E:\\", "card-a"}};
  }
  platform::VolumeFacts Describe(const std::string&) override { return {"CARD", "1A2B-3C4D"}; }
};

struct Station : CliHarness {};

// The stop event cannot be taken back once set: every step of the sequence is in this one test.
TEST_F(Station, CtrlCThroughTheHandlerFinishesTheCardAndEndsWithTheSummary) {
  EXPECT_FALSE(platform::WaitOrStop(50)) << "a stop before any Ctrl+C";

  CardThenCtrlC slots;
  const auto newFiles = [this] { return std::make_unique<LockedFileSystem>(files, filesLock); };
  cli::Environment environment{drives, files, console, {&slots, newFiles, images}, kEnglish};
  environment.waitOrStop = platform::WaitOrStop;
  const std::vector<std::string> args{"station", "--no-eject"};
  auto run = std::async(std::launch::async, [&] { return cli::RunCli(args, environment); });
  // Without the stop the station would poll forever: give up after a while rather than hang the suite.
  if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "the station did not stop on Ctrl+C:\n" << console.err;
    std::_Exit(1);
  }
  EXPECT_EQ(run.get(), 0) << console.err;
  EXPECT_EQ(slots.polls, 2) << "no poll after the stop";
  EXPECT_TRUE(HoldsModule("E:\\")) << "the card seen just before the stop is written in full";
  EXPECT_NE(console.err.find(" E: Module creation completed successfully; remove the card"),
            std::string::npos)
      << console.err;
  EXPECT_NE(console.err.find("scaleboot-cli: 1 written, 0 failed"), std::string::npos) << console.err;

  // The handler's answer to Ctrl+C and Ctrl+Break, and the pause it ends: at once, not after its length.
  for (const DWORD stop : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
    EXPECT_TRUE(platform::OnConsoleControl(stop)) << stop;
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(platform::WaitOrStop(10000)) << stop;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1)) << stop;
  }
  // A logoff and a shutdown stop it too, the handler holding the program meanwhile as for a closed console.
  // Only a lower bound on the time held: a loaded machine may take longer, never shorter.
  const Clock::time_point asked = Clock::now();
  std::vector<std::future<BOOL>> ending;
  for (const DWORD type : {DWORD{CTRL_LOGOFF_EVENT}, DWORD{CTRL_SHUTDOWN_EVENT}})
    ending.push_back(std::async(std::launch::async, [type] { return platform::OnConsoleControl(type); }));
  for (auto& answer : ending) EXPECT_TRUE(answer.get());
  EXPECT_GE(Clock::now() - asked, std::chrono::seconds(4)) << "held for the cards";
}

// A program into which user32 is loaded hears of a logoff only as window messages: the hidden window takes
// the query as Ctrl+C and holds the program at the session's end. In a process of its own, where no stop was
// asked for yet.
TEST(EndingWindow, ALogoffStopsTheStationAndHoldsTheProgramForItsCards) {
  if (const HWND probe =
          CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)) {
    DestroyWindow(probe);
  } else {
    GTEST_SKIP() << "no display: no window can be made";
  }
  const auto logoff = [] {
    platform::InstallStopHandlers();
    HWND window = nullptr;
    for (int i = 0; i < 200 && !(window = FindWindowW(platform::kEndingWindowClass, nullptr)); ++i) Sleep(50);
    if (!window) std::_Exit(2);
    if (platform::WaitOrStop(0)) std::_Exit(3);
    if (SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) != TRUE) std::_Exit(4);
    if (!platform::WaitOrStop(0)) std::_Exit(5);
    const Clock::time_point asked = Clock::now();
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    std::_Exit(Clock::now() - asked >= std::chrono::seconds(4) ? 0 : 6);
  };
  EXPECT_EXIT(logoff(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace scaleboot::testing
