// The board's LEDs through the kernel's LED class (/sys/class/leds/NAME), blinked by the kernel itself: its
// `timer` trigger while a card is written, fast for a card that needs the technician, steady (no trigger,
// full brightness) for a card to take away, off while nothing is in hand. Each LED's own trigger (a board's
// activity light, say) is read at the start and put back at the end, also when SIGTERM ends the station. An
// LED named that the board does not have is left out: a board without that light is a normal case.
#pragma once
#include <string>
#include <vector>

#include "platform/StationFeedback.h"

namespace scaleboot::platform {

class LedLights {
 public:
  // `folder` is normally /sys/class/leds; `names` the LEDs to use (a name holding '/' or starting with '.'
  // names no LED of that folder and is left out).
  LedLights(const std::string& folder, const std::vector<std::string>& names);
  ~LedLights();  // puts back each LED's own trigger
  LedLights(const LedLights&) = delete;
  LedLights& operator=(const LedLights&) = delete;

  void Show(Lamp lamp);
  // The LEDs found, in the order named.
  std::size_t Count() const { return leds_.size(); }

 private:
  struct Led {
    std::string path, trigger, brightness;  // its folder; its own trigger and brightness at the start
  };
  std::vector<Led> leds_;
};

// A station's feedback on Linux: systemd's status (sd_notify) and the lights.
class BoardFeedback : public StationFeedback {
 public:
  BoardFeedback(StationFeedback& service, LedLights& lights) : service_(service), lights_(lights) {}
  void Ready(const std::string& status) override { service_.Ready(status); }
  void Status(const std::string& status) override { service_.Status(status); }
  void Stopping(const std::string& status) override { service_.Stopping(status); }
  void Light(Lamp lamp) override { lights_.Show(lamp); }

 private:
  StationFeedback& service_;
  LedLights& lights_;
};

}  // namespace scaleboot::platform
