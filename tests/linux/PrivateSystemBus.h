// A private system bus for the tests that talk to system services through stand-ins (python3-dbusmock):
// DBUS_SYSTEM_BUS_ADDRESS names it while it runs, so no test reaches a real service.
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"

namespace scaleboot::testing {

inline constexpr const char* kPython = "/usr/bin/python3";

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline pid_t Spawn(std::vector<std::string> args) {
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

inline int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Started by a suite's SetUpTestSuite, stopped by its TearDownTestSuite; `Running()` is false where
// dbus-daemon or python3-dbusmock is missing, and the suite's cases skip.
class PrivateSystemBus {
 public:
  static void Start() {
    if (access(kPython, X_OK) != 0 || system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0 ||
        system("command -v dbus-daemon >/dev/null") != 0) {
      return;
    }
    dir_ = std::make_unique<TempDir>();
    std::ofstream(*dir_ / "bus.conf")
        << "<busconfig><type>system</type><listen>unix:path=" << (*dir_ / "bus")
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy></busconfig>\n";
    const std::string command =
        "dbus-daemon --config-file=" + (*dir_ / "bus.conf") + " --fork --print-pid > " + (*dir_ / "pid");
    if (system(command.c_str()) != 0) return;
    pid_ = std::stoi(ReadText(*dir_ / "pid"));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (*dir_ / "bus")).c_str(), 1);
  }
  static void Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    pid_ = -1;
    dir_.reset();
  }
  static bool Running() { return pid_ > 0; }

 private:
  static inline std::unique_ptr<TempDir> dir_;
  static inline pid_t pid_ = -1;
};

}  // namespace scaleboot::testing
