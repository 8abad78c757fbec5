#include "platform/linux/LedLights.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/SysfsFiles.h"

namespace scaleboot::platform {
namespace {

// One write of `value`, as sysfs takes it; a write that fails (an LED gone with its USB device) changes
// nothing else.
void Put(const std::string& path, const std::string& value) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;
  (void)!::write(fd, value.data(), value.size());
  ::close(fd);
}

// The trigger in use, from "none rfkill0 [mmc0] timer": the bracketed one.
std::string ActiveTrigger(const std::string& line) {
  const auto open = line.find('[');
  const auto close = line.find(']', open);
  return open == std::string::npos || close == std::string::npos ? ""
                                                                 : line.substr(open + 1, close - open - 1);
}

}  // namespace

LedLights::LedLights(const std::string& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (name.empty() || name.front() == '.' || name.find('/') != std::string::npos) continue;
    Led led{folder + "/" + name, "", ""};
    led.trigger = ActiveTrigger(FirstLine(led.path + "/trigger"));
    if (led.trigger.empty()) continue;  // no such LED here
    led.brightness = FirstLine(led.path + "/brightness");
    leds_.push_back(std::move(led));
  }
}

LedLights::~LedLights() {
  for (const Led& led : leds_) {
    Put(led.path + "/trigger", led.trigger);
    if (led.trigger == "none" && !led.brightness.empty()) Put(led.path + "/brightness", led.brightness);
  }
}

void LedLights::Show(Lamp lamp) {
  for (const Led& led : leds_) {
    if (lamp == Lamp::Writing || lamp == Lamp::NeedsTechnician) {
      // The timer trigger makes its delay files; a slow blink while writing, a fast one for the technician.
      const std::string delay = lamp == Lamp::Writing ? "500" : "100";
      Put(led.path + "/trigger", "timer");
      Put(led.path + "/delay_on", delay);
      Put(led.path + "/delay_off", delay);
    } else {
      Put(led.path + "/trigger", "none");
      const std::string full = FirstLine(led.path + "/max_brightness");
      Put(led.path + "/brightness", lamp == Lamp::TakeAway ? (full.empty() ? "1" : full) : "0");
    }
  }
}

}  // namespace scaleboot::platform
