// Keeping the machine up on Windows: while held, the thread that holds it tells the system it is needed, so
// that the idle timer does not put the machine to sleep in the middle of a card.
#pragma once
#include "platform/StayAwake.h"

namespace scaleboot::platform {

class KeepAwake : public StayAwake {
 public:
  KeepAwake() = default;
  ~KeepAwake() override;  // lets go, on the thread that held it
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

  // The state belongs to the calling thread: hold and let go from the same one.
  void Hold(bool busy) override;

 private:
  bool held_ = false;
};

}  // namespace scaleboot::platform
