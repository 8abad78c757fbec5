#include "platform/linux/LogindInhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/linux/SdBus.h"

namespace scaleboot::platform {
namespace {

constexpr std::uint64_t kCallTimeoutUs = 3'000'000;

// One inhibitor of logind: its file descriptor, or -1 when logind refused it or is not there. The descriptor
// in the reply belongs to the reply, so a copy of it is kept.
int Inhibit(sd_bus* bus, const char* what, const std::string& who, const std::string& why, const char* mode) {
  BusError error;
  sd_bus_message* raw = nullptr;
  const int r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                   "org.freedesktop.login1.Manager", "Inhibit", &error.error, &raw, "ssss",
                                   what, who.c_str(), why.c_str(), mode);
  const BusMessage reply(raw);
  int held = -1;
  if (r < 0 || sd_bus_message_read(reply.get(), "h", &held) < 0 || held < 0) return -1;
  return fcntl(held, F_DUPFD_CLOEXEC, 3);
}

}  // namespace

LogindInhibitor::LogindInhibitor(std::string who, std::string why)
    : who_(std::move(who)), why_(std::move(why)), worker_([this] { Serve(); }) {}

LogindInhibitor::~LogindInhibitor() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_one();
  worker_.join();
}

void LogindInhibitor::Hold(bool busy) {
  {
    const std::lock_guard lock(mutex_);
    if (wanted_ == busy) return;
    wanted_ = busy;
  }
  changed_.notify_one();
}

void LogindInhibitor::Serve() {
  std::array<int, 2> held{-1, -1};
  bool holding = false;
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return ending_ || wanted_ != holding; });
    const bool want = wanted_ && !ending_;
    if (want == holding && ending_) break;
    lock.unlock();
    if (want) {
      if (const Bus bus = OpenSystemBus()) {
        // A logind that does not answer holds up only this thread, and the program's end by at most this.
        sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);
        held = {Inhibit(bus.get(), "sleep", who_, why_, "block"),
                Inhibit(bus.get(), "shutdown", who_, why_, "delay")};
      }
    } else {
      for (int& fd : held) {
        if (fd >= 0) close(std::exchange(fd, -1));
      }
    }
    holding = want;
    lock.lock();
  }
}

}  // namespace scaleboot::platform
