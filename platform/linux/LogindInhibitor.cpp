#include "platform/linux/LogindInhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

namespace scaleboot::platform {
namespace {

constexpr std::uint64_t kCallTimeoutUs = 3'000'000;

struct BusDeleter {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};

// One inhibitor of logind: its file descriptor, or -1 when logind refused it or is not there. The descriptor
// in the reply belongs to the reply, so a copy of it is kept.
int Inhibit(sd_bus* bus, const char* what, const std::string& who, const std::string& why, const char* mode) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int fd = -1;
  if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss", what,
                         who.c_str(), why.c_str(), mode) >= 0) {
    int held = -1;
    if (sd_bus_message_read(reply, "h", &held) >= 0 && held >= 0) fd = fcntl(held, F_DUPFD_CLOEXEC, 3);
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return fd;
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
      sd_bus* raw = nullptr;
      if (sd_bus_open_system(&raw) >= 0) {
        const std::unique_ptr<sd_bus, BusDeleter> bus(raw);
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
