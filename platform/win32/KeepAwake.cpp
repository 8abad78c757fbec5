#include "platform/win32/KeepAwake.h"

#include <windows.h>

namespace scaleboot::platform {

KeepAwake::~KeepAwake() {
  Hold(false);
}

void KeepAwake::Hold(bool busy) {
  if (busy == held_) return;
  SetThreadExecutionState(busy ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
  held_ = busy;
}

}  // namespace scaleboot::platform
