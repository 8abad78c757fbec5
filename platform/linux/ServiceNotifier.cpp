#include "platform/linux/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace scaleboot::platform {
namespace {

// STATUS= is one line: a line break in the text would start another assignment.
std::string OneLine(std::string text) {
  std::ranges::replace(text, '\n', ' ');
  return text;
}

}  // namespace

void ServiceNotifier::Ready(const std::string& status) {
  Send("READY=1\nSTATUS=" + OneLine(status));
}

void ServiceNotifier::Status(const std::string& status) {
  const std::string line = "STATUS=" + OneLine(status);
  if (line != last_) Send(line);
}

void ServiceNotifier::Stopping(const std::string& status) {
  Send("STOPPING=1\nSTATUS=" + OneLine(status));
}

void ServiceNotifier::Send(const std::string& assignments) {
  // A service manager that does not listen costs the station nothing: the datagram is simply lost.
  (void)sd_notify(0, assignments.c_str());
  last_ = assignments.substr(assignments.rfind("STATUS="));
}

}  // namespace scaleboot::platform
