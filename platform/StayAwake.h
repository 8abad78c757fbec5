// Keeping the machine up while a card is written: a card cut off halfway by a sleep or a shutdown is worse
// than a late sleep. Held and let go from the station's owner thread; it never waits on the system there.
#pragma once

namespace scaleboot::platform {

class StayAwake {
 public:
  virtual ~StayAwake() = default;
  // `busy`: a card is being written now. Called as often as the owner likes; only a change does anything.
  virtual void Hold(bool busy) = 0;
};

}  // namespace scaleboot::platform
