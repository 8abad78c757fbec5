// What a station shows besides its lines, for a board that has no screen: the service manager's status line
// (systemctl status) and the board's lights. Called from the station's owner thread; an implementation never
// waits on anything.
#pragma once
#include <string>

namespace scaleboot::platform {

// What the lights say: nothing in hand, a card being written, a card to take away, one for the technician.
enum class Lamp { Idle, Writing, TakeAway, NeedsTechnician };

class StationFeedback {
 public:
  virtual ~StationFeedback() = default;
  // The station watches its readers: it is ready, and `status` is its first status line.
  virtual void Ready(const std::string& status) = 0;
  // Its counts changed: the line to show now.
  virtual void Status(const std::string& status) = 0;
  // A stop was asked for and `status` says what is still finished first.
  virtual void Stopping(const std::string& status) = 0;
  // The station's state for its lights: shown until the next call.
  virtual void Light(Lamp lamp) = 0;
};

}  // namespace scaleboot::platform
