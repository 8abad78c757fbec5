// Keeping the machine up through a logind stand-in (python3-dbusmock's logind template) on a private system
// bus: what the station holds while a card is written, and that it lets go of all of it.
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <set>
#include <thread>

#include "PrivateSystemBus.h"
#include "platform/linux/LogindInhibitor.h"

namespace scaleboot::platform {
namespace {

using namespace scaleboot::testing;
using Inhibitors = std::multiset<std::string>;

// What logind holds now, as "what who why mode".
Inhibitors ListInhibitors() {
  Inhibitors found;
  sd_bus* bus = nullptr;
  sd_bus_message* reply = nullptr;
  if (sd_bus_open_system(&bus) >= 0 &&
      sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "ListInhibitors", nullptr, &reply, "") >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
    const char *what, *who, *why, *mode;
    unsigned uid, pid;
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
      found.insert(std::string(what) + " " + who + " " + why + " " + mode);
  }
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return found;
}

// The holder works on a thread of its own: wait until logind shows `expected`, or give up after a while.
Inhibitors WaitFor(const Inhibitors& expected) {
  Inhibitors now = ListInhibitors();
  for (int i = 0; i < 200 && now != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    now = ListInhibitors();
  }
  return now;
}

class LogindInhibit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { PrivateSystemBus::Start(); }
  static void TearDownTestSuite() { PrivateSystemBus::Stop(); }
  void SetUp() override {
    if (!PrivateSystemBus::Running()) GTEST_SKIP() << "no dbus-daemon or python3-dbusmock";
  }
  void TearDown() override {
    if (logind_ > 0) kill(logind_, SIGTERM), Wait(logind_);
  }
  void StartLogind() {
    logind_ = Spawn({kPython, "-m", "dbusmock", "--system", "--template", "logind", "-l", "/dev/null"});
    for (int i = 0; i < 200 && system("busctl --system status org.freedesktop.login1 >/dev/null 2>&1"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  pid_t logind_ = -1;
};

TEST_F(LogindInhibit, HoldsSleepAndShutdownWhileACardIsWrittenAndLetsGoOfBoth) {
  StartLogind();
  const Inhibitors held{"shutdown ScaleBoot writing a card delay", "sleep ScaleBoot writing a card block"};
  {
    LogindInhibitor inhibitor("ScaleBoot", "writing a card");
    EXPECT_EQ(WaitFor({}), Inhibitors{}) << "nothing before a card";
    inhibitor.Hold(true);
    EXPECT_EQ(WaitFor(held), held);
    inhibitor.Hold(true);  // the next card while the first is written: still one of each
    inhibitor.Hold(false);
    EXPECT_EQ(WaitFor({}), Inhibitors{}) << "let go once no card is written";
    inhibitor.Hold(true);
    EXPECT_EQ(WaitFor(held), held) << "held again for the next card";
  }
  EXPECT_EQ(WaitFor({}), Inhibitors{}) << "let go when the station ends mid-card";
}

TEST_F(LogindInhibit, WithoutLogindNothingIsHeldAndNothingWaits) {
  LogindInhibitor inhibitor("ScaleBoot", "writing a card");
  inhibitor.Hold(true);
  inhibitor.Hold(false);
  inhibitor.Hold(true);
  StartLogind();
  EXPECT_EQ(WaitFor({}), Inhibitors{}) << "a logind that came later is not asked until the next card";
}

}  // namespace
}  // namespace scaleboot::platform
