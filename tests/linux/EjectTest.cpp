// Ejecting on Linux against a udisks2 stand-in (python3-dbusmock) on a private system bus: what is called, in
// which order, with which options, and how each answer is reported; and, without udisks, the direct unmount.
// Also the logind inhibitors the station holds while a card is written, against logind's stand-in.
// DBUS_SYSTEM_BUS_ADDRESS always names the private bus, so no test can reach a real udisks.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "platform/linux/LinuxEjector.h"
#include "platform/linux/LogindInhibitor.h"

namespace scaleboot::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Status = EjectResult::Status;
using scaleboot::testing::TempDir;

constexpr const char* kPython = "/usr/bin/python3";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int OpenFolder(const std::string& root) {
  return open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

pid_t Spawn(std::vector<std::string> args) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The private bus for the whole suite, and the udisks stand-in started afresh for each case.
class UdisksEject : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access(kPython, X_OK) != 0 || system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0 ||
        system("command -v dbus-daemon >/dev/null") != 0) {
      return;
    }
    busDir_ = new TempDir();
    std::ofstream(*busDir_ / "bus.conf")
        << "<busconfig><type>system</type><listen>unix:path=" << (*busDir_ / "bus")
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy></busconfig>\n";
    const std::string command = "dbus-daemon --config-file=" + (*busDir_ / "bus.conf") +
                                " --fork --print-pid > " + (*busDir_ / "pid");
    if (system(command.c_str()) != 0) return;
    busPid_ = std::stoi(ReadAll(*busDir_ / "pid"));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (*busDir_ / "bus")).c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (busPid_ > 0) kill(busPid_, SIGTERM);
    delete busDir_;
    busDir_ = nullptr;
  }
  void SetUp() override {
    if (busPid_ <= 0) GTEST_SKIP() << "no dbus-daemon or python3-dbusmock";
  }
  void TearDown() override { StopStandIn(); }

  // Starts the stand-in with the objects of `scenario`; the card's device is the one of `card`.
  void StartStandIn(const std::string& scenario) {
    std::remove(log_.c_str());
    mock_ = Spawn({kPython, "-m", "dbusmock", "--system", "-m", "org.freedesktop.UDisks2",
                   "/org/freedesktop/UDisks2", "org.freedesktop.UDisks2.Manager"});
    struct stat st {};
    ASSERT_EQ(stat(card.path().c_str(), &st), 0);
    ASSERT_EQ(Wait(Spawn({kPython, SCALEBOOT_UDISKS_STAND_IN, scenario, std::to_string(st.st_dev),
                          card.root(), log_})),
              0);
  }
  void StopStandIn() {
    if (mock_ > 0) {
      kill(mock_, SIGTERM);
      Wait(mock_);
      mock_ = -1;
    }
  }
  // The methods the program called on the stand-in, as "object method", in order; each must have asked for
  // no password dialog.
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    std::istringstream log(ReadAll(log_));
    std::string object, method, options;
    while (log >> object >> method && std::getline(log, options)) {
      calls.push_back(object + " " + method);
      EXPECT_EQ(options, " [('auth.no_user_interaction', True)]") << calls.back();
    }
    return calls;
  }

  static inline TempDir* busDir_ = nullptr;
  static inline pid_t busPid_ = -1;
  TempDir card;
  TempDir logDir;
  std::string log_ = logDir / "calls.log";
  pid_t mock_ = -1;
  std::vector<std::string> unmounted_;
  bool cardRoot_ = true;  // whether the temporary folder counts as a card's mount root
  LinuxEjector ejector{[this](const std::string& root) {
                         unmounted_.push_back(root);
                         return 0;
                       },
                       true, "/proc",
                       [this](const std::string& root) { return cardRoot_ ? OpenFolder(root) : -1; }};
};

TEST_F(UdisksEject, UnmountsEveryFileSystemOfTheDriveBeforeEjectingIt) {
  struct Case {
    std::string scenario;
    bool powerOff;
    Status status;
    bool mediaEjected;
    std::vector<std::string> calls;
    bool unmountedDirectly;
  };
  const Case cases[] = {
      {"ejectable", false, Status::Ejected, true, {"sdb1 Unmount", "sdb2 Unmount", "Reader Eject"}, false},
      {"ejectable",
       true,
       Status::Ejected,
       true,
       {"sdb1 Unmount", "sdb2 Unmount", "Reader Eject", "Reader PowerOff"},
       false},
      // A card reader that cannot eject stays; the card may still be pulled.
      {"fixed-slot", false, Status::Ejected, false, {"sdb1 Unmount", "sdb2 Unmount"}, false},
      {"eject-fails", false, Status::Ejected, false, {"sdb1 Unmount", "sdb2 Unmount", "Reader Eject"}, false},
      {"busy", false, Status::InUse, true, {"sdb1 Unmount"}, false},
      {"denied", false, Status::NotAuthorized, true, {"sdb1 Unmount"}, false},
      // A mount udisks does not see, and a card it does not know: unmounted directly.
      {"not-mounted", false, Status::Ejected, true, {"sdb1 Unmount", "sdb2 Unmount", "Reader Eject"}, true},
      {"unknown", false, Status::Ejected, true, {}, true},
      // A loop device: as the drive list says, and the other device under the shared drive "/" is left
      // mounted; a fixed disk and a plain folder: left alone.
      {"loop", false, Status::Ejected, false, {"sdb1 Unmount"}, false},
      {"fixed-drive", false, Status::Failed, true, {}, false},
      // Another card under the card's own drive (identical readers): left mounted, and the drive stays.
      {"twin", false, Status::Ejected, false, {"sdb1 Unmount", "sdb2 Unmount"}, false},
      {"twin", true, Status::Ejected, false, {"sdb1 Unmount", "sdb2 Unmount"}, false},
      {"plain-folder", true, Status::Gone, true, {}, false},
  };
  std::ofstream held(card / "held.bin");  // this test's own process holds a file on the card
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario + (c.powerOff ? " --power-off" : ""));
    unmounted_.clear();
    cardRoot_ = c.scenario != "plain-folder";
    StartStandIn(c.scenario);
    const EjectResult result = ejector.Eject(card.root(), {c.powerOff});
    EXPECT_EQ(result.status, c.status);
    if (c.status == Status::Ejected) {
      EXPECT_EQ(result.mediaEjected, c.mediaEjected);
    }
    if (c.status == Status::InUse) {
      EXPECT_THAT(result.holders, ::testing::Contains(HasSubstr("(" + std::to_string(getpid()) + ")")));
    }
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(unmounted_,
              c.unmountedDirectly ? std::vector<std::string>{card.root()} : std::vector<std::string>{});
    StopStandIn();
  }
}

TEST_F(UdisksEject, WithoutUdisksOnlyRootUnmountsDirectly) {
  // No stand-in on the bus: the service is unknown.
  EXPECT_EQ(ejector.Eject(card.root(), {}).status, Status::Ejected);
  EXPECT_THAT(unmounted_, ElementsAre(card.root()));

  const auto anyRoot = OpenFolder;
  LinuxEjector notRoot([](const std::string&) { return 0; }, false, "/proc", anyRoot);
  EXPECT_EQ(notRoot.Eject(card.root(), {}).status, Status::NoService);

  const std::pair<int, Status> answers[] = {
      {EBUSY, Status::InUse}, {EPERM, Status::NotAuthorized}, {EINVAL, Status::Failed}};
  for (const auto& [error, status] : answers) {
    LinuxEjector failing([error = error](const std::string&) { return error; }, true, "/proc", anyRoot);
    EXPECT_EQ(failing.Eject(card.root(), {}).status, status) << error;
  }
  EXPECT_EQ(ejector.Eject(card / "pulled/", {}).status, Status::Gone);
  // The folder checked is not the mount the path names by the time of the unmount: nothing is unmounted.
  LinuxEjector moved([](const std::string&) { return 0; }, true, "/proc",
                     [](const std::string&) { return OpenFolder("/proc"); });
  EXPECT_EQ(moved.Eject(card.root(), {}).status, Status::Gone);
  // The program's own check: a temporary folder is no removable device's mount root.
  EXPECT_EQ(LinuxEjector().Eject(card.root(), {}).status, Status::Gone);
}

TEST(ProcessesUsingDevice, OpenFilesCurrentFoldersAndMappingsCount) {
  TempDir card, proc;
  std::ofstream(card / "file.bin") << "x";
  struct stat st {};
  ASSERT_EQ(stat(card.path().c_str(), &st), 0);
  char maps[64];
  std::snprintf(maps, sizeof maps, "7f00-7f10 r--p 00000000 %02x:%02x 12 /card/file.bin\n", major(st.st_dev),
                minor(st.st_dev));
  const struct {
    std::string pid, comm, fdTarget, cwd, maps;
  } processes[] = {
      {"120", "writer", card / "file.bin", "/proc", ""},
      {"7", "shell", "/proc/version", card.path(), ""},
      {"3000", "viewer", "/proc/version", "/proc", maps},
      {"44", "other", "/proc/version", "/proc", "7f00-7f10 r--p 00000000 00:00 0 [heap]\n"},
  };
  for (const auto& p : processes) {
    std::filesystem::create_directories(proc / p.pid + "/fd");
    std::ofstream(proc / p.pid + "/comm") << p.comm << "\n";
    std::filesystem::create_symlink(p.fdTarget, proc / p.pid + "/fd/3");
    std::filesystem::create_symlink(p.cwd, proc / p.pid + "/cwd");
    std::ofstream(proc / p.pid + "/maps") << p.maps;
  }
  std::filesystem::create_directories(proc / "self/fd");
  std::filesystem::create_symlink(card / "file.bin", proc / "self/fd/3");
  EXPECT_THAT(ProcessesUsingDevice(st.st_dev, proc.path()),
              ElementsAre("shell (7)", "writer (120)", "viewer (3000)"));
}

// What logind holds now, as "what who why mode", once it shows `expected` or after 10 s: the inhibitor asks
// on a thread of its own.
std::multiset<std::string> InhibitorsOnceThey(const std::multiset<std::string>& expected) {
  std::multiset<std::string> found;
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
    found.clear();
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    const char *what, *who, *why, *mode;
    unsigned uid, pid;
    if (sd_bus_open_system(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "ListInhibitors", nullptr, &reply, "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
      while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
        found.insert(std::string(what) + " " + who + " " + why + " " + mode);
    }
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    if (found == expected) break;
  }
  return found;
}

using LogindInhibit = UdisksEject;

TEST_F(LogindInhibit, HoldsSleepAndShutdownWhileACardIsWrittenAndLetsGoOfBoth) {
  mock_ = Spawn({kPython, "-m", "dbusmock", "--system", "--template", "logind", "-l", "/dev/null"});
  for (int i = 0; i < 200 && system("busctl --system status org.freedesktop.login1 >/dev/null 2>&1"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::multiset<std::string> none,
      held{"shutdown ScaleBoot a card delay", "sleep ScaleBoot a card block"};
  {
    LogindInhibitor inhibitor("ScaleBoot", "a card");
    inhibitor.Hold(true);
    EXPECT_EQ(InhibitorsOnceThey(held), held);
    inhibitor.Hold(true);  // the next card while the first is written: still one of each
    inhibitor.Hold(false);
    EXPECT_EQ(InhibitorsOnceThey(none), none) << "let go once no card is written";
    inhibitor.Hold(true);
    EXPECT_EQ(InhibitorsOnceThey(held), held) << "held again for the next card";
  }
  EXPECT_EQ(InhibitorsOnceThey(none), none) << "let go when the station ends mid-card";
}

}  // namespace
}  // namespace scaleboot::platform
